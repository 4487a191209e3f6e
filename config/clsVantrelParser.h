#pragma once

#include "CompactString.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// Tokenizer of the configuration file: one current item, advanced on demand.
// Consumers look at the current item and call GetNextItem() only for an item
// they take (one item of look-ahead).
class clsVantrelParser
{
public:
    enum ItemType : qint16
    {
        None = 0,
        SectionHeader = 1,
        Entry = 2,
        EndOfInput = 3
    };

    // The most the parser reads ahead of the item it gives.
    static constexpr qint64 kChunkSize = 64 * 1024;

    // The device stands in for the numbered text-file channel; it must be
    // open for reading and outlive the parser.
    void Initialize(QIODevice *aChannel);
    void GetNextItem();

    QIODevice *fChannel = nullptr;
    qint16 fItemType = None;
    // The item and value as text, filled only while fTextItems is set.
    QString fItem;
    QString fValue;
    // The same item and value as the file's bytes, valid until the next
    // item: the model reads these, so a load turns each name and command
    // into its one stored copy without a detour through UTF-16. The value
    // is empty after a header.
    QLatin1String fRawItem;
    QLatin1String fRawValue;
    // The current value as the model keeps it, placed in fPool when set.
    CompactString ValueText(CompactString::Sharing sharing = CompactString::Sharing::None) const
    {
        return fPool ? CompactString(fRawValue, *fPool, sharing) : CompactString(fRawValue);
    }
    CompactString::Pool *fPool = nullptr;
    // Whether fItem and fValue are filled. A load of the model reads only
    // the raw forms and clears it: a large file has millions of lines.
    bool fTextItems = true;
    // Whether the inputs read keep their commands (see VantrelFile::Load).
    bool fKeepCommands = true;
    // Whether the current entry's line held "=", so a message can show the
    // line as it was ("port=" rather than "port").
    bool fHasEquals = false;
    // 1-based line number of the current item, for messages. After the end
    // of input it is the number of lines read.
    qint64 fLine = 0;

private:
    // A line as a view of the buffer (or of fSpill), valid until the next read.
    struct LineView
    {
        const char *data = nullptr;
        qsizetype size = 0;
    };
    bool readLine(LineView &line);
    bool readLineAcrossChunks(LineView &line);
    bool fill();

    QByteArray fBuffer;
    QByteArray fSpill;
    qsizetype fPos = 0;
    bool fEof = false;
    qint64 fLinesRead = 0;
};
