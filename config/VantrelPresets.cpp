#include "VantrelPresets.h"

#include "VantrelText.h"
#include "clsVantrelParser.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <optional>

using VantrelText::WriteLine;

namespace {

// Where reading stopped and why; turned into "line N: why" for the caller.
struct ReadStop
{
    qint64 line;
    QString why;
};

// A whole decimal integer, optionally negative, within the given bounds.
std::optional<int> integerIn(const QString &text, int lowest, int highest)
{
    const qsizetype digitsFrom = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (text.size() == digitsFrom || text.size() > digitsFrom + 6)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return std::nullopt;
    }
    const int value = text.toInt();
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}

bool isHeader(const clsVantrelParser &parser, QLatin1String name)
{
    return parser.fItemType == clsVantrelParser::SectionHeader &&
           VantrelText::EqualsLowerAscii(parser.fItem, name);
}

QString shownItem(const clsVantrelParser &parser)
{
    const QString text = parser.fItemType == clsVantrelParser::SectionHeader
                             ? QStringLiteral("[%1]").arg(parser.fItem)
                         : parser.fHasEquals ? parser.fItem + QLatin1Char('=') + parser.fValue
                                             : parser.fItem;
    return QStringLiteral("\"%1\"").arg(text.left(60));
}

PresetRow readRow(clsVantrelParser &parser, const Preset &preset)
{
    const qint64 headerLine = parser.fLine;
    PresetRow row;
    enum Seen
    {
        Output = 1,
        OutputName = 2,
        Selected = 4,
        InputName = 8,
        All = 15
    };
    int seen = 0;
    for (parser.GetNextItem(); parser.fItemType == clsVantrelParser::Entry; parser.GetNextItem()) {
        const QString key = VantrelText::LowerAscii(parser.fItem);
        if (key == QLatin1String("output")) {
            const auto value = integerIn(parser.fValue, 1, VantrelPresetFile::kMaxOutput);
            if (!value)
                throw ReadStop{parser.fLine, QStringLiteral("%1: the output must be a number "
                                                            "from 1 to %2")
                                                 .arg(shownItem(parser))
                                                 .arg(VantrelPresetFile::kMaxOutput)};
            row.output = *value;
            seen |= Output;
        } else if (key == QLatin1String("selected")) {
            const auto value = integerIn(parser.fValue, -1, 32767);
            if (!value)
                throw ReadStop{parser.fLine,
                               QStringLiteral("%1: the selection must be a number from -1 up")
                                   .arg(shownItem(parser))};
            row.selected = *value;
            seen |= Selected;
        } else if (key == QLatin1String("outputname")) {
            row.outputName = parser.fValue;
            seen |= OutputName;
        } else if (key == QLatin1String("inputname")) {
            row.inputName = parser.fValue;
            seen |= InputName;
        } else {
            throw ReadStop{parser.fLine,
                           QStringLiteral("%1 is not an entry of a row").arg(shownItem(parser))};
        }
    }
    if (seen != All)
        throw ReadStop{headerLine, QStringLiteral("the row needs the entries output, outputname, "
                                                  "selected and inputname")};
    for (const PresetRow &earlier : preset.rows) {
        if (earlier.output == row.output)
            throw ReadStop{headerLine, QStringLiteral("output %1 has two rows in the preset \"%2\"")
                                           .arg(row.output)
                                           .arg(preset.name)};
    }
    return row;
}

Preset readPreset(clsVantrelParser &parser, const QList<Preset> &earlier)
{
    const qint64 headerLine = parser.fLine;
    Preset preset;
    for (parser.GetNextItem(); parser.fItemType == clsVantrelParser::Entry; parser.GetNextItem()) {
        if (!VantrelText::EqualsLowerAscii(parser.fItem, QLatin1String("name")))
            throw ReadStop{parser.fLine,
                           QStringLiteral("%1 is not an entry of a preset").arg(shownItem(parser))};
        preset.name = parser.fValue;
    }
    if (preset.name.isEmpty())
        throw ReadStop{headerLine, QStringLiteral("the preset has no name")};
    for (const Preset &other : earlier) {
        if (other.name == preset.name)
            throw ReadStop{headerLine,
                           QStringLiteral("a second preset named \"%1\"").arg(preset.name)};
    }
    while (isHeader(parser, QLatin1String("row")))
        preset.rows.append(readRow(parser, preset));
    return preset;
}

