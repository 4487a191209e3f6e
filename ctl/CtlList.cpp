#include "CtlCheck.h"
#include "CtlCommands.h"
#include "CtlExitStatus.h"
#include "FileLock.h"
#include "VantrelError.h"
#include "VantrelFile.h"
#include "VantrelSave.h"
#include "clsVantrelConfig.h"
#include "modGlobal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Vantrelctl {

namespace {

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

} // namespace

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
} // namespace Vantrelctl
