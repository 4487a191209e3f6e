#include "clsVantrelParser.h"

#include "VantrelError.h"
#include "VantrelText.h"

#include <QIODevice>

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
    if (fPos > 0) {
        fBuffer.remove(0, fPos);
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
// end a line, so files saved by any text editor read the same.
bool clsVantrelParser::readLine(QByteArray &line)
{
    line.clear();
    qsizetype scan = fPos;
    for (;;) {
        const char *data = fBuffer.constData();
        const qsizetype size = fBuffer.size();
        while (scan < size && data[scan] != '\r' && data[scan] != '\n')
            ++scan;
        if (scan < size) {
            line = fBuffer.mid(fPos, scan - fPos);
            const bool cr = data[scan] == '\r';
            fPos = scan + 1;
            if (cr) {
                // The LF of a CR LF pair may sit in the next chunk.
                if (fPos == fBuffer.size())
                    fill();
                if (fPos < fBuffer.size() && fBuffer.at(fPos) == '\n')
                    ++fPos;
            }
            ++fLinesRead;
            return true;
        }
        const qsizetype consumed = scan - fPos;
        if (!fill()) {
            if (fPos < fBuffer.size()) {
                line = fBuffer.mid(fPos);
                fPos = fBuffer.size();
                ++fLinesRead;
                return true;
            }
            return false;
        }
        scan = fPos + consumed;
    }
}

void clsVantrelParser::GetNextItem()
{
    QString line;
    QByteArray raw;
    while (line.isEmpty()) {
        if (!readLine(raw))
            break;
        line = VantrelText::TrimSpaces(QString::fromLatin1(raw));
    }
    if (line.isEmpty()) {
        fItemType = EndOfInput;
        fLine = fLinesRead;
        return;
    }
    fLine = fLinesRead;
    if (line.size() >= 2 && line.front() == QLatin1Char('[') && line.back() == QLatin1Char(']')) {
        fItemType = SectionHeader;
        fItem = VantrelText::TrimSpaces(line.mid(1, line.size() - 2));
        return;
    }
    fItemType = Entry;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) {
        fItem = line; // already trimmed
        fValue.clear();
    } else {
        fItem = VantrelText::TrimSpaces(line.left(eq));
        fValue = VantrelText::TrimSpaces(line.mid(eq + 1));
    }
}
