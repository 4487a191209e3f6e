#include "CtlCsv.h"

#include "VantrelError.h"
#include "VantrelText.h"
#include "clsVantrelConfig.h"

#include <algorithm>

namespace CtlCsv {

namespace {

const QStringList kHeader = {QStringLiteral("output"), QStringLiteral("input"),
                             QStringLiteral("command")};

[[noreturn]] void refuse(qint64 line, const QString &reason)
{
    throw VantrelError(QStringLiteral("line %1: %2").arg(line).arg(reason));
}

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// A name holds one line: each line break becomes one space.
QString nameFromCell(const QString &cell)
{
    QString name = cell;
    name.replace(QLatin1String("\r\n"), QLatin1String(" "));
    name.replace(QLatin1Char('\r'), QLatin1Char(' '));
    name.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return VantrelText::TrimSpaces(name);
}

// A command keeps its line breaks as the escapes the panel decodes; tabs
// stay as they are, since the file holds them and export wrote them so.
QString commandFromCell(const QString &cell)
{
    QString command;
    command.reserve(cell.size());
    for (const QChar c : cell) {
        if (isLineEnd(c))
            command += VantrelText::CommandEscape(c);
        else
            command += c;
    }
    return VantrelText::TrimSpaces(command);
}

const QByteArray kByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

// Line breaks before a position: CR LF, LF and a lone CR each end a line.
template <typename Text> qint64 lineAt(const Text &text, qsizetype position)
{
    qint64 line = 1;
    for (qsizetype i = 0; i < position; ++i) {
        if (text[i] == u'\n' ||
            (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n')))
            ++line;
    }
    return line;
}

// The first position where the bytes stop being UTF-8, or -1.
qsizetype invalidUtf8At(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = uchar(bytes[i]);
        const int length = lead < 0x80                    ? 1
                           : lead >= 0xC2 && lead <= 0xDF ? 2
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                          : 0;
        if (length == 0 || i + length > bytes.size())
            return i;
        for (int k = 1; k < length; ++k) {
            if ((uchar(bytes[i + k]) & 0xC0) != 0x80)
                return i;
        }
        // Overlong forms, surrogates and values above U+10FFFF.
        const auto second = uchar(bytes[i + (length > 1 ? 1 : 0)]);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return i;
        i += length;
    }
    return -1;
}

} // namespace

QString Decode(const QByteArray &bytes, Encoding encoding)
{
    const bool hasMark = bytes.startsWith(kByteOrderMark);
    const qsizetype invalid = invalidUtf8At(bytes);
    if (encoding == Encoding::Auto) {
        const bool multiByte =
            std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) >= 0x80; });
        encoding = hasMark || (multiByte && invalid < 0) ? Encoding::Utf8 : Encoding::Latin1;
    }
    if (encoding == Encoding::Latin1)
        return QString::fromLatin1(bytes);
    if (invalid >= 0)
        refuse(lineAt(bytes, invalid), QStringLiteral("the bytes are not valid UTF-8"));
    const QString text = QString::fromUtf8(hasMark ? bytes.mid(kByteOrderMark.size()) : bytes);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!VantrelText::FitsByte(text.at(i)))
            refuse(lineAt(text, i),
                   QStringLiteral("the character %1 cannot be stored in vantrel.ini, which "
                                  "holds ISO-8859-1 characters only")
                       .arg(VantrelText::CodePoint(text.at(i))));
    }
    return text;
}

QByteArray Encode(const QString &text, Encoding encoding)
{
    return encoding == Encoding::Utf8 ? kByteOrderMark + text.toUtf8() : text.toLatin1();
}

QList<Record> Parse(const QString &text)
{
    enum class State
    {
        FieldStart,
        Unquoted,
        Quoted,
        QuoteInQuoted
    };
    QList<Record> records;
    Record record;
    QString field;
    State state = State::FieldStart;
    qint64 line = 1;
    qint64 quoteLine = 0;
    bool inRecord = false;
    record.line = 1;

    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        const bool crlf = c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == u'\n';
        if (state == State::Quoted) {
            if (c == QLatin1Char('"')) {
                state = State::QuoteInQuoted;
            } else {
                field += c;
                if (isLineEnd(c) && !crlf)
                    ++line;
            }
            continue;
        }
        if (state == State::QuoteInQuoted && c == QLatin1Char('"')) {
            field += c;
            state = State::Quoted;
            continue;
        }
        if (c == QLatin1Char(',')) {
            record.fields << field;
            field.clear();
            state = State::FieldStart;
            inRecord = true;
        } else if (isLineEnd(c)) {
            if (crlf)
                ++i;
            if (inRecord || state != State::FieldStart) {
                record.fields << field;
                records << record;
            }
            record = Record{};
            record.line = ++line;
            field.clear();
            state = State::FieldStart;
            inRecord = false;
        } else if (state == State::QuoteInQuoted) {
            refuse(line, QStringLiteral("text after the closing quote of a field; a quote inside "
                                        "a quoted field is written twice (\"\")"));
        } else if (c == QLatin1Char('"')) {
            if (state == State::Unquoted)
                refuse(line, QStringLiteral("a quote inside a field that does not start with one; "
                                            "quote the whole field and write the quote twice"));
            state = State::Quoted;
            quoteLine = line;
            inRecord = true;
        } else {
            field += c;
            state = State::Unquoted;
            inRecord = true;
        }
    }
    if (state == State::Quoted)
        refuse(quoteLine, QStringLiteral("a quoted field is not closed before the end"));
    if (inRecord) {
        record.fields << field;
        records << record;
    }
    return records;
}

