#include "CtlContext.h"

#include "CtlExitStatus.h"
#include "LinkSettings.h"
#include "VantrelError.h"
#include "VantrelSave.h"
#include "VantrelText.h"
#include "clsVantrelConfig.h"

#include <QRegularExpression>

namespace Vantrelctl {

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

void noteRecovery(const Context &c, const VantrelFile::LoadResult &result)
{
    if (result.recovered)
        write(c.err, QStringLiteral("%1: %2: %3\n").arg(kProgram, c.path, VantrelSave::kRecovered));
}

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

void refuseOperands(const Context &c, const char *command)
{
    const QStringList operands = c.parser.positionalArguments();
    if (!operands.isEmpty())
        usage(QStringLiteral("%1 takes no operands, not %2")
                  .arg(QLatin1String(command), quoted(operands.first())));
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
} // namespace Vantrelctl
