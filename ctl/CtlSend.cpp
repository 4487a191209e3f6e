#include "CommandSender.h"
#include "CtlCommands.h"
#include "CtlExitStatus.h"
#include "CtlTake.h"
#include "LinkSettings.h"
#include "TakeLog.h"
#include "TakeRecorder.h"
#include "clsVantrelConfig.h"
#include "modGlobal.h"

#include <QEventLoop>

namespace Vantrelctl {

namespace {

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

} // namespace

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
} // namespace Vantrelctl
