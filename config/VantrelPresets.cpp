#include "VantrelPresets.h"

#include "FileLock.h"
#include "VantrelSave.h"
#include "VantrelText.h"
#include "clsVantrelParser.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <optional>
#include <unistd.h>

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
    fRecovered = false;
    try {
        {
            std::optional<FileLock> recovering;
            fRecovered = VantrelSave::LockForReading(recovering, fPath);
        }
        const FileLock lock(fPath, FileLock::Mode::Shared);
        return readLocked();
    } catch (const VantrelError &error) {
        return error.description();
    }
}

QString VantrelPresetFile::readLocked()
{
    fPresets.clear();
    fKeepAside = false;
    if (!QFileInfo::exists(fPath))
        return QString();
    int fd = -1;
    try {
        fd = VantrelSave::OpenForReading(fPath, VantrelSave::kMaxFileSize);
    } catch (const VantrelError &error) {
        // Too large is kept aside; anything but a file is never written.
        fKeepAside = QFileInfo(fPath).isFile();
        return error.description();
    }
    if (fd < 0) {
        fKeepAside = true;
        return qt_error_string(errno);
    }
    QFile channel;
    channel.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    QString problem;
    fPresets = read(channel, problem);
    fKeepAside = !problem.isEmpty();
    return problem;
}

QString VantrelPresetFile::keepAside() const
{
    // A copy, not the file itself: the file stays in place until the new
    // one replaces it, should the save fail.
    const QString kept = fPath + kKeptSuffix + QStringLiteral(".new");
    const auto refuse = [&](const QString &reason) {
        QFile::remove(kept);
        throw VantrelError(QStringLiteral("the file that could not be read could not be kept as "
                                          "%1 first: %2; %3")
                               .arg(fPath + kKeptSuffix, reason, VantrelSave::kUnchanged));
    };
    QFile source(FileLock::Target(fPath));
    QFile copy(kept);
    QFile::remove(kept);
    if (!source.open(QIODevice::ReadOnly))
        refuse(source.errorString());
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        refuse(copy.errorString());
    copy.setPermissions(source.permissions());
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = source.read(block.data(), block.size());
        if (got < 0)
            refuse(source.errorString());
        if (got == 0)
            break;
        if (copy.write(block.constData(), got) != got)
            refuse(copy.errorString());
    }
    if (!copy.flush() || ::fsync(copy.handle()) != 0)
        refuse(copy.errorString());
    return kept;
}

bool VantrelPresetFile::update(const Change &change)
{
    const FileLock lock(fPath, FileLock::Mode::Exclusive);
    fRecovered = VantrelSave::Recover(fPath);
    const QString problem = readLocked();
    const std::optional<QList<Preset>> next = change(fPresets, problem);
    if (!next)
        return false;
    // What cannot be written is refused before anything is kept aside.
    QBuffer check;
    check.open(QIODevice::WriteOnly);
    try {
        write(&check, *next);
    } catch (const VantrelError &error) {
        throw VantrelError(
            QStringLiteral("%1; %2").arg(error.description(), VantrelSave::kUnchanged));
    }
    const QString kept = fKeepAside ? keepAside() : QString();
    try {
        VantrelSave::Write(fPath, [&check](QIODevice &channel) {
            if (channel.write(check.data()) != check.data().size())
                throw VantrelError(QStringLiteral("writing failed: %1").arg(channel.errorString()));
        });
    } catch (const VantrelError &) {
        if (!kept.isEmpty())
            QFile::remove(kept);
        throw;
    }
    if (!kept.isEmpty()) {
        QFile::remove(fPath + kKeptSuffix);
        QFile::rename(kept, fPath + kKeptSuffix);
    }
    fPresets = *next;
    fKeepAside = false;
    return true;
}

void VantrelPresetFile::save(const QList<Preset> &presets)
{
    update([&presets](const QList<Preset> &, const QString &) { return presets; });
}