void writeHeader(QIODevice *aChannel, const QString &header, bool &first)
{
    if (!first)
        WriteLine(aChannel, QString());
    first = false;
    WriteLine(aChannel, header);
}

} // namespace

VantrelPresetFile::VantrelPresetFile(QString path) : fPath(std::move(path)) {}

QList<Preset> VantrelPresetFile::read(QIODevice &channel, QString &problem)
{
    problem.clear();
    QList<Preset> presets;
    clsVantrelParser parser;
    try {
        parser.Initialize(&channel);
        while (parser.fItemType != clsVantrelParser::EndOfInput) {
            if (!isHeader(parser, QLatin1String("preset")))
                throw ReadStop{
                    parser.fLine,
                    QStringLiteral("%1 where a [preset] header belongs").arg(shownItem(parser))};
            presets.append(readPreset(parser, presets));
        }
    } catch (const ReadStop &stop) {
        problem = QStringLiteral("line %1: %2").arg(stop.line).arg(stop.why);
    } catch (const VantrelError &error) {
        problem = error.description();
    }
    return presets;
}

void VantrelPresetFile::write(QIODevice *aChannel, const QList<Preset> &presets)
{
    bool first = true;
    for (const Preset &preset : presets) {
        // Reading trims names, so a name with blanks at its ends would come
        // back as another name.
        if (preset.name.isEmpty() || VantrelText::TrimSpaces(preset.name) != preset.name)
            throw VantrelError(
                QStringLiteral("the preset name \"%1\" is empty or begins or ends with a space")
                    .arg(preset.name));
        writeHeader(aChannel, QStringLiteral("[preset]"), first);
        WriteLine(aChannel, QLatin1String("name="), preset.name);
        for (const PresetRow &row : preset.rows) {
            writeHeader(aChannel, QStringLiteral("[row]"), first);
            WriteLine(aChannel, QLatin1String("output="), QString::number(row.output));
            WriteLine(aChannel, QLatin1String("outputname="), row.outputName);
            WriteLine(aChannel, QLatin1String("selected="), QString::number(row.selected));
            WriteLine(aChannel, QLatin1String("inputname="), row.inputName);
        }
    }
}

QString VantrelPresetFile::load()
{
    fPresets.clear();
    fKeepAside = false;
    QFile channel(fPath);
    if (!channel.exists())
        return QString();
    if (!channel.open(QIODevice::ReadOnly)) {
        fKeepAside = true;
        return channel.errorString();
    }
    QString problem;
    fPresets = read(channel, problem);
    fKeepAside = !problem.isEmpty();
    return problem;
}

void VantrelPresetFile::save(const QList<Preset> &presets)
{
    if (fKeepAside && QFile::exists(fPath)) {
        const QString kept = fPath + kKeptSuffix;
        QFile::remove(kept);
        QFile old(fPath);
        if (!old.rename(kept))
            throw VantrelError(QStringLiteral("the file that could not be read could not be kept "
                                              "as %1 first: %2")
                                   .arg(kept, old.errorString()));
    }
    fKeepAside = false;

    // As for "vantrel.ini": the new content replaces the old file only once
    // it is completely written.
    QSaveFile channel(fPath);
    if (!channel.open(QIODevice::WriteOnly))
        throw VantrelError(channel.errorString());
    try {
        write(&channel, presets);
    } catch (...) {
        channel.cancelWriting();
        throw;
    }
    errno = 0;
    if (!channel.flush() || channel.error() != QFileDevice::NoError) {
        const QString reason = VantrelText::FailureReason(&channel, errno);
        channel.cancelWriting();
        throw VantrelError(QStringLiteral("writing failed: %1").arg(reason));
    }
    if (!channel.commit())
        throw VantrelError(QStringLiteral("the new file could not replace the old one: %1")
                               .arg(channel.errorString()));
    fPresets = presets;
}
