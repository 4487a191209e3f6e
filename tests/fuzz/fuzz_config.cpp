#include "VantrelFile.h"
#include "clsVantrelConfig.h"
#include "clsVantrelParser.h"

#include <QBuffer>
#include <QIODevice>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// libFuzzer entry point for the configuration file. For every input:
//  - the tokenizer sees the same items whether the bytes arrive at once or in
//    pieces, and it always comes to an end;
//  - loading either refuses the input with VantrelError or gives a model
//    whose written bytes A load completely, as the same model field by
//    field, and write A again, so saving what was loaded never changes it a
//    second time.
// A broken rule aborts, which libFuzzer reports with the input that did it.

namespace {

[[noreturn]] void finding(const char *rule, const QString &detail = QString())
{
    std::fprintf(stderr, "fuzz_config: broken rule: %s\n", rule);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toLocal8Bit().constData());
    std::abort();
}

void check(bool holds, const char *rule)
{
    if (!holds)
        finding(rule);
}

// Hands its bytes out in pieces, the way a pipe or a slow disk may: a read
// ends just after each of the first CRs and NULs (a CR LF pair or a NUL split
// across two reads) and, so that lines straddle reads too, at a few points
// spread by a step that varies with the input. Each piece costs the tokenizer
// a refill, so the pieces are capped to keep the run fast.
class PieceDevice : public QIODevice
{
public:
    explicit PieceDevice(const QByteArray &data) : fData(data)
    {
        constexpr int kMaxMarks = 8;
        int marks = 0;
        for (qsizetype i = 0; i < data.size() && marks < kMaxMarks; ++i) {
            if (data.at(i) == '\r' || data.at(i) == '\0') {
                fEnds.push_back(i + 1);
                ++marks;
            }
        }
        const qint64 step = 1 + data.size() % 61;
        for (int k = 1; k <= kMaxMarks && k * step < data.size(); ++k)
            fEnds.push_back(k * step);
        std::sort(fEnds.begin(), fEnds.end());
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return fData.size() - fPos + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        qint64 end = fData.size();
        const auto next = std::upper_bound(fEnds.begin(), fEnds.end(), fPos);
        if (next != fEnds.end())
            end = *next;
        const qint64 n = qMin(maxSize, end - fPos);
        if (n > 0)
            std::memcpy(data, fData.constData() + fPos, size_t(n));
        fPos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray fData;
    std::vector<qint64> fEnds;
    qint64 fPos = 0;
};

struct Item
{
    qint16 type;
    QString item;
    QString value;
    qint64 line;

    bool operator==(const Item &other) const
    {
        return type == other.type && item == other.item && value == other.value &&
               line == other.line;
    }
};

bool isTrimmedLine(const QString &text)
{
    if (text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' ')))
        return false;
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'));
}

// An upper bound on the lines: every line but the last ends in CR or LF.
qint64 lineCount(const QByteArray &bytes)
{
    return bytes.count('\r') + bytes.count('\n') + 1;
}

// Every item up to the end of input. Each item takes at least one line, so
// more items than lines means the tokenizer no longer advances.
std::vector<Item> tokenize(QIODevice &channel, qint64 lineLimit)
{
    std::vector<Item> items;
    items.reserve(size_t(qMin(lineLimit, qint64(256))));
    clsVantrelParser parser;
    parser.Initialize(&channel);
    while (parser.fItemType != clsVantrelParser::EndOfInput) {
        check(parser.fItemType == clsVantrelParser::SectionHeader ||
                  parser.fItemType == clsVantrelParser::Entry,
              "an item is a header, an entry or the end of input");
        check(isTrimmedLine(parser.fItem), "an item's name is trimmed and holds no line end");
        if (parser.fItemType == clsVantrelParser::Entry)
            check(isTrimmedLine(parser.fValue), "a value is trimmed and holds no line end");
        check(items.empty() || parser.fLine > items.back().line, "items move forward line by line");
        check(parser.fLine >= 1 && parser.fLine <= lineLimit, "an item's line is in the file");
        items.push_back({parser.fItemType, parser.fItem,
                         parser.fItemType == clsVantrelParser::Entry ? parser.fValue : QString(),
                         parser.fLine});
        parser.GetNextItem();
    }
    const qint64 lastLine = parser.fLine;
    parser.GetNextItem();
    check(parser.fItemType == clsVantrelParser::EndOfInput && parser.fLine == lastLine,
          "the end of input stays the end");
    return items;
}

