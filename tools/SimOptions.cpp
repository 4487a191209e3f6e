#include "SimOptions.h"

#include <QCommandLineParser>

namespace {

const QString kModes = QStringLiteral("accept, refuse, reset, silent or answer");

bool ParsePort(const QString &text, quint16 *port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535) {
        return false;
    }
    *port = static_cast<quint16>(value);
    return true;
}

bool ParseMode(const QString &text, SimMode *mode)
{
    for (SimMode candidate :
         {SimMode::Accept, SimMode::Refuse, SimMode::Reset, SimMode::Silent, SimMode::Answer}) {
        if (text == SimModeName(candidate)) {
            *mode = candidate;
            return true;
        }
    }
    return false;
}

SimCommandLine::Result Failure(const QString &text)
{
    SimCommandLine::Result result;
    result.outcome = SimCommandLine::Outcome::Error;
    result.message = text + QStringLiteral("\nTry --help for the options.");
    return result;
}

} // namespace

QString SimModeName(SimMode mode)
{
    switch (mode) {
    case SimMode::Accept:
        return QStringLiteral("accept");
    case SimMode::Refuse:
        return QStringLiteral("refuse");
    case SimMode::Reset:
        return QStringLiteral("reset");
    case SimMode::Silent:
        return QStringLiteral("silent");
    case SimMode::Answer:
        return QStringLiteral("answer");
    }
    return QString();
}

SimCommandLine::Result SimCommandLine::Parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stands in for a text-command matrix switcher: listens on TCP and UDP (and optionally a\n"
        "pseudo-terminal) and prints every command it receives on one line, with a timestamp,\n"
        "the link and the bytes made readable (\\r, \\n, \\\\, other control bytes as \\xNN)."));
    // Not addHelpOption(): it also lists --help-all, which only process()
    // acts on, and a simulator started by it would listen instead.
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Displays help on commandline options."));
    parser.addOption(helpOption);
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption addressOption(
        QStringLiteral("address"),
        QStringLiteral("Address to listen on (default 127.0.0.1; only loopback unless told)."),
        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption tcpOption(
        QStringLiteral("tcp-port"), QStringLiteral("TCP port (default 3001; 0 picks a free one)."),
        QStringLiteral("port"), QStringLiteral("3001"));
    const QCommandLineOption udpOption(
        QStringLiteral("udp-port"), QStringLiteral("UDP port (default 3001; 0 picks a free one)."),
        QStringLiteral("port"), QStringLiteral("3001"));
    const QCommandLineOption serialOption(
        QStringLiteral("serial"),
        QStringLiteral("Also create a pseudo-terminal and print the device the panel should use."));
    const QCommandLineOption modeOption(
        QStringLiteral("mode"),
        QStringLiteral(
            "accept (default): print every command; refuse: TCP connects are refused and "
            "UDP is not bound; reset: TCP connections are reset at once; silent: accept "
            "but never read; answer: greet each TCP connection, acknowledge its command "
            "and tell how it ended, echo serial bytes."),
        QStringLiteral("mode"), QStringLiteral("accept"));
    parser.addOptions({addressOption, tcpOption, udpOption, serialOption, modeOption});

    if (!parser.parse(arguments)) {
        return Failure(parser.errorText());
    }
    Result result;
    if (parser.isSet(helpOption)) {
        result.outcome = Outcome::Help;
        result.message = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.outcome = Outcome::Version;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Failure(QStringLiteral("Unexpected argument \"%1\".")
                           .arg(parser.positionalArguments().constFirst()));
    }

    SimOptions &options = result.options;
    const QString address = parser.value(addressOption);
    if (address == QLatin1String("localhost")) {
        options.address = QHostAddress(QHostAddress::LocalHost);
    } else if (!options.address.setAddress(address)) {
        return Failure(QStringLiteral("\"%1\" is not an IPv4 or IPv6 address.").arg(address));
    }
    if (!ParsePort(parser.value(tcpOption), &options.tcpPort)) {
        return Failure(QStringLiteral("TCP port \"%1\" is not a number from 0 to 65535.")
                           .arg(parser.value(tcpOption)));
    }
    if (!ParsePort(parser.value(udpOption), &options.udpPort)) {
        return Failure(QStringLiteral("UDP port \"%1\" is not a number from 0 to 65535.")
                           .arg(parser.value(udpOption)));
    }
    if (!ParseMode(parser.value(modeOption), &options.mode)) {
        return Failure(
            QStringLiteral("Unknown mode \"%1\" (use %2).").arg(parser.value(modeOption), kModes));
    }
    options.serial = parser.isSet(serialOption);
    result.outcome = Outcome::Run;
    return result;
}
