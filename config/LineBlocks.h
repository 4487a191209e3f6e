#pragma once

#include <QIODevice>
#include <QString>
#include <memory>

// What a save serializes into: lines gathered into blocks of 64 KiB, each
// handed to the file in one write. A large file has hundreds of thousands of
// lines, and a write per line went through the file's own buffering for
// every one of them. VantrelText::WriteLine puts a line that needs no
// conversion straight into the block.
//
// A failed write of a block sets errorString() to the file's reason (and
// leaves errno as the write left it), so a failure gives the same message it
// gave when the line itself was written.
//
// Given the file's descriptor, it has the system start writing each MiB
// to the disk as soon as they are handed over, while the rest is still being
// formatted; the final sync then waits only for the tail. That changes when
// the disk writes, not what is synced: the sync at the end stays as it was.
class LineBlocks : public QIODevice
{
    Q_OBJECT

public:
    explicit LineBlocks(QIODevice &target, int startWritingFd = -1);
    bool isSequential() const override { return true; }

    // "<key><value>" and CR LF; false when writing a full block failed.
    bool appendLine(QLatin1String key, QLatin1String value);
    // Writes what is gathered; false when that fails.
    bool writeBlock();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    static constexpr qsizetype kBlockSize = 64 * 1024;
    static constexpr qint64 kStartWritingEvery = 1024 * 1024;
    bool writeThrough(const char *data, qsizetype size);
    void startWriting();

    QIODevice &fTarget;
    int fFd;
    qint64 fHandedOver = 0; // bytes given to the target, from its start
    qint64 fStarted = 0;    // of which the disk was asked to start writing
    std::unique_ptr<char[]> fBlock;
    qsizetype fUsed = 0;
};
