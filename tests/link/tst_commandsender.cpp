// The command sender's queue and retry rule, driven through its link seam.
#include "CommandSender.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// A link whose outcome the test decides; it records what it was given.
class FakeLink : public SwitcherLink
{
public:
    struct Log
    {
        QList<QByteArray> started;
        QList<LinkSettings> settings;
        int released = 0;
    };

    FakeLink(Log &log, bool ok, bool hang)
        : SwitcherLink(LinkSettings{}), fLog(log), fOk(ok), fHang(hang)
    {}

    void start(const QByteArray &bytes) override
    {
        fLog.started.append(bytes);
        if (!fHang)
            finish(fOk,
                   fOk ? QString() : QStringLiteral("attempt %1 failed").arg(fLog.started.size()));
        else
            armWatchdog(timeout());
    }

protected:
    void release() override { ++fLog.released; }
    QString timeoutReason() const override { return QStringLiteral("no answer"); }

private:
    Log &fLog;
    bool fOk;
    bool fHang;
};

LinkSettings serialSettings()
{
    LinkSettings s;
    s.fType = QStringLiteral("Serial");
    return s;
}

} // namespace

class tst_commandsender : public QObject
{
    Q_OBJECT
private slots:
    void successIsOneAttempt();
    void fourAttemptsThenFailure();
    void nextPressStartsFromZero();
    void retryPausesLastTheDelay();
    void settingsReadForEveryAttempt();
    void unknownLinkTypeFailsAtOnce();
    void hangingAttemptEndsByWatchdog();
    void pressesWaitTheirTurn();
    void nextPressWaitsForTheReport();
    void widerThanOneByteIsRefused();
    void cancelAllDropsEveryPress();
};

void tst_commandsender::successIsOneAttempt()
{
    FakeLink::Log log;
    CommandSender sender([] { return serialSettings(); });
    sender.setLinkFactory(
        [&](const LinkSettings &) { return std::make_unique<FakeLink>(log, true, false); });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);

    sender.send(5, QStringLiteral("SW\xe9\r\n"));
    QVERIFY(sender.isBusy());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toInt(), 5);
    QCOMPARE(finished[0][1].toBool(), true);
    QCOMPARE(finished[0][2].toString(), QStringLiteral("SW\xe9\r\n"));
    QCOMPARE(log.started, QList<QByteArray>{QByteArray("SW\xe9\r\n")});
    QVERIFY(!sender.isBusy());
}

void tst_commandsender::fourAttemptsThenFailure()
{
    FakeLink::Log log;
    CommandSender sender([] { return serialSettings(); });
    sender.setRetryDelay(1ms);
    sender.setLinkFactory(
        [&](const LinkSettings &) { return std::make_unique<FakeLink>(log, false, false); });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);

    sender.send(0, QStringLiteral("A"));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(log.started.size(), CommandSender::MaxAttempts);
    QCOMPARE(log.released, CommandSender::MaxAttempts);
    QCOMPARE(finished[0][1].toBool(), false);
    QCOMPARE(finished[0][3].toString(), QStringLiteral("attempt 4 failed"));
}

void tst_commandsender::nextPressStartsFromZero()
{
    // The first press fails throughout; the second succeeds at its third try,
    // which it only reaches with a fresh counter.
    FakeLink::Log log;
    int made = 0;
    CommandSender sender([] { return serialSettings(); });
    sender.setRetryDelay(1ms);
    sender.setLinkFactory([&](const LinkSettings &) {
        ++made;
        return std::make_unique<FakeLink>(log, made == 4 + 3, false);
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);

    sender.send(0, QStringLiteral("A"));
    QTRY_COMPARE(finished.size(), 1);
    sender.send(0, QStringLiteral("B"));
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(finished[0][1].toBool(), false);
    QCOMPARE(finished[1][1].toBool(), true);
    QCOMPARE(made, 7);
}

void tst_commandsender::retryPausesLastTheDelay()
{
    // Attempts fail at once, so the time between two is the pause.
    FakeLink::Log log;
    QElapsedTimer clock;
    QList<qint64> startedAt;
    CommandSender sender([] { return serialSettings(); });
    sender.setLinkFactory([&](const LinkSettings &) {
        startedAt.append(clock.nsecsElapsed());
        return std::make_unique<FakeLink>(log, false, false);
    });
    clock.start();
    sender.send(0, QStringLiteral("A"));
    QTRY_COMPARE(startedAt.size(), CommandSender::MaxAttempts);
    for (int i = 1; i < startedAt.size(); ++i)
        QVERIFY(startedAt[i] - startedAt[i - 1] >= 200'000'000);
}

void tst_commandsender::settingsReadForEveryAttempt()
{
    FakeLink::Log log;
    int reads = 0;
    QStringList ports;
    CommandSender sender([&] {
        LinkSettings s = serialSettings();
        s.fCommPort = QString::number(++reads);
        return s;
    });
    sender.setRetryDelay(1ms);
    sender.setLinkFactory([&](const LinkSettings &s) {
        ports.append(s.fCommPort);
        return std::make_unique<FakeLink>(log, false, false);
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QString());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(ports, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                 QStringLiteral("4")}));
}

