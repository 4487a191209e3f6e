#include "clsVantrelParser.h"

#include "VantrelError.h"
#include "VantrelText.h"

#include <QIODevice>
#include <cstring>

namespace {
constexpr qint64 kChunkSize = 64 * 1024;
}

void clsVantrelParser::Initialize(QIODevice *aChannel)
{
    fChannel = aChannel;
    fBuffer.clear();
    fPos = 0;
    fEof = false;
    fLinesRead = 0;
    if (!fChannel || !fChannel->isReadable())
        throw VantrelError(QStringLiteral("the file is not open for reading"));
    GetNextItem();
}

// Appends the next chunk of the channel to the buffer; false at its end.
bool clsVantrelParser::fill()
{
    if (fEof)
        return false;
    // The unread rest moves to the front by hand: QByteArray::remove() would
    // leave the room at the front unused, and every refill would allocate.
    if (fPos > 0) {
        const qsizetype rest = fBuffer.size() - fPos;
        std::memmove(fBuffer.data(), fBuffer.constData() + fPos, size_t(rest));
        fBuffer.resize(rest);
        fPos = 0;
    }
    const qsizetype old = fBuffer.size();
    fBuffer.resize(old + kChunkSize);
    const qint64 got = fChannel->read(fBuffer.data() + old, kChunkSize);
    if (got < 0) {
        fBuffer.resize(old);
        throw VantrelError(QStringLiteral("line %1: reading failed: %2")
                               .arg(fLinesRead + 1)
                               .arg(fChannel->errorString()));
    }
    fBuffer.resize(old + got);
    if (got == 0)
        fEof = true;
    return got > 0;
}

// Reads one line without its terminator. CR LF, a lone LF and a lone CR each
// end a line, so files saved by any text editor read the same. The line is
// not copied: a large file has hundreds of thousands of them.
bool clsVantrelParser::readLine(LineView &line)
{
    qsizetype scan = fPos;
    for (;;) {
        const char *data = fBuffer.constData();
        const qsizetype size = fBuffer.size();
        // The buffer ends in a NUL (QByteArray keeps one after the data), so
        // the library's vectorised scan can find the line end; a NUL inside
        // the line is passed over.
        while (scan < size) {
            scan += qsizetype(std::strcspn(data + scan, "\r\n"));
            if (scan >= size || data[scan] != '\0')
                break;
            ++scan;
        }
        if (scan < size) {
            line = {data + fPos, scan - fPos};
            const bool cr = data[scan] == '\r';
            fPos = scan + 1;
            // The LF of a CR LF pair may sit in the next chunk; reading it
            // drops the consumed bytes, this line among them, so it moves
            // aside first.
            if (cr && fPos == size && !fEof) {
                fSpill = QByteArray(line.data, line.size);
                line = {fSpill.constData(), fSpill.size()};
                fill();
            }
            if (cr && fPos < fBuffer.size() && fBuffer.at(fPos) == '\n')
                ++fPos;
            ++fLinesRead;
            return true;
        }
        const qsizetype consumed = scan - fPos;
        if (!fill()) {
            if (fPos < fBuffer.size()) {
                line = {fBuffer.constData() + fPos, fBuffer.size() - fPos};
                fPos = fBuffer.size();
                ++fLinesRead;
                return true;
            }
            return false;
        }
        scan = fPos + consumed;
    }
}

namespace {

// Spaces only, as VantrelText::TrimSpaces, on the raw bytes.
QLatin1String trimmed(const char *begin, const char *end)
{
    while (begin < end && *begin == ' ')
        ++begin;
    while (end > begin && end[-1] == ' ')
        --end;
    return QLatin1String(begin, end);
}

} // namespace

void clsVantrelParser::GetNextItem()
{
    // Items are assigned from the raw bytes: fItem keeps its storage from line
    // to line, and fValue allocates only when the model kept the last one.
    QLatin1String line;
    LineView raw;
    while (line.isEmpty()) {
        if (!readLine(raw))
            break;
        line = trimmed(raw.data, raw.data + raw.size);
    }
    fLine = fLinesRead;
    if (line.isEmpty()) {
        fItemType = EndOfInput;
        return;
    }
    const char *begin = line.data();
    const char *end = begin + line.size();
    if (line.size() >= 2 && line.front() == QLatin1Char('[') && line.back() == QLatin1Char(']')) {
        fItemType = SectionHeader;
        fItem = trimmed(begin + 1, end - 1);
        return;
    }
    fItemType = Entry;
    const char *eq = static_cast<const char *>(std::memchr(begin, '=', size_t(line.size())));
    fHasEquals = eq != nullptr;
    if (!eq) {
        fItem = line; // already trimmed
        fRawValue = QLatin1String();
        fValue.clear();
    } else {
        fItem = trimmed(begin, eq);
        fRawValue = trimmed(eq + 1, end);
        fValue = fRawValue;
    }
}