QString FormatRecord(const QStringList &fields)
{
    QString out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString &field = fields.at(i);
        if (i > 0)
            out += QLatin1Char(',');
        const bool quote = field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
                           field.contains(QLatin1Char('\r')) || field.contains(QLatin1Char('\n'));
        if (quote) {
            QString doubled = field;
            doubled.replace(QLatin1String("\""), QLatin1String("\"\""));
            out += QLatin1Char('"') + doubled + QLatin1Char('"');
        } else {
            out += field;
        }
    }
    out += QLatin1String("\r\n");
    return out;
}

QString ExportRouting(const clsVantrelConfig &config)
{
    QString text = FormatRecord(kHeader);
    const auto &outputs = config.fOutputs;
    for (qsizetype o = 0; o < outputs.size(); ++o) {
        const clsVantrelOutput &output = *outputs.at(o);
        const QString number = QString::number(o + 1);
        if (o > 0 && outputs.at(o - 1)->fOutputName == output.fOutputName)
            throw VantrelError(
                QStringLiteral("outputs %1 and %2 are both named \"%3\" and follow each other, so "
                               "their rows would join into one output; rename one first")
                    .arg(o)
                    .arg(number, output.fOutputName));
        if (output.fInputs.isEmpty()) {
            if (output.fOutputName.isEmpty())
                throw VantrelError(QStringLiteral("output %1 has no name and no inputs, which "
                                                  "would be a blank row; name it first")
                                       .arg(number));
            text += FormatRecord({output.fOutputName, QString(), QString()});
            continue;
        }
        const clsVantrelInput &first = output.fInputs.first();
        if (output.fInputs.size() == 1 && first.fInputName.isEmpty() && first.fCommand.isEmpty())
            throw VantrelError(QStringLiteral("output %1 has one input with neither name nor "
                                              "command, which reads back as no input; name it "
                                              "first")
                                   .arg(number));
        for (const auto &input : output.fInputs)
            text += FormatRecord({output.fOutputName, input.fInputName, input.fCommand});
    }
    return text;
}

QList<std::shared_ptr<clsVantrelOutput>> ImportRouting(const QString &csv)
{
    const QList<Record> records = Parse(csv);
    if (records.isEmpty())
        refuse(1, QStringLiteral("the file is empty; its first row must be output,input,command"));
    const Record &header = records.first();
    QStringList names;
    for (const QString &field : header.fields)
        names << field.trimmed().toLower();
    if (names != kHeader)
        refuse(header.line,
               QStringLiteral("the first row must be the header output,input,command"));

    // Rows of one output in a run: a lone row without input and command
    // is an output without inputs, otherwise every row is an input.
    struct Group
    {
        QString name;
        QList<QStringList> rows;
    };
    QList<Group> groups;
    for (qsizetype r = 1; r < records.size(); ++r) {
        const Record &record = records.at(r);
        if (record.fields.size() != 3)
            refuse(record.line,
                   QStringLiteral("%1 field%2 where a row has three: output,input,command")
                       .arg(record.fields.size())
                       .arg(record.fields.size() == 1 ? QString() : QStringLiteral("s")));
        const QString output = nameFromCell(record.fields.at(0));
        const QString input = nameFromCell(record.fields.at(1));
        const QString command = commandFromCell(record.fields.at(2));
        if (output.isEmpty() && input.isEmpty() && command.isEmpty())
            continue; // a blank spreadsheet row
        if (groups.isEmpty() || groups.last().name != output)
            groups.append(Group{output, {}});
        groups.last().rows.append({input, command});
    }

    QList<std::shared_ptr<clsVantrelOutput>> outputs;
    for (const Group &group : std::as_const(groups)) {
        auto output = std::make_shared<clsVantrelOutput>();
        output->Initialize();
        output->fOutputName = group.name;
        const bool noInputs = group.rows.size() == 1 && group.rows.first().at(0).isEmpty() &&
                              group.rows.first().at(1).isEmpty();
        if (!noInputs) {
            for (const QStringList &row : group.rows) {
                clsVantrelInput input;
                input.Initialize();
                input.fInputName = row.at(0);
                input.fCommand = row.at(1);
                output->fInputs.append(std::move(input));
            }
        }
        outputs.append(output);
    }
    return outputs;
}

} // namespace CtlCsv
