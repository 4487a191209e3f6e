#include "CtlCheck.h"
#include "CtlCommands.h"
#include "CtlCsv.h"
#include "CtlExitStatus.h"
#include "LinkSettings.h"
#include "SerialLineSettings.h"
#include "VantrelError.h"
#include "VantrelFile.h"
#include "VantrelText.h"
#include "clsVantrelConfig.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <optional>

namespace Vantrelctl {

namespace {

// The file's counters are 16-bit: 32767 outputs or inputs fail the save.
constexpr int kMaxItems = 32766;
// Beyond this a new file would take minutes to write and the windows to load.
constexpr qint64 kMaxNewInputs = 1 << 20;

void setNetwork(clsVantrelConfig &config, const QString &protocol, const QString &target)
{
    const qsizetype colon = target.lastIndexOf(QLatin1Char(':'));
    QString host = target.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool isNumber = false;
    const int port = colon < 0 ? 0 : target.mid(colon + 1).toInt(&isNumber);
    if (colon < 0 || VantrelText::TrimSpaces(host).isEmpty() || !isNumber || port < 1 ||
        port > 65535)
        usage(QStringLiteral("--%1 takes HOST:PORT with a port from 1 to 65535, not %2")
                  .arg(protocol, quoted(target)));
    config.fType = QStringLiteral("network");
    config.fProtocol = protocol;
    config.fIPAddress = host;
    config.fPort = QString::number(port);
}

void setSerial(clsVantrelConfig &config, const QString &option)
{
    static const QRegularExpression kSerial(QStringLiteral("^COM(\\d{1,3})(?::(.*))?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = kSerial.match(option);
    const int port = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (port < LinkSettings::MinSerialPort || port > LinkSettings::MaxSerialPort)
        usage(QStringLiteral("--serial takes COMn[:SPEED,PARITY,DATA,STOP] with n from %1 to %2, "
                             "not %3")
                  .arg(LinkSettings::MinSerialPort)
                  .arg(LinkSettings::MaxSerialPort)
                  .arg(quoted(option)));
    config.fType = QStringLiteral("serial");
    config.fCommPort = QString::number(port);
    if (!match.hasCaptured(2))
        return;
    const QString line = match.captured(2);
    try {
        SerialLineSettings::parse(line);
    } catch (const VantrelError &e) {
        usage(e.description());
    }
    const QStringList parts = line.split(QLatin1Char(','));
    config.fBaudRate = parts.at(0);
    config.fParity = parts.at(1).toUpper(); // as the editor's list stores it
    config.fDataBits = parts.at(2);
    config.fStopBits = parts.at(3);
}

// "--outputs N" and "--output-names A,B,C": either gives the count, both
// must agree. Names are one CSV row, so a name may hold a quoted comma.
QStringList itemNames(const Context &c, const QString &countOption, const QString &namesOption,
                      const QString &defaultName, int minimum)
{
    std::optional<int> count;
    if (c.parser.isSet(countOption)) {
        bool isNumber = false;
        count = c.parser.value(countOption).toInt(&isNumber);
        if (!isNumber || *count < minimum || *count > kMaxItems)
            usage(QStringLiteral("--%1 takes a number from %2 to %3, not %4")
                      .arg(countOption)
                      .arg(minimum)
                      .arg(kMaxItems)
                      .arg(quoted(c.parser.value(countOption))));
    }
    QStringList names;
    if (c.parser.isSet(namesOption)) {
        try {
            const QList<CtlCsv::Record> rows = CtlCsv::Parse(c.parser.value(namesOption));
            if (rows.size() != 1)
                usage(QStringLiteral("--%1 takes one line of comma-separated names")
                          .arg(namesOption));
            for (const QString &name : rows.first().fields)
                names << VantrelText::TrimSpaces(name);
        } catch (const VantrelError &e) {
            usage(QStringLiteral("--%1: %2").arg(namesOption, e.description()));
        }
        if (count && *count != names.size())
            usage(QStringLiteral("--%1 is %2 but --%3 gives %4 names")
                      .arg(countOption)
                      .arg(*count)
                      .arg(namesOption)
                      .arg(names.size()));
        return names;
    }
    if (!count)
        usage(QStringLiteral("give --%1 or --%2").arg(countOption, namesOption));
    for (int i = 1; i <= *count; ++i)
        names << QStringLiteral("%1 %2").arg(defaultName).arg(i);
    return names;
}

// The template's placeholders: {input} and {output} count from 1,
// {input0} and {output0} from 0. Any other {word} is refused as a typo.
QString expandCommand(const QString &pattern, int input, int output)
{
    QString command = pattern;
    command.replace(QLatin1String("{input}"), QString::number(input + 1));
    command.replace(QLatin1String("{output}"), QString::number(output + 1));
    command.replace(QLatin1String("{input0}"), QString::number(input));
    command.replace(QLatin1String("{output0}"), QString::number(output));
    return command;
}

void checkTemplate(const QString &pattern)
{
    static const QRegularExpression kWord(QStringLiteral("\\{([A-Za-z_][A-Za-z0-9_]*)\\}"));
    static const QStringList kKnown = {QStringLiteral("input"), QStringLiteral("output"),
                                       QStringLiteral("input0"), QStringLiteral("output0")};
    for (const QRegularExpressionMatch &m : kWord.globalMatch(pattern)) {
        if (!kKnown.contains(m.captured(1)))
            usage(QStringLiteral("--command: unknown placeholder %1; use {input}, {output}, "
                                 "{input0} or {output0}")
                      .arg(m.captured(0)));
    }
}

QList<std::shared_ptr<clsVantrelOutput>> routingFromOptions(const Context &c)
{
    const QStringList outputs = itemNames(
        c, QStringLiteral("outputs"), QStringLiteral("output-names"), QStringLiteral("Output"), 1);
    const QStringList inputs = itemNames(c, QStringLiteral("inputs"), QStringLiteral("input-names"),
                                         QStringLiteral("Input"), 0);
    if (qint64(outputs.size()) * inputs.size() > kMaxNewInputs)
        usage(QStringLiteral("%1 outputs with %2 inputs each are more than %3 inputs in all")
                  .arg(outputs.size())
                  .arg(inputs.size())
                  .arg(kMaxNewInputs));
    const QString pattern = c.parser.value(QStringLiteral("command"));
    if (!inputs.isEmpty() && !c.parser.isSet(QStringLiteral("command")))
        usage(QStringLiteral("give --command TEMPLATE, such as 'SW {input} {output}\\r\\n'"));
    checkTemplate(pattern);

    QList<std::shared_ptr<clsVantrelOutput>> result;
    for (int o = 0; o < outputs.size(); ++o) {
        auto output = std::make_shared<clsVantrelOutput>();
        output->Initialize();
        output->fOutputName = outputs.at(o);
        for (int i = 0; i < inputs.size(); ++i) {
            clsVantrelInput input;
            input.Initialize();
            input.fInputName = inputs.at(i);
            input.fCommand = expandCommand(pattern, i, o);
            output->fInputs.append(std::move(input));
        }
        result.append(output);
    }
    return result;
}

} // namespace

int create(Context &c)
{
    if (!c.parser.positionalArguments().isEmpty())
        usage(QStringLiteral("new takes options only"));
    clsVantrelConfig config;
    config.Initialize();
    const QStringList links = {QStringLiteral("tcp"), QStringLiteral("udp"),
                               QStringLiteral("serial")};
    int given = 0;
    for (const QString &link : links)
        given += c.parser.isSet(link) ? 1 : 0;
    if (given != 1)
        usage(QStringLiteral("give one link: --tcp HOST:PORT, --udp HOST:PORT or "
                             "--serial COMn[:SPEED,PARITY,DATA,STOP]"));
    if (c.parser.isSet(QStringLiteral("serial")))
        setSerial(config, c.parser.value(QStringLiteral("serial")));
    for (const QString &protocol : {QStringLiteral("tcp"), QStringLiteral("udp")}) {
        if (c.parser.isSet(protocol))
            setNetwork(config, protocol, c.parser.value(protocol));
    }

    if (c.parser.isSet(QStringLiteral("csv"))) {
        for (const char *option : {"outputs", "inputs", "output-names", "input-names", "command"}) {
            if (c.parser.isSet(QLatin1String(option)))
                usage(QStringLiteral("--csv gives the outputs, inputs and commands; leave out --%1")
                          .arg(QLatin1String(option)));
        }
        config.fOutputs = routingFromCsv(c, c.parser.value(QStringLiteral("csv")));
    } else {
        config.fOutputs = routingFromOptions(c);
    }

    // What check would say about the file: a link the panel would refuse is
    // refused here, the rest is said as a warning.
    const QList<CtlCheck::Finding> refused = CtlCheck::CheckLink(config);
    if (!refused.isEmpty())
        usage(refused.first().text + QStringLiteral("; nothing was written"));
    for (const CtlCheck::Finding &finding : CtlCheck::CheckOutputs(config))
        write(c.err, QStringLiteral("%1: warning: %2: %3\n").arg(kProgram, c.path, finding.text));

    const QString exists = QStringLiteral("%1 already exists; add --force to replace it");
    if (c.parser.isSet(QStringLiteral("force"))) {
        save(config, c.path); // the whole file replaced, by intent
    } else {
        if (QFileInfo::exists(c.path))
            fail(exists.arg(c.path));
        // Looked at again under the file's lock: another program may have
        // written it since.
        bool existed = false;
        const auto whole = std::make_shared<const clsVantrelConfig>(config);
        try {
            VantrelFile::Update(
                [&](const VantrelFile::LoadResult &current)
                    -> std::shared_ptr<const clsVantrelConfig> {
                    existed = current.config != nullptr;
                    return existed ? nullptr : whole;
                },
                c.path, VantrelFile::Commands::Leave);
        } catch (const VantrelError &e) {
            fail(QStringLiteral("cannot write %1: %2").arg(c.path, e.description()));
        }
        if (existed)
            fail(exists.arg(c.path));
    }
    write(c.out, QStringLiteral("%1: written, %2\n").arg(c.path, summary(config)));
    return kSuccess;
}
} // namespace Vantrelctl
