#include "LineBlocks.h"

#include <cstring>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

LineBlocks::LineBlocks(QIODevice &target, int startWritingFd)
    : fTarget(target), fFd(startWritingFd), fBlock(new char[kBlockSize])
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void LineBlocks::startWriting()
{
#ifdef Q_OS_LINUX
    if (fFd < 0 || fHandedOver - fStarted < kStartWritingEvery)
        return;
    // Only a hint: should it fail, the final sync writes these bytes anyway.
    (void)::sync_file_range(fFd, fStarted, fHandedOver - fStarted, SYNC_FILE_RANGE_WRITE);
    fStarted = fHandedOver;
#endif
}

bool LineBlocks::writeThrough(const char *data, qsizetype size)
{
    if (size == 0)
        return true;
    if (fTarget.write(data, size) == size) {
        fHandedOver += size;
        startWriting();
        return true;
    }
    setErrorString(fTarget.errorString());
    return false;
}

bool LineBlocks::writeBlock()
{
    const qsizetype used = fUsed;
    fUsed = 0;
    return writeThrough(fBlock.get(), used);
}

qint64 LineBlocks::writeData(const char *data, qint64 size)
{
    if (fUsed + size > kBlockSize && !writeBlock())
        return -1;
    if (size > kBlockSize) // one line longer than a block goes as it is
        return writeThrough(data, size) ? size : -1;
    std::memcpy(fBlock.get() + fUsed, data, size_t(size));
    fUsed += size;
    return size;
}

bool LineBlocks::appendLine(QLatin1String key, QLatin1String value)
{
    const qsizetype size = key.size() + value.size() + 2;
    if (fUsed + size > kBlockSize) {
        if (!writeBlock())
            return false;
        if (size > kBlockSize) {
            const QByteArray line = QByteArray(key.data(), key.size()) +
                                    QByteArray(value.data(), value.size()) + "\r\n";
            return writeThrough(line.constData(), line.size());
        }
    }
    char *out = fBlock.get() + fUsed;
    // A default QLatin1String has no data at all, and memcpy from a null
    // pointer is undefined even for no bytes.
    if (!key.isEmpty())
        std::memcpy(out, key.data(), size_t(key.size()));
    if (!value.isEmpty())
        std::memcpy(out + key.size(), value.data(), size_t(value.size()));
    out[size - 2] = '\r';
    out[size - 1] = '\n';
    fUsed += size;
    return true;
}