void tst_commandsender::unknownLinkTypeFailsAtOnce()
{
    int made = 0;
    FakeLink::Log log;
    CommandSender sender([] {
        LinkSettings s;
        s.fType = QStringLiteral("modem");
        return s;
    });
    sender.setLinkFactory([&](const LinkSettings &) {
        ++made;
        return std::make_unique<FakeLink>(log, true, false);
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(2, QStringLiteral("X"));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(made, 0);
    QCOMPARE(finished[0][1].toBool(), false);
    QVERIFY(finished[0][3].toString().contains(QStringLiteral("\"modem\"")));
}

void tst_commandsender::hangingAttemptEndsByWatchdog()
{
    FakeLink::Log log;
    CommandSender sender([] { return serialSettings(); });
    sender.setRetryDelay(1ms);
    sender.setLinkFactory([&](const LinkSettings &) {
        auto link = std::make_unique<FakeLink>(log, true, true);
        link->setTimeout(20ms);
        return link;
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QStringLiteral("A"));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(log.started.size(), CommandSender::MaxAttempts);
    QCOMPARE(finished[0][3].toString(), QStringLiteral("no answer"));
}

void tst_commandsender::pressesWaitTheirTurn()
{
    // Each press fails twice before it succeeds; were presses interleaved,
    // the links would see the commands mixed.
    FakeLink::Log log;
    int made = 0;
    CommandSender sender([] { return serialSettings(); });
    sender.setRetryDelay(1ms);
    sender.setLinkFactory([&](const LinkSettings &) {
        ++made;
        return std::make_unique<FakeLink>(log, made % 3 == 0, false);
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QStringLiteral("A"));
    sender.send(1, QStringLiteral("B"));
    sender.send(2, QStringLiteral("C"));
    QTRY_COMPARE(finished.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(finished[i][0].toInt(), i);
        QCOMPARE(finished[i][1].toBool(), true);
    }
    QCOMPARE(log.started, (QList<QByteArray>{"A", "A", "A", "B", "B", "B", "C", "C", "C"}));
}

void tst_commandsender::nextPressWaitsForTheReport()
{
    // The window reports a press inside its slot, with a modal box that runs
    // an event loop of its own; the next press must not begin meanwhile.
    FakeLink::Log log;
    CommandSender sender([] { return serialSettings(); });
    sender.setLinkFactory(
        [&](const LinkSettings &) { return std::make_unique<FakeLink>(log, true, false); });
    int reports = 0;
    int startedDuringReport = -1;
    connect(&sender, &CommandSender::sendFinished, this, [&](int row) {
        ++reports;
        if (row != 0)
            return;
        sender.send(1, QStringLiteral("B"));
        QEventLoop modal;
        QTimer::singleShot(50ms, &modal, &QEventLoop::quit);
        modal.exec();
        startedDuringReport = int(log.started.size());
    });
    sender.send(0, QStringLiteral("A"));
    QTRY_COMPARE(reports, 2);
    QCOMPARE(startedDuringReport, 1);
    QCOMPARE(log.started, (QList<QByteArray>{"A", "B"}));
}

void tst_commandsender::widerThanOneByteIsRefused()
{
    int made = 0;
    FakeLink::Log log;
    CommandSender sender([] { return serialSettings(); });
    sender.setLinkFactory([&](const LinkSettings &) {
        ++made;
        return std::make_unique<FakeLink>(log, true, false);
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QStringLiteral("A") + QChar(0x20ac));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(made, 0);
    QCOMPARE(finished[0][1].toBool(), false);
    QVERIFY(finished[0][3].toString().contains(QStringLiteral("U+20AC")));
}

void tst_commandsender::cancelAllDropsEveryPress()
{
    // The first link hangs; once cancelled, the sender takes new presses.
    FakeLink::Log log;
    CommandSender sender([] { return serialSettings(); });
    sender.setLinkFactory([&](const LinkSettings &) {
        return std::make_unique<FakeLink>(log, true, log.started.isEmpty());
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QStringLiteral("A"));
    sender.send(1, QStringLiteral("B"));
    QCOMPARE(log.started, QList<QByteArray>{"A"});

    sender.cancelAll();
    QCOMPARE(log.released, 1);
    QVERIFY(!sender.isBusy());
    QTest::qWait(20);
    QCOMPARE(finished.size(), 0);
    QCOMPARE(log.started, QList<QByteArray>{"A"});

    sender.send(2, QStringLiteral("C"));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toInt(), 2);
    QCOMPARE(log.started, (QList<QByteArray>{"A", "C"}));

    // Cancelled from inside a report, the waiting press does not start.
    connect(&sender, &CommandSender::sendFinished, this, [&] { sender.cancelAll(); });
    sender.send(3, QStringLiteral("D"));
    sender.send(4, QStringLiteral("E"));
    QTRY_COMPARE(finished.size(), 2);
    QTest::qWait(20);
    QCOMPARE(finished.size(), 2);
    QCOMPARE(log.started, (QList<QByteArray>{"A", "C", "D"}));
    QVERIFY(!sender.isBusy());
}

QTEST_GUILESS_MAIN(tst_commandsender)
#include "tst_commandsender.moc"
