// vantrel-switcher-sim: a stand-in switcher for demonstrations and tests.
// Prints one line per command received; stdout is flushed after every line
// because it is usually read through a pipe or a log file.

#include "SimFormat.h"
#include "SimOptions.h"
#include "SwitcherSimulator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

namespace {

void PrintLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-switcher-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));

    const SimCommandLine::Result parsed = SimCommandLine::Parse(QCoreApplication::arguments());
    switch (parsed.outcome) {
    case SimCommandLine::Outcome::Help:
        std::fputs(parsed.message.toLocal8Bit().constData(), stdout);
        return 0;
    case SimCommandLine::Outcome::Version:
        PrintLine(stdout,
                  QStringLiteral("vantrel-switcher-sim %1").arg(QStringLiteral(VANTREL_VERSION)));
        return 0;
    case SimCommandLine::Outcome::Error:
        PrintLine(stderr, QStringLiteral("vantrel-switcher-sim: %1").arg(parsed.message));
        return 2;
    case SimCommandLine::Outcome::Run:
        break;
    }

    SwitcherSimulator simulator(parsed.options);
    QObject::connect(&simulator, &SwitcherSimulator::commandReceived,
                     [](SimLink link, const QByteArray &bytes, bool reset) {
                         PrintLine(stdout, SimFormat::CommandLine(QDateTime::currentDateTime(),
                                                                  link, bytes, reset));
                     });
    QObject::connect(&simulator, &SwitcherSimulator::noted, [](SimLink link, const QString &text) {
        PrintLine(stdout, SimFormat::NoteLine(QDateTime::currentDateTime(), link, text));
    });
    const QString error = simulator.Start();
    if (!error.isEmpty()) {
        PrintLine(stderr, QStringLiteral("vantrel-switcher-sim: %1").arg(error));
        return 1;
    }
    return QCoreApplication::exec();
}
