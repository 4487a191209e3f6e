#include "Vantrelctl.h"

#include "CommandSender.h"
#include "CtlCheck.h"
#include "CtlCsv.h"
#include "CtlLog.h"
#include "CtlRemote.h"
#include "CtlStatus.h"
#include "CtlTake.h"
#include "FileLock.h"
#include "LinkSettings.h"
#include "SerialLineSettings.h"
#include "TakeLog.h"
#include "TakeRecorder.h"
#include "VantrelError.h"
#include "VantrelFile.h"
#include "VantrelMerge.h"
#include "VantrelSave.h"
#include "VantrelText.h"
#include "clsVantrelConfig.h"
#include "modGlobal.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <functional>
#include <optional>

namespace Vantrelctl {

namespace {

const QString kProgram = QStringLiteral("vantrelctl");

// The file's counters are 16-bit: 32767 outputs or inputs fail the save.
constexpr int kMaxItems = 32766;
// Beyond this a new file would take minutes to write and the windows to load.
constexpr qint64 kMaxNewInputs = 1 << 20;

// A failure that ends the command with its status; Run prints the text.
struct Stop
{
    int status;
    QString message;
};

[[noreturn]] void usage(const QString &message)
{
    throw Stop{kBadUsage, message};
}

[[noreturn]] void fail(const QString &message)
{
    throw Stop{kFailure, message};
}

void write(QIODevice &device, const QString &text)
{
    device.write(text.toUtf8());
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

struct Context
{
    QCommandLineParser &parser;
    QIODevice &out;
    QIODevice &err;
    QString path;
    QString command = QStringLiteral("send");
};

// Loading finished a save that had been interrupted: said on every command
// that reads the file, as the windows say it.
void noteRecovery(const Context &c, const VantrelFile::LoadResult &result)
{
    if (result.recovered)
        write(c.err, QStringLiteral("%1: %2: %3\n").arg(kProgram, c.path, VantrelSave::kRecovered));
}

// Loading as the windows load; a file whose reading stopped early is used
// with a warning, as the windows go on after theirs.
VantrelFile::LoadResult load(const Context &c)
{
    try {
        VantrelFile::LoadResult result = VantrelFile::Load(c.path);
        noteRecovery(c, result);
        if (!result.complete)
            write(c.err, QStringLiteral("%1: warning: %2: %3\n")
                             .arg(kProgram, c.path, result.stopDescription()));
        return result;
    } catch (const VantrelFile::OpenError &e) {
        fail(QStringLiteral("cannot open %1: %2").arg(c.path, e.description()));
    } catch (const VantrelError &e) {
        fail(QStringLiteral("cannot read %1: %2").arg(c.path, e.description()));
    }
}

void save(const clsVantrelConfig &config, const QString &path)
{
    try {
        VantrelFile::Save(config, path);
    } catch (const VantrelError &e) {
        // The reason ends with what became of the file.
        fail(QStringLiteral("cannot write %1: %2").arg(path, e.description()));
    }
}

QString linkText(const clsVantrelConfig &config)
{
    const LinkSettings link = LinkSettings::fromConfig(config);
    switch (link.kind()) {
    case LinkSettings::Kind::Serial: {
        // The stored port is a number ("2" is COM2); anything else is shown
        // as stored, since the panel will refuse it.
        static const QRegularExpression kDigits(QStringLiteral("^\\d+$"));
        const QString port = kDigits.match(config.fCommPort).hasMatch()
                                 ? QStringLiteral("COM") + config.fCommPort
                                 : QStringLiteral("port ") + quoted(config.fCommPort);
        return QStringLiteral("serial %1 %2").arg(port, link.serialSettingsText());
    }
    case LinkSettings::Kind::Network:
        return QStringLiteral("%1 %2:%3")
            .arg(link.usesTcp() ? QStringLiteral("tcp") : QStringLiteral("udp"), config.fIPAddress,
                 config.fPort);
    case LinkSettings::Kind::Unknown:
        break;
    }
    return QStringLiteral("unknown link type %1").arg(quoted(config.fType));
}

QString bytesText(const QByteArray &bytes)
{
    return QStringLiteral("%1 byte%2: %3")
        .arg(bytes.size())
        .arg(bytes.size() == 1 ? QString() : QStringLiteral("s"))
        .arg(VantrelText::Readable(bytes));
}

// ---- list -------------------------------------------------------------

void refuseOperands(const Context &c, const char *command)
{
    const QStringList operands = c.parser.positionalArguments();
    if (!operands.isEmpty())
        usage(QStringLiteral("%1 takes no operands, not %2")
                  .arg(QLatin1String(command), quoted(operands.first())));
}

// For scripts: the settings as stored, and each input's command as stored
// and as the characters (one per byte) the panel sends.
QJsonObject listJson(const clsVantrelConfig &config)
{
    const QJsonObject link{{QStringLiteral("type"), config.fType},
                           {QStringLiteral("commport"), config.fCommPort},
                           {QStringLiteral("baudrate"), config.fBaudRate},
                           {QStringLiteral("databits"), config.fDataBits},
                           {QStringLiteral("parity"), config.fParity},
                           {QStringLiteral("stopbits"), config.fStopBits},
                           {QStringLiteral("protocol"), config.fProtocol},
                           {QStringLiteral("ipaddress"), config.fIPAddress},
                           {QStringLiteral("port"), config.fPort}};
    QJsonArray outputs;
    for (qsizetype o = 0; o < config.fOutputs.size(); ++o) {
        const clsVantrelOutput &output = *config.fOutputs.at(o);
        QJsonArray inputs;
        for (qsizetype i = 0; i < output.fInputs.size(); ++i) {
            const clsVantrelInput &input = output.fInputs.at(i);
            inputs.append(QJsonObject{{QStringLiteral("number"), i + 1},
                                      {QStringLiteral("name"), input.fInputName.toString()},
                                      {QStringLiteral("command"), input.fCommand.toString()},
                                      {QStringLiteral("sends"), DecodeEscapes(input.fCommand)}});
        }
        const int chosen = output.fSelected;
        outputs.append(QJsonObject{{QStringLiteral("number"), o + 1},
                                   {QStringLiteral("name"), output.fOutputName.toString()},
                                   {QStringLiteral("chosen"), chosen >= 0 && chosen < inputs.size()
                                                                  ? QJsonValue(chosen + 1)
                                                                  : QJsonValue(QJsonValue::Null)},
                                   {QStringLiteral("inputs"), inputs}});
    }
    return QJsonObject{{QStringLiteral("link"), link}, {QStringLiteral("outputs"), outputs}};
}

int list(Context &c)
{
    refuseOperands(c, "list");
    const auto loaded = load(c);
    const clsVantrelConfig &config = *loaded.config;
    if (c.parser.isSet(QStringLiteral("json"))) {
        c.out.write(QJsonDocument(listJson(config)).toJson());
        return kSuccess;
    }
    QString text = QStringLiteral("link: %1\n").arg(linkText(config));
    for (qsizetype o = 0; o < config.fOutputs.size(); ++o) {
        const clsVantrelOutput &output = *config.fOutputs.at(o);
        text += QStringLiteral("output %1: %2%3\n")
                    .arg(o + 1)
                    .arg(output.fOutputName,
                         output.fInputs.isEmpty() ? QStringLiteral(" (no inputs)") : QString());
        qsizetype width = 0;
        for (const auto &input : output.fInputs)
            width = std::max(width, input.fInputName.size());
        for (qsizetype i = 0; i < output.fInputs.size(); ++i) {
            const clsVantrelInput &input = output.fInputs.at(i);
            text += QStringLiteral("  %1 %2  %3  command=%4  sends %5\n")
                        .arg(i == output.fSelected ? QLatin1Char('*') : QLatin1Char(' '))
                        .arg(i + 1, 3)
                        .arg(input.fInputName.toString().leftJustified(width), input.fCommand,
                             bytesText(DecodeEscapes(input.fCommand).toLatin1()));
        }
    }
    write(c.out, text);
    return kSuccess;
}

// ---- check ------------------------------------------------------------

int check(Context &c)
{
    // "check FILE" checks FILE, as "check -f FILE" does.
    const QStringList operands = c.parser.positionalArguments();
    if (operands.size() > 1)
        usage(QStringLiteral("check takes one FILE, not %1").arg(operands.size()));
    if (!operands.isEmpty()) {
        if (c.parser.isSet(QStringLiteral("file")))
            usage(QStringLiteral("give the file either as FILE or with -f, not both"));
        c.path = operands.first();
    }
    QList<CtlCheck::Finding> findings;
    try {
        if (VantrelFile::Recover(c.path))
            write(c.err,
                  QStringLiteral("%1: %2: %3\n").arg(kProgram, c.path, VantrelSave::kRecovered));
        const FileLock reading(c.path, FileLock::Mode::Shared);
        findings = CtlCheck::Check(c.path);
    } catch (const VantrelFile::OpenError &e) {
        fail(QStringLiteral("cannot open %1: %2").arg(c.path, e.description()));
    } catch (const VantrelError &e) {
        write(c.out,
              QStringLiteral("%1: %2; neither window opens it\n").arg(c.path, e.description()));
        return kFailure;
    }
    QString text;
    for (const CtlCheck::Finding &finding : std::as_const(findings))
        text +=
            QStringLiteral("%1:%2: %3\n").arg(c.path, QString::number(finding.line), finding.text);
    if (findings.isEmpty())
        text = QStringLiteral("%1: no problems found\n").arg(c.path);
    write(c.out, text);
    return findings.isEmpty() ? kSuccess : kFailure;
}

// ---- send -------------------------------------------------------------

// A 1-based number picks by position; anything else (or a number beyond the
// list) must be exactly one item's name.
qsizetype pick(const QString &argument, const QStringList &names, const QString &what)
{
    bool isNumber = false;
    const qlonglong number = argument.toLongLong(&isNumber);
    if (isNumber && number >= 1 && number <= names.size())
        return qsizetype(number - 1);
    const qsizetype first = names.indexOf(argument);
    // A name that does not resolve is a typo, not an outage: bad usage.
    if (first < 0)
        usage(QStringLiteral("no %1 %2: there %3 %4, numbered from 1")
                  .arg(what, quoted(argument),
                       names.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                       QString::number(names.size())));
    if (names.indexOf(argument, first + 1) >= 0)
        usage(QStringLiteral("more than one %1 is named %2; give its number instead")
                  .arg(what, quoted(argument)));
    return first;
}

int send(Context &c)
{
    const QStringList args = c.parser.positionalArguments();
    if (args.size() != 2)
        usage(QStringLiteral("%1 takes OUTPUT and INPUT").arg(c.command));
    if (!c.parser.isSet(QStringLiteral("dry-run")) && !c.parser.isSet(QStringLiteral("direct"))) {
        const CtlTake::Result taken = CtlTake::ThroughPanel(c.path, args.at(0), args.at(1));
        switch (taken.kind) {
        case CtlTake::Result::Kind::NoPanel:
            break;
        case CtlTake::Result::Kind::Sent:
            return kSuccess;
        case CtlTake::Result::Kind::Failed:
            write(c.err, taken.message + QLatin1Char('\n'));
            return kFailure;
        case CtlTake::Result::Kind::Refused:
            fail(taken.message);
        }
    }
    const auto loaded = load(c);
    const std::shared_ptr<clsVantrelConfig> config = loaded.config;

    QStringList outputNames;
    for (const auto &output : config->fOutputs)
        outputNames << output->fOutputName;
    const qsizetype row = pick(args.at(0), outputNames, QStringLiteral("output"));
    const clsVantrelOutput &output = *config->fOutputs.at(row);
    QStringList inputNames;
    for (const auto &input : output.fInputs)
        inputNames << input.fInputName;
    const clsVantrelInput &input = output.fInputs.at(
        pick(args.at(1), inputNames,
             QStringLiteral("input of output %1").arg(quoted(output.fOutputName))));

    const QString command = DecodeEscapes(input.fCommand);
    if (c.parser.isSet(QStringLiteral("dry-run"))) {
        write(c.out,
              QStringLiteral("%1 %2\n").arg(linkText(*config), bytesText(command.toLatin1())));
        return kSuccess;
    }

    // The panel's sender: the same links, four attempts 200 ms apart.
    CommandSender sender([config] { return LinkSettings::fromConfig(*config); });
    // Logged like the panel's takes; the log is written out when it goes.
    TakeLog takeLog;
    TakeRecorder recorder(&sender, &takeLog,
                          [config] { return LinkSettings::fromConfig(*config); });
    recorder.pressed(int(row), {TakeOrigin::Source::Ctl, {}}, output.fOutputName, input.fInputName,
                     input.fCommand);
    QEventLoop loop;
    bool done = false;
    bool ok = false;
    QString description;
    QObject::connect(&sender, &CommandSender::sendFinished,
                     [&](int, bool sent, const QString &, const QString &why) {
                         done = true;
                         ok = sent;
                         description = why;
                         loop.quit();
                     });
    sender.send(int(row), command);
    if (!done)
        loop.exec();
    if (!ok) {
        // The panel's box keeps its CR LF; logs and terminals want LF.
        QString message = CommandSender::failureMessage(command, description);
        message.replace(QLatin1String("\r\n"), QLatin1String("\n"))
            .replace(QLatin1Char('\r'), QLatin1Char('\n'));
        write(c.err, message + QLatin1Char('\n'));
        return kFailure;
    }
    return kSuccess;
}

// ---- new --------------------------------------------------------------

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

QByteArray readInput(const QString &name)
{
    QFile file;
    if (name == QLatin1String("-"))
        file.open(stdin, QIODevice::ReadOnly);
    else
        file.setFileName(name), file.open(QIODevice::ReadOnly);
    if (!file.isOpen())
        fail(QStringLiteral("cannot open %1: %2").arg(name, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(QStringLiteral("cannot read %1: %2").arg(name, file.errorString()));
    return bytes;
}

// --encoding: latin1 (ISO-8859-1) or utf-8. Reading recognises UTF-8 by
// itself when the option is left out; export writes ISO-8859-1 then.
CtlCsv::Encoding encoding(const Context &c, CtlCsv::Encoding fallback)
{
    const QString option = QStringLiteral("encoding");
    if (!c.parser.isSet(option))
        return fallback;
    const QString name = c.parser.value(option).toLower().remove(QLatin1Char('-'));
    if (name == QLatin1String("latin1") || name == QLatin1String("iso88591"))
        return CtlCsv::Encoding::Latin1;
    if (name == QLatin1String("utf8"))
        return CtlCsv::Encoding::Utf8;
    usage(QStringLiteral("--encoding takes latin1 or utf-8, not %1")
              .arg(quoted(c.parser.value(option))));
}

QList<std::shared_ptr<clsVantrelOutput>> routingFromCsv(const Context &c, const QString &name)
{
    const CtlCsv::Encoding how = encoding(c, CtlCsv::Encoding::Auto);
    try {
        return CtlCsv::ImportRouting(CtlCsv::Decode(readInput(name), how));
    } catch (const VantrelError &e) {
        fail(QStringLiteral("%1: %2; nothing was written").arg(name, e.description()));
    }
}

QString summary(const clsVantrelConfig &config)
{
    qsizetype inputs = 0;
    for (const auto &output : config.fOutputs)
        inputs += output->fInputs.size();
    return QStringLiteral("%1 output(s), %2 input(s) in all")
        .arg(config.fOutputs.size())
        .arg(inputs);
}

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

// ---- export and import --------------------------------------------------

int exportCsv(Context &c)
{
    const QStringList args = c.parser.positionalArguments();
    if (args.size() > 1)
        usage(QStringLiteral("export takes at most one CSV file"));
    const CtlCsv::Encoding how = encoding(c, CtlCsv::Encoding::Latin1);
    const auto loaded = load(c);
    QByteArray csv;
    try {
        csv = CtlCsv::Encode(CtlCsv::ExportRouting(*loaded.config), how);
    } catch (const VantrelError &e) {
        fail(QStringLiteral("%1: %2").arg(c.path, e.description()));
    }
    if (args.isEmpty() || args.first() == QLatin1String("-")) {
        if (c.out.write(csv) != csv.size())
            fail(QStringLiteral("cannot write the CSV to standard output: %1")
                     .arg(c.out.errorString()));
        return kSuccess;
    }
    QSaveFile file(args.first());
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        fail(QStringLiteral("cannot write %1: %2").arg(args.first(), file.errorString()));
    return kSuccess;
}

int importCsv(Context &c)
{
    const QStringList args = c.parser.positionalArguments();
    if (args.size() != 1)
        usage(QStringLiteral("import takes one CSV file (- for standard input)"));
    const bool force = c.parser.isSet(QStringLiteral("force"));
    VantrelFile::LoadResult loaded;
    try {
        loaded = VantrelFile::Load(c.path);
        noteRecovery(c, loaded);
    } catch (const VantrelFile::OpenError &e) {
        fail(QStringLiteral("cannot open %1: %2; vantrelctl new writes a new one")
                 .arg(c.path, e.description()));
    } catch (const VantrelError &e) {
        fail(QStringLiteral("cannot read %1: %2").arg(c.path, e.description()));
    }
    if (!loaded.complete && !force)
        fail(QStringLiteral("%1: %2, and importing would drop it; add --force to import anyway")
                 .arg(c.path, loaded.stopDescription()));

    // The CSV may take its time (a pipe): what it changes goes into the file
    // as it is when it has come, since a window may have saved meanwhile.
    // Until then only what tells the CSV's changes apart is kept.
    const VantrelMerge::Base base = VantrelMerge::Snapshot(*loaded.config);
    loaded.config.reset();
    const auto outputs = routingFromCsv(c, args.first());
    VantrelMerge::Import outcome;
    try {
        VantrelFile::Update(
            [&](const VantrelFile::LoadResult &current) -> std::shared_ptr<const clsVantrelConfig> {
                if (!current.config)
                    throw VantrelError(QStringLiteral("it was removed since import read it, so "
                                                      "nothing was written"));
                if (!current.complete && !force)
                    throw VantrelError(QStringLiteral("%1, and importing would drop it, so the "
                                                      "file is unchanged; add --force to "
                                                      "import anyway")
                                           .arg(current.stopDescription()));
                noteRecovery(c, current);
                outcome = VantrelMerge::PutRouting(base, outputs, *current.config);
                if (!outcome.imported)
                    return nullptr;
                loaded.config = current.config;
                return current.config;
            },
            c.path);
    } catch (const VantrelError &e) {
        fail(QStringLiteral("cannot write %1: %2").arg(c.path, e.description()));
    }
    for (const QString &item : std::as_const(outcome.notKept))
        write(c.err, QStringLiteral("%1 import: not kept: %2\n").arg(kProgram, item));
    if (!outcome.imported && !outcome.notKept.isEmpty()) {
        write(c.err, QStringLiteral("%1 import: %2 is unchanged\n").arg(kProgram, c.path));
        return kNotImported;
    }
    if (!outcome.imported) {
        write(c.out,
              QStringLiteral("%1: unchanged, it already holds the CSV's outputs and inputs\n")
                  .arg(c.path));
        return kSuccess;
    }
    write(c.out, QStringLiteral("%1: imported, %2\n").arg(c.path, summary(*loaded.config)));
    return kSuccess;
}

// ---- the command line ---------------------------------------------------

struct Option
{
    QStringList names;
    const char *description;
    const char *valueName; // nullptr for a switch
};

struct Command
{
    const char *name;
    const char *summary;
    const char *description;
    const char *arguments; // for the usage line
    QList<Option> options;
    std::function<int(Context &)> run;
};

const QList<Command> &commands()
{
    const Option kEncodingOption = {{QStringLiteral("encoding")},
                                    "The CSV's text: latin1 (ISO-8859-1, one byte per character, "
                                    "as vantrel.ini) or utf-8. Reading tells UTF-8 by itself; "
                                    "export writes latin1 unless told.",
                                    "NAME"};
    const Option kDryRunOption = {{QStringLiteral("n"), QStringLiteral("dry-run")},
                                  "Print the link and the bytes instead of sending them.",
                                  nullptr};
    const Option kDirectOption = {{QStringLiteral("direct")},
                                  "Send directly even when a panel has the folder open (its "
                                  "lamps and saved choice then do not follow).",
                                  nullptr};
    static const QList<Command> kCommands = {
        {"list",
         "show the link, the outputs, and each input's command and bytes",
         "Shows the link, every output with its number and name, and each input's number, name "
         "and command as stored, followed by the bytes the panel sends for it (\\r, \\n, \\xNN). "
         "The output's stored choice is marked with *. The text is UTF-8, whatever export "
         "writes.",
         "",
         {{{QStringLiteral("json")},
           "Write it as one JSON object for scripts: \"link\" (the nine settings as stored) and "
           "\"outputs\", each with its number, name, \"chosen\" (its stored choice as an input "
           "number, or null) and inputs (number, name, command as stored, and \"sends\": the "
           "characters sent, one per byte).",
           nullptr}},
         list},
        {"check",
         "report what in the file would surprise the operator",
         "Reads the file as the windows do and reports, with line numbers: reading that stopped "
         "early, a selected value naming no input, an unknown link type, an address, port or "
         "serial setting the panel will refuse, outputs beyond the sixteen rows the panel shows, "
         "names longer than the editor's boxes, and repeated names. Exit status 1 when it finds "
         "anything. FILE, when given, is the file to check, as with -f.",
         "[FILE]",
         {},
         check},
        {"send",
         "send an input's command to the switcher as the panel does",
         "Sends the command of INPUT of OUTPUT the way the panel's button does: the same "
         "decoding, the same link code, four attempts 200 ms apart, and the panel's message on "
         "standard error when all fail (its lines ending in LF). OUTPUT and INPUT are numbers "
         "from 1 or exact names. The file is only read, never written: the panel owns the stored "
         "choices. Exit status 2 when OUTPUT or INPUT names nothing (a typo), 1 when the send "
         "fails.",
         "OUTPUT INPUT",
         {kDryRunOption, kDirectOption},
         send},
        {"take",
         "take an input on an output through the running panel",
         "Takes INPUT on OUTPUT through the panel that has this folder open, as a click there "
         "would: the row's list shows the input, the command waits its turn in the panel's "
         "queue, and the lamps and the saved choice follow. Ends with the send's outcome (the "
         "panel's failure text on standard error). With no panel running, or for an output the "
         "panel shows no row for, the command is sent directly, as send does. OUTPUT and INPUT "
         "are numbers from 1 or exact names.",
         "OUTPUT INPUT",
         {kDryRunOption, kDirectOption},
         send},
        {"status",
         "show the running panel's rows",
         "Prints the rows of the panel that has this folder open: output, chosen input, whether "
         "the choice is pending (not yet sent), and the last take's result. Exit status 1 when "
         "no panel has the folder open.",
         "",
         {{{QStringLiteral("json")},
           "Print the rows as JSON, as the network API's GET /api/v1/rows.",
           nullptr}},
         [](Context &c) {
             return CtlStatus::Run(c.path, c.parser.isSet(QStringLiteral("json")), c.out, c.err);
         }},
        {"remote",
         "turn the panel's network API and OSC on or off",
         "enable writes vantrel-remote.ini beside the configuration file (mode 0600) with a new "
         "secret token, kept on later enables unless --new-token; the panel reads it when it "
         "starts. show prints the address to open, with its token. disable removes the file. "
         "The API listens on loopback unless --listen names another address; OSC is off "
         "unless --osc names a port, and accepts loopback senders only unless --osc-allow lists "
         "others.",
         "enable|show|disable",
         {{{QStringLiteral("listen")},
           "Where the HTTP API listens (default 127.0.0.1:8470).",
           "ADDRESS:PORT"},
          {{QStringLiteral("osc")}, "UDP port for OSC; 0 turns OSC off.", "PORT"},
          {{QStringLiteral("osc-allow")},
           "Addresses besides loopback that may send OSC, comma-separated; - for none.",
           "ADDR,..."},
          {{QStringLiteral("new-token")}, "Replace the token.", nullptr}},
         [](Context &c) {
             const CtlRemote::Options options{c.parser.value(QStringLiteral("listen")),
                                              c.parser.value(QStringLiteral("osc")),
                                              c.parser.value(QStringLiteral("osc-allow")),
                                              c.parser.isSet(QStringLiteral("new-token"))};
             return CtlRemote::Run(c.path, c.parser.positionalArguments(), options, c.out, c.err);
         }},
        {"new",
         "write a new configuration from options",
         "Writes a new configuration: the link, then either --outputs/--inputs (or their names) "
         "with a command template, or --csv with the whole routing list. Every output gets every "
         "input. The template's {input} and {output} are numbers from 1, {input0} and {output0} "
         "from 0; escapes such as \\r\\n are stored as typed. An existing file is replaced only "
         "with --force. The result is checked as check does: a link the panel would refuse is "
         "refused (exit status 2, nothing written); other findings are warnings.",
         "",
         {{{QStringLiteral("tcp")}, "Network link over TCP.", "HOST:PORT"},
          {{QStringLiteral("udp")}, "Network link over UDP.", "HOST:PORT"},
          {{QStringLiteral("serial")}, "Serial link, e.g. COM1:9600,N,8,1.", "COMn[:SETTINGS]"},
          {{QStringLiteral("outputs")}, "Number of outputs.", "N"},
          {{QStringLiteral("inputs")}, "Number of inputs of every output.", "M"},
          {{QStringLiteral("output-names")}, "Output names, comma-separated.", "NAMES"},
          {{QStringLiteral("input-names")}, "Input names, comma-separated.", "NAMES"},
          {{QStringLiteral("command")},
           "Command template, e.g. 'SW {input} {output}\\r\\n'.",
           "TEMPLATE"},
          {{QStringLiteral("csv")}, "Outputs, inputs and commands from a CSV file.", "CSV"},
          kEncodingOption,
          {{QStringLiteral("force")}, "Replace an existing file.", nullptr}},
         create},
        {"export",
         "write the outputs, inputs and commands as CSV",
         "Writes the routing list as CSV (header output,input,command; one row per input; "
         "commands with their escapes as stored) to CSV, or to standard output. It writes one byte "
         "per character (ISO-8859-1, as vantrel.ini holds them) unless --encoding utf-8, while "
         "list writes UTF-8.",
         "[CSV]",
         {kEncodingOption},
         exportCsv},
        {"import",
         "replace the outputs and inputs with those of a CSV file",
         "Replaces the outputs and inputs with those of CSV (- for standard input), in the "
         "format export writes. The link settings stay; each output keeps its choice where the "
         "output and the chosen input's name still exist. A malformed CSV is refused with its "
         "line number and nothing is written. What the CSV changes goes into the file as it is "
         "when the CSV has been read: a window's save meanwhile stays, commands another program "
         "changed keep its value (each such command is named on standard error), and when it "
         "changed the outputs or inputs themselves nothing is imported and the exit status is "
         "3.",
         "CSV",
         {{{QStringLiteral("force")},
           "Import even when reading the file stopped early (the unread rest is dropped).",
           nullptr},
          kEncodingOption},
         importCsv},
        {"log",
         CtlLog::kSummary,
         CtlLog::kDescription,
         "",
         {{{QStringLiteral("since")}, "Only events since a time or for a duration (2h).", "WHEN"},
          {{QStringLiteral("row")}, "Only the takes of this row (from 1).", "N"},
          {{QStringLiteral("failed")}, "Only failed takes and saves.", nullptr},
          {{QStringLiteral("follow")}, "Go on printing events as they come.", nullptr},
          {{QStringLiteral("json")}, "The raw JSON lines, one event each.", nullptr}},
         [](Context &c) {
             return CtlLog::Run(c.parser, c.out, c.err);
         }},
    };
    return kCommands;
}

QString overview()
{
    QString text = QStringLiteral(
        "Usage: vantrelctl COMMAND [options] [arguments]\n"
        "Sets up and drives a text-command matrix switcher with the vantrel.ini of Vantrel and "
        "VantrelConfig.\n\nCommands:\n");
    for (const Command &command : commands())
        text += QStringLiteral("  %1%2\n")
                    .arg(QString::fromLatin1(command.name).leftJustified(8),
                         QLatin1String(command.summary));
    text += QStringLiteral(
        "\nEvery command takes -f/--file PATH (default ./vantrel.ini) and -h/--help;\n"
        "vantrelctl COMMAND --help describes one command, vantrelctl -v/--version\n"
        "prints the version. Exit status: 0 success, 1 failure (also when standard\n"
        "output cannot be written), 2 bad usage (also an output or input name that\n"
        "does not exist), 3 import kept another program's outputs and inputs.\n");
    return text;
}

// The file may also be named before the command: "vantrelctl -f x.ini list".
QStringList fileOptionAfterCommand(QStringList arguments)
{
    const QString first = arguments.value(1);
    const bool separate = first == QLatin1String("-f") || first == QLatin1String("--file");
    if (separate && arguments.size() > 3)
        arguments.move(3, 1);
    else if (first.startsWith(QLatin1String("--file=")) && arguments.size() > 2)
        arguments.move(2, 1);
    return arguments;
}

// Help texts are read in a terminal: descriptions wrap at 79 columns.
QString wrapped(const QString &text)
{
    QString result;
    qsizetype column = 0;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > 0 && column + 1 + word.size() > 79) {
            result += QLatin1Char('\n');
            column = 0;
        } else if (column > 0) {
            result += QLatin1Char(' ');
            ++column;
        }
        result += word;
        column += word.size();
    }
    return result;
}

int runCommandLine(const QStringList &commandLine, QIODevice &out, QIODevice &err)
{
    const QStringList arguments = fileOptionAfterCommand(commandLine);
    const QString first = arguments.value(1);
    const bool fileFirst = first == QLatin1String("-f") || first == QLatin1String("--file") ||
                           first.startsWith(QLatin1String("--file="));
    if (fileFirst && arguments.size() <= (first.startsWith(QLatin1String("--file=")) ? 2 : 3)) {
        write(err, QStringLiteral("%1: a command is missing after %2\nTry 'vantrelctl --help'.\n")
                       .arg(kProgram, arguments.mid(1).join(QLatin1Char(' '))));
        return kBadUsage;
    }
    if (first == QLatin1String("-h") || first == QLatin1String("--help") ||
        first == QLatin1String("help")) {
        if (arguments.size() <= 2 || first != QLatin1String("help")) {
            write(out, overview());
            return kSuccess;
        }
        return runCommandLine({arguments.at(0), arguments.at(2), QStringLiteral("--help")}, out,
                              err);
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        write(out, QStringLiteral("vantrelctl %1\n").arg(QStringLiteral(VANTREL_VERSION)));
        return kSuccess;
    }
    const Command *command = nullptr;
    for (const Command &candidate : commands()) {
        if (first == QLatin1String(candidate.name))
            command = &candidate;
    }
    if (!command) {
        write(err, first.isEmpty()
                       ? overview()
                       : QStringLiteral("%1: unknown command %2\nTry 'vantrelctl --help'.\n")
                             .arg(kProgram, quoted(first)));
        return kBadUsage;
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(QLatin1String(command->description)));
    parser.addOption({{QStringLiteral("f"), QStringLiteral("file")},
                      QStringLiteral("The configuration file (default ./vantrel.ini)."),
                      QStringLiteral("PATH"),
                      VantrelFile::kFileName});
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    for (const Option &option : command->options) {
        parser.addOption(option.valueName
                             ? QCommandLineOption(option.names, QLatin1String(option.description),
                                                  QLatin1String(option.valueName))
                             : QCommandLineOption(option.names, QLatin1String(option.description)));
    }
    const QString usageLine =
        QStringLiteral("Usage: vantrelctl %1 [options] %2")
            .arg(QLatin1String(command->name), QLatin1String(command->arguments))
            .trimmed();
    QStringList rest = arguments.mid(2);
    rest.prepend(kProgram);
    if (!parser.parse(rest)) {
        write(err, QStringLiteral("%1 %2: %3\nTry 'vantrelctl %2 --help'.\n")
                       .arg(kProgram, QLatin1String(command->name), parser.errorText()));
        return kBadUsage;
    }
    if (parser.isSet(help)) {
        write(out, usageLine + QLatin1Char('\n') + parser.helpText().section(QLatin1Char('\n'), 1));
        return kSuccess;
    }
    Context context{parser, out, err, parser.value(QStringLiteral("file"))};
    context.command = QLatin1String(command->name);
    try {
        return command->run(context);
    } catch (const Stop &stop) {
        write(err, QStringLiteral("%1 %2: %3\n")
                       .arg(kProgram, QLatin1String(command->name), stop.message));
        if (stop.status == kBadUsage)
            write(
                err,
                QStringLiteral("Try 'vantrelctl %1 --help'.\n").arg(QLatin1String(command->name)));
        return stop.status;
    }
}

} // namespace

int Run(const QStringList &commandLine, QIODevice &out, QIODevice &err)
{
    const int status = runCommandLine(commandLine, out, err);
    // Output short of a buffer waits in the C library until the exit, where
    // a full disk or a closed pipe would go unnoticed: it goes out now, and a
    // failure fails the command.
    auto *file = qobject_cast<QFileDevice *>(&out);
    if (file && (!file->flush() || file->error() != QFileDevice::NoError)) {
        write(err, QStringLiteral("%1: cannot write to standard output: %2\n")
                       .arg(kProgram, file->errorString()));
        return kFailure;
    }
    return status;
}

} // namespace Vantrelctl
