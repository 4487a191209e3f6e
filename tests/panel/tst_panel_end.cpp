// The real panel, started as a process and asked to end by the system: it
// must save and end as Close does.
#include "ConfigFixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

// Whether the process has its handler for the signal in place yet: until
// then the signal would end it the default way, before the panel has loaded.
bool catches(qint64 pid, int signal)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("SigCgt:");
    if (at < 0)
        return false;
    const QByteArray mask = status.mid(at + 7, status.indexOf('\n', at) - at - 7).trimmed();
    return (mask.toULongLong(nullptr, 16) >> (signal - 1)) & 1;
}

} // namespace

class tst_panel_end : public QObject
{
    Q_OBJECT

private slots:
    void signalEndsLikeClose_data();
    void signalEndsLikeClose();
};

void tst_panel_end::signalEndsLikeClose_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false << 0;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false << 0;
    QTest::newRow("SIGINT") << int(SIGINT) << false << 0;
    // The failed save's message opens as after Close; the next signal
    // answers it and the panel ends.
    QTest::newRow("save fails, message open") << int(SIGTERM) << true << 1;
}

void tst_panel_end::signalEndsLikeClose()
{
    QFETCH(int, signal);
    QFETCH(bool, saveFails);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("vantrel.ini"));
    // Read with bare line feeds, written with CR LF: the new bytes show the save.
    QVERIFY(writeFile(file, QByteArray(workedExampleFile()).replace("\r\n", "\n")));

    QProcess panel;
    panel.setWorkingDirectory(dir.path());
    panel.setProcessChannelMode(QProcess::ForwardedChannels);
    panel.start(QStringLiteral(VANTREL_PANEL), {});
    QVERIFY(panel.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(catches(panel.processId(), signal), 20000);
    if (saveFails) {
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("vantrel.ini")));
    }
    for (int tries = 0; tries < 100 && !panel.waitForFinished(200); ++tries)
        ::kill(pid_t(panel.processId()), signal);

    QCOMPARE(panel.state(), QProcess::NotRunning);
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), exitCode);
    if (!saveFails)
        QCOMPARE(readFile(file), workedExampleFile());
}

QTEST_GUILESS_MAIN(tst_panel_end)
#include "tst_panel_end.moc"
