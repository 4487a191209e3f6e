// The serial link against an in-process pseudo-terminal pair: the port number
// is pointed at the pair's slave side, the test reads the master side.
#include "CommandSender.h"
#include "SerialLineSettings.h"
#include "SerialLink.h"
#include "SerialPortMap.h"
#include "SwitcherLinkFactory.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr int PtyPort = 7;

LinkSettings serial(const QString &port, const QString &settingsText)
{
    LinkSettings s;
    s.fType = QStringLiteral("serial");
    s.fCommPort = port;
    const QStringList parts = settingsText.split(QLatin1Char(','));
    s.fBaudRate = parts.value(0);
    s.fParity = parts.value(1);
    s.fDataBits = parts.value(2);
    s.fStopBits = parts.value(3);
    return s;
}

} // namespace

class tst_seriallink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void deliversExactBytes_data();
    void deliversExactBytes();
    void portTakesTheSettings_data();
    void portTakesTheSettings();
    void failuresAreRetriedThenReported_data();
    void failuresAreRetriedThenReported();
    void stuckAttemptClosesThePortForTheRetry();
    void answersAreDroppedBeforeTheNextSend();

private:
    QByteArray readMaster(qsizetype expected);
    void drainMaster();

    int fMaster = -1;
    int fSlave = -1;
    QByteArray fReceived;
    std::unique_ptr<QSocketNotifier> fNotifier;
};

void tst_seriallink::init()
{
    char name[128] = {};
    QVERIFY(::openpty(&fMaster, &fSlave, name, nullptr, nullptr) == 0);
    ::fcntl(fMaster, F_SETFL, ::fcntl(fMaster, F_GETFL) | O_NONBLOCK);
    SerialPortMap::setOverride(PtyPort, QString::fromLocal8Bit(name));
    // Read the master side as bytes arrive, as a switcher would: a command
    // longer than the terminal's buffer only goes out while it is read.
    fReceived.clear();
    fNotifier = std::make_unique<QSocketNotifier>(fMaster, QSocketNotifier::Read);
    connect(fNotifier.get(), &QSocketNotifier::activated, this, &tst_seriallink::drainMaster);
}

void tst_seriallink::cleanup()
{
    SerialPortMap::clearOverrides();
    fNotifier.reset();
    ::close(fSlave);
    ::close(fMaster);
}

QByteArray tst_seriallink::readMaster(qsizetype expected)
{
    (void)QTest::qWaitFor([&] { return fReceived.size() >= expected; }, 5000);
    return fReceived;
}

void tst_seriallink::drainMaster()
{
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fMaster, buffer, sizeof buffer)) > 0)
        fReceived.append(buffer, n);
}

void tst_seriallink::deliversExactBytes_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("command");
    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.append(char(i));
    QTest::newRow("defaults, every byte") << "9600,n,8,1" << everyByte;
    QTest::newRow("line ends untouched") << "115200,E,7,2" << QByteArray("SW 1\r\nSW 2\n");
    QTest::newRow("longer than one write") << "256000,o,8,1" << QByteArray(20000, 'z');
}

void tst_seriallink::deliversExactBytes()
{
    QFETCH(QString, settings);
    QFETCH(QByteArray, command);
    CommandSender sender([&] { return serial(QString::number(PtyPort), settings); });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QString::fromLatin1(command));
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY2(finished[0][1].toBool(), qPrintable(finished[0][3].toString()));
    QCOMPARE(readMaster(command.size()), command);
}

void tst_seriallink::portTakesTheSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::newRow("defaults") << "9600,n,8,1";
    QTest::newRow("even, 7, 2") << "19200,e,7,2";
    QTest::newRow("odd, 6") << "1200,O,6,1";
    QTest::newRow("mark, 5") << "110,m,5,2";
    QTest::newRow("space, fastest") << "256000,S,8,1";
    QTest::newRow("editor's fastest") << "230400,n,8,1";
}

void tst_seriallink::portTakesTheSettings()
{
    QFETCH(QString, settings);
    SerialLink link(serial(QString::number(PtyPort), settings));
    QSignalSpy finished(&link, &SwitcherLink::finished);
    link.start("ok");
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][1].toString()));
    QVERIFY(link.openedSettings().has_value());
    QCOMPARE(link.openedSettings()->toText(), SerialLineSettings::parse(settings).toText());
    QCOMPARE(readMaster(2), QByteArray("ok"));
}

void tst_seriallink::failuresAreRetriedThenReported_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("description");
    QTest::newRow("missing device") << "9"
                                    << "9600,n,8,1"
                                    << "COM9 (/nonexistent/ttyVantrel): No such file or directory";
    QTest::newRow("refused speed") << QString::number(PtyPort) << "9601,n,8,1"
                                   << "speed \"9601\"";
    QTest::newRow("refused parity") << QString::number(PtyPort) << "9600,q,8,1"
                                    << "parity \"q\"";
    QTest::newRow("port written as COM1") << "COM1"
                                          << "9600,n,8,1"
                                          << "\"COM1\" is not a number";
}

void tst_seriallink::failuresAreRetriedThenReported()
{
    QFETCH(QString, port);
    QFETCH(QString, settings);
    QFETCH(QString, description);
    SerialPortMap::setOverride(9, QStringLiteral("/nonexistent/ttyVantrel"));
    int attempts = 0;
    CommandSender sender([&] { return serial(port, settings); });
    sender.setRetryDelay(1ms);
    sender.setLinkFactory([&](const LinkSettings &s) {
        ++attempts;
        return SwitcherLinkFactory::create(s);
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QStringLiteral("A"));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(attempts, CommandSender::MaxAttempts);
    QCOMPARE(finished[0][1].toBool(), false);
    QVERIFY2(finished[0][3].toString().contains(description),
             qPrintable(finished[0][3].toString()));
}

void tst_seriallink::stuckAttemptClosesThePortForTheRetry()
{
    // Nobody reads at first: the command fills the terminal and the first
    // attempt runs out of time with the port open. The retry can only open
    // the port again if that attempt closed it.
    fNotifier->setEnabled(false);
    const QByteArray command(24 * 1024, 'q');
    int attempts = 0;
    CommandSender sender(
        [&] { return serial(QString::number(PtyPort), QStringLiteral("256000,n,8,1")); });
    sender.setRetryDelay(1ms);
    sender.setLinkFactory([&](const LinkSettings &s) {
        if (++attempts == 2)
            fNotifier->setEnabled(true);
        auto link = SwitcherLinkFactory::create(s);
        link->setTimeout(50ms);
        return link;
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QString::fromLatin1(command));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QVERIFY2(finished[0][1].toBool(), qPrintable(finished[0][3].toString()));
    QCOMPARE(attempts, 2);
    QVERIFY(readMaster(command.size()).endsWith(command));
}

void tst_seriallink::answersAreDroppedBeforeTheNextSend()
{
    // What the switcher sent back waits in the terminal, which outlives the
    // port here as a real line does, until the link drops it.
    QCOMPARE(::write(fMaster, "OK\r\n", 4), ssize_t(4));
    SerialLink link(serial(QString::number(PtyPort), QStringLiteral("9600,n,8,1")));
    QSignalSpy finished(&link, &SwitcherLink::finished);
    link.start("SW 1\r");
    QTRY_COMPARE(finished.size(), 1);
    int waiting = -1;
    QCOMPARE(::ioctl(fSlave, FIONREAD, &waiting), 0);
    QCOMPARE(waiting, 0);
}

QTEST_GUILESS_MAIN(tst_seriallink)
#include "tst_seriallink.moc"
