#include "CtlCheck.h"

#include "LinkSettings.h"
#include "SerialLineSettings.h"
#include "VantrelError.h"
#include "VantrelFile.h"
#include "VantrelLimits.h"
#include "VantrelSave.h"
#include "VantrelText.h"
#include "clsVantrelParser.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <cerrno>

namespace CtlCheck {

namespace {

// Where each value the model read came from. The walk takes the items the
// model's readers take, in the same order, so the n-th output here is the
// n-th output of the loaded configuration.
struct InputLines
{
    qint64 header = 0;
    qint64 name = 0;
};

struct OutputLines
{
    qint64 header = 0;
    qint64 name = 0;
    qint64 selected = 0;
    QList<InputLines> inputs;
};

struct FileLines
{
    qint64 settingsHeader = 1;
    QHash<QString, qint64> settings;
    QList<OutputLines> outputs;

    qint64 setting(const char *key) const
    {
        return settings.value(QLatin1String(key), settingsHeader);
    }
};

FileLines mapLines(QIODevice &channel)
{
    static const QStringList kKeys = {
        QStringLiteral("type"),     QStringLiteral("commport"),  QStringLiteral("baudrate"),
        QStringLiteral("databits"), QStringLiteral("parity"),    QStringLiteral("stopbits"),
        QStringLiteral("protocol"), QStringLiteral("ipaddress"), QStringLiteral("port")};
    FileLines lines;
    clsVantrelParser parser;
    parser.Initialize(&channel);
    const auto isHeader = [&](const char *name, bool anyCase) {
        return parser.fItemType == clsVantrelParser::SectionHeader &&
               (anyCase ? VantrelText::EqualsLowerAscii(parser.fItem, QLatin1String(name))
                        : parser.fItem == QLatin1String(name));
    };
    const auto isEntry = [&] {
        return parser.fItemType == clsVantrelParser::Entry;
    };
    if (!isHeader("vantrel", false))
        return lines;
    lines.settingsHeader = parser.fLine;
    for (parser.GetNextItem(); isEntry(); parser.GetNextItem()) {
        if (kKeys.contains(parser.fItem))
            lines.settings[parser.fItem] = parser.fLine;
    }
    while (isHeader("output", false)) {
        OutputLines output;
        output.header = parser.fLine;
        for (parser.GetNextItem(); isEntry(); parser.GetNextItem()) {
            if (VantrelText::EqualsLowerAscii(parser.fItem, QLatin1String("name")))
                output.name = parser.fLine;
            else if (VantrelText::EqualsLowerAscii(parser.fItem, QLatin1String("selected")))
                output.selected = parser.fLine;
        }
        while (isHeader("input", true)) {
            InputLines input;
            input.header = parser.fLine;
            for (parser.GetNextItem(); isEntry(); parser.GetNextItem()) {
                if (VantrelText::EqualsLowerAscii(parser.fItem, QLatin1String("name")))
                    input.name = parser.fLine;
            }
            output.inputs.append(input);
        }
        lines.outputs.append(output);
    }
    return lines;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void checkLink(const clsVantrelConfig &config, const FileLines &lines, QList<Finding> &findings)
{
    const LinkSettings link = LinkSettings::fromConfig(config);
    const auto refused = [&](qint64 line, const auto &test) {
        try {
            test();
        } catch (const VantrelError &e) {
            findings.append({line, e.description() + QStringLiteral("; the panel will not send")});
        }
    };
    switch (link.kind()) {
    case LinkSettings::Kind::Unknown:
        findings.append({lines.setting("type"),
                         QStringLiteral("link type %1 is neither serial nor network; the panel "
                                        "will not send")
                             .arg(quoted(config.fType))});
        break;
    case LinkSettings::Kind::Network:
        refused(lines.setting("ipaddress"), [&] { link.networkHost(); });
        refused(lines.setting("port"), [&] { link.networkPort(); });
        if (!link.usesTcp() && link.fProtocol.toLower() != QLatin1String("udp"))
            findings.append({lines.setting("protocol"),
                             QStringLiteral("protocol %1 is neither tcp nor udp; the panel "
                                            "will use UDP")
                                 .arg(quoted(config.fProtocol))});
        break;
    case LinkSettings::Kind::Serial: {
        refused(lines.setting("commport"), [&] { link.serialPortNumber(); });
        // Each part alone against good defaults, so the finding names the
        // line of the part that is refused.
        const LinkSettings good = [] {
            clsVantrelConfig defaults;
            defaults.Initialize();
            return LinkSettings::fromConfig(defaults);
        }();
        const qsizetype before = findings.size();
        const auto part = [&](const char *key, QString LinkSettings::*field) {
            LinkSettings one = good;
            one.*field = link.*field;
            refused(lines.setting(key),
                    [&] { SerialLineSettings::parse(one.serialSettingsText()); });
        };
        part("baudrate", &LinkSettings::fBaudRate);
        part("parity", &LinkSettings::fParity);
        part("databits", &LinkSettings::fDataBits);
        part("stopbits", &LinkSettings::fStopBits);
        if (findings.size() == before)
            refused(lines.setting("baudrate"),
                    [&] { SerialLineSettings::parse(link.serialSettingsText()); });
        break;
    }
    }
}

// Names go first and are joined, never substituted before a number: a name
// holding "%1" must not take the number's place.
QString tooLong(int limit)
{
    return QStringLiteral(" is longer than the %1 characters the editor's box takes").arg(limit);
}

QString sameName(const char *what, qsizetype first, qint64 line)
{
    return QStringLiteral(" has the same name as %1 %2 (line %3)")
        .arg(QLatin1String(what), QString::number(first + 1), QString::number(line));
}

void checkOutputs(const clsVantrelConfig &config, const FileLines &lines, QList<Finding> &findings)
{
    const auto &outputs = config.fOutputs;
    if (outputs.size() > VantrelLimits::kPanelRows) {
        const qsizetype hidden = outputs.size() - VantrelLimits::kPanelRows;
        findings.append(
            {lines.outputs.value(VantrelLimits::kPanelRows).header,
             QStringLiteral("%1 output(s) from output %2 %3 on are beyond the %4 rows "
                            "the panel shows")
                 .arg(QString::number(hidden), QString::number(VantrelLimits::kPanelRows + 1),
                      quoted(outputs.at(VantrelLimits::kPanelRows)->fOutputName),
                      QString::number(VantrelLimits::kPanelRows))});
    }
    QHash<QString, qsizetype> outputNames;
    for (qsizetype o = 0; o < outputs.size(); ++o) {
        const clsVantrelOutput &output = *outputs.at(o);
        const OutputLines place = lines.outputs.value(o);
        const qint64 nameLine = place.name ? place.name : place.header;
        const QString label =
            QStringLiteral("output %1 %2").arg(QString::number(o + 1), quoted(output.fOutputName));
        if (output.fOutputName.size() > VantrelLimits::kOutputNameLength)
            findings.append({nameLine, label + tooLong(VantrelLimits::kOutputNameLength)});
        if (outputNames.contains(output.fOutputName)) {
            const qsizetype first = outputNames.value(output.fOutputName);
            findings.append(
                {nameLine, label + sameName("output", first, lines.outputs.value(first).header)});
        } else {
            outputNames.insert(output.fOutputName, o);
        }
        const int count = int(output.fInputs.size());
        const int selected = output.fSelected;
        if (selected != -1 && (selected < 0 || selected >= count)) {
            const QString has =
                count == 0
                    ? QStringLiteral("it has no inputs")
                    : QStringLiteral("it has %1 input(s), 0 to %2").arg(count).arg(count - 1);
            findings.append({place.selected ? place.selected : place.header,
                             label + QStringLiteral(": selected=%1 names no input (%2)")
                                         .arg(QString::number(selected), has)});
        }
        QHash<QString, qsizetype> inputNames;
        for (qsizetype i = 0; i < output.fInputs.size(); ++i) {
            const QString &name = output.fInputs.at(i).fInputName;
            const InputLines at = place.inputs.value(i);
            const qint64 line = at.name ? at.name : at.header;
            const QString inputLabel =
                label + QStringLiteral(", input %1 %2").arg(QString::number(i + 1), quoted(name));
            if (name.size() > VantrelLimits::kInputNameLength)
                findings.append({line, inputLabel + tooLong(VantrelLimits::kInputNameLength)});
            if (inputNames.contains(name)) {
                const qsizetype first = inputNames.value(name);
                findings.append({line, inputLabel + sameName("input", first,
                                                             place.inputs.value(first).header)});
            } else {
                inputNames.insert(name, i);
            }
        }
    }
}

} // namespace

QList<Finding> Check(const QString &path)
{
    // As the windows open it: a FIFO or a device is refused at once instead
    // of blocking or reading without end, and so is a file over the limit.
    const int fd = VantrelSave::OpenForReading(path, VantrelFile::kMaxFileSize);
    if (fd < 0)
        throw VantrelFile::OpenError(qt_error_string(errno), path);
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    // One read serves both walks, so both see the same bytes.
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw VantrelError(QStringLiteral("reading failed: %1").arg(file.errorString()));
    QBuffer channel(&bytes);
    channel.open(QIODevice::ReadOnly);
    const VantrelFile::LoadResult loaded = VantrelFile::Load(channel);
    channel.seek(0);
    const FileLines lines = mapLines(channel);

    QList<Finding> findings;
    if (!loaded.complete)
        findings.append({loaded.stopLine,
                         QStringLiteral("reading stopped at %1; the panel and the editor ignore "
                                        "the rest, and their next save drops it")
                             .arg(quoted(loaded.stopText.left(60)))});
    checkLink(*loaded.config, lines, findings);
    checkOutputs(*loaded.config, lines, findings);
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding &a, const Finding &b) { return a.line < b.line; });
    return findings;
}

} // namespace CtlCheck