QByteArray written(const clsVantrelConfig &config)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    try {
        config.Serialize(&buffer);
    } catch (const VantrelError &error) {
        // Whatever was read came from single lines of bytes, so the writer
        // can always store it; a refusal here would make a loaded file
        // impossible to save.
        finding("a loaded configuration can be written", error.description());
    }
    return buffer.data();
}

// Field by field, so a writer and a reader that lose the same detail (and
// would still agree on the bytes) are caught.
bool sameModel(const clsVantrelConfig &a, const clsVantrelConfig &b)
{
    if (a.fType != b.fType || a.fCommPort != b.fCommPort || a.fBaudRate != b.fBaudRate ||
        a.fDataBits != b.fDataBits || a.fParity != b.fParity || a.fStopBits != b.fStopBits ||
        a.fProtocol != b.fProtocol || a.fIPAddress != b.fIPAddress || a.fPort != b.fPort ||
        a.fOutputs.size() != b.fOutputs.size())
        return false;
    for (qsizetype i = 0; i < a.fOutputs.size(); ++i) {
        const clsVantrelOutput &x = *a.fOutputs.at(i);
        const clsVantrelOutput &y = *b.fOutputs.at(i);
        if (x.fOutputName != y.fOutputName || x.fSelected != y.fSelected ||
            x.fInputs.size() != y.fInputs.size())
            return false;
        for (qsizetype j = 0; j < x.fInputs.size(); ++j) {
            if (x.fInputs.at(j).fInputName != y.fInputs.at(j).fInputName ||
                x.fInputs.at(j).fCommand != y.fInputs.at(j).fCommand)
                return false;
        }
    }
    return true;
}

void checkLookups(const clsVantrelConfig &config)
{
    const auto inRange = [](int index, const QStringList &list) {
        return index >= -1 && index < list.size();
    };
    check(inRange(config.TypeIndex(config.fType), config.TypeCollection()) &&
              inRange(config.CommPortIndex(config.fCommPort), config.CommPortCollection()) &&
              inRange(config.BaudRateIndex(config.fBaudRate), config.BaudRateCollection()) &&
              inRange(config.DataBitsIndex(config.fDataBits), config.DataBitsCollection()) &&
              inRange(config.ParityIndex(config.fParity), config.ParityCollection()) &&
              inRange(config.StopBitsIndex(config.fStopBits), config.StopBitsCollection()) &&
              inRange(config.ProtocolIndex(config.fProtocol), config.ProtocolCollection()),
          "a lookup gives a position in its list or -1");
}

void tokenizeBothWays(const QByteArray &bytes)
{
    const qint64 lineLimit = lineCount(bytes);
    QBuffer whole;
    whole.setData(bytes);
    whole.open(QIODevice::ReadOnly);
    const std::vector<Item> items = tokenize(whole, lineLimit);

    PieceDevice pieces(bytes);
    pieces.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    check(tokenize(pieces, lineLimit) == items, "reading in pieces gives the same items");
}

void loadAndWriteTwice(const QByteArray &bytes)
{
    QBuffer input;
    input.setData(bytes);
    input.open(QIODevice::ReadOnly);
    VantrelFile::LoadResult first;
    try {
        first = VantrelFile::Load(input);
    } catch (const VantrelError &) {
        return; // refused with a reason: allowed
    }
    check(first.config != nullptr, "a load gives a configuration");
    if (!first.complete)
        check(first.stopLine >= 1 && first.stopLine <= lineCount(bytes),
              "a partial load names a line of the file");
    checkLookups(*first.config);
    const QByteArray a = written(*first.config);

    QBuffer rewritten;
    rewritten.setData(a);
    rewritten.open(QIODevice::ReadOnly);
    VantrelFile::LoadResult second;
    try {
        second = VantrelFile::Load(rewritten);
    } catch (const VantrelError &error) {
        finding("a written file loads again", error.description());
    }
    check(second.complete, "a written file is read to its end");
    check(sameModel(*first.config, *second.config),
          "a written file loads as the configuration that was written");
    const QByteArray b = written(*second.config);
    if (a != b)
        finding("write, read, write gives the same bytes",
                QStringLiteral("first %1 bytes, then %2 bytes").arg(a.size()).arg(b.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        tokenizeBothWays(bytes);
    } catch (const VantrelError &error) {
        // Memory never fails to read, so neither may the tokenizer.
        finding("reading from memory raises no error", error.description());
    }
    loadAndWriteTwice(bytes);
    return 0;
}
