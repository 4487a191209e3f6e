#include "clsVantrelParser.h"

#include "VantrelError.h"
#include "VantrelText.h"

#include <QIODevice>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// The first CR or LF in [from, end), or end. One pass for both bytes, in
// line: most lines are short, and a library call per byte sought costs
// more than the search. A NUL inside a line is just a byte.
const char *lineEnd(const char *from, const char *end)
{
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - from >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        const int found =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
        if (found)
            return from + qCountTrailingZeroBits(quint32(found));
        from += 16;
    }
#endif
    while (from < end && *from != '\r' && *from != '\n')
        ++from;
    return from;
}

} // namespace

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
// not copied: a large file has hundreds of thousands of them. Inline, with
// the common case first: a line whose terminator, and the byte after it,
// are in the buffer already.
inline bool clsVantrelParser::readLine(LineView &line)
{
    const char *data = fBuffer.constData();
    const char *end = data + fBuffer.size();
    const char *from = data + fPos;
    const char *stop = lineEnd(from, end);
    if (end - stop < 2)
        return readLineAcrossChunks(line);
    line = {from, stop - from};
    fPos = stop - data + (stop[0] == '\r' && stop[1] == '\n' ? 2 : 1);
    ++fLinesRead;
    return true;
}

// The rest of readLine: a line that reaches the end of the buffer, or whose
// terminator may be the CR of a CR LF pair cut by the chunk's end.
bool clsVantrelParser::readLineAcrossChunks(LineView &line)
{
    qsizetype scan = fPos;
    for (;;) {
        const char *data = fBuffer.constData();
        const qsizetype size = fBuffer.size();
        scan = lineEnd(data + scan, data + size) - data;
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
        fRawItem = trimmed(begin + 1, end - 1);
        fRawValue = QLatin1String();
        // A header leaves fValue as the entry before it left it.
        if (fTextItems)
            fItem = fRawItem;
        return;
    }
    fItemType = Entry;
    // Keys are short: a loop finds the "=" sooner than a library call.
    const char *eq = begin;
    while (eq < end && *eq != '=')
        ++eq;
    if (eq == end)
        eq = nullptr;
    fHasEquals = eq != nullptr;
    if (!eq) {
        fRawItem = line; // already trimmed
        fRawValue = QLatin1String();
    } else {
        fRawItem = trimmed(begin, eq);
        fRawValue = trimmed(eq + 1, end);
    }
    // Assigned from the raw bytes, so the strings keep their storage from
    // line to line.
    if (fTextItems) {
        fItem = fRawItem;
        fValue = fRawValue;
    }
}
