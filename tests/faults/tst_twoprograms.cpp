// The real panel and editor (and a second panel) on one folder, driven
// through their test hook (ui/TestDriver.h): whichever saves last, each
// program's own part of the file survives.
#include "ConfigFixtures.h"

#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <map>

namespace {

// vantrelctl import's CSV: Player's command becomes SW9.
const QByteArray kCsv = "output,input,command\r\nStudio A,Tuner,SW1\\r\r\n"
                        "Studio A,Player,SW9\\r\r\nMonitor,,\r\n";
QByteArray imported(QByteArray file)
{
    return file.replace("command=SW2", "command=SW9");
}

// Every file a step may expect, by name.
QMap<QString, QByteArray> files()
{
    const auto edit = [](QByteArray file, const char *from, const char *to) {
        return file.replace(from, to);
    };
    const QByteArray example = workedExampleFile();
    const QByteArray edited = edit(example, "port=3001", "port=4001");
    // Studio A's inputs now Camera, Tuner and Desk, Desk chosen.
    const QByteArray restructured =
        edit(edit(example, "name=Player", "name=Desk"), "selected=1\r\n\r\n[input]\r\nname=Tuner",
             "selected=2\r\n\r\n[input]\r\nname=Camera\r\ncommand=C\r\n\r\n"
             "[input]\r\nname=Tuner");
    // Studio A's inputs swapped (vantrelctl import may reorder), Player kept.
    const char *tuner = "name=Tuner\r\ncommand=SW1";
    const char *player = "name=Player\r\ncommand=SW2";
    const QByteArray reordered =
        edit(edit(edit(edit(example, tuner, "X"), player, tuner), "X", player), "selected=1",
             "selected=0");
    return {
        {QStringLiteral("chosen"), edit(example, "selected=1", "selected=0")},
        {QStringLiteral("edited"), edited},
        {QStringLiteral("both"), edit(edited, "selected=1", "selected=0")},
        {QStringLiteral("restructured"), restructured},
        {QStringLiteral("restructured, edited"), edit(restructured, "port=3001", "port=4001")},
        {QStringLiteral("imported"), imported(example)},
        {QStringLiteral("edited by F"), edit(example, "port=3001", "port=5001")},
        {QStringLiteral("chosen, imported"), imported(edit(example, "selected=1", "selected=0"))},
        {QStringLiteral("all three"), imported(edit(edited, "selected=1", "selected=0"))},
        {QStringLiteral("restructured, Tuner"), edit(restructured, "selected=2", "selected=1")},
        {QStringLiteral("reordered"), reordered},
        {QStringLiteral("reordered, Tuner"), edit(reordered, "selected=0", "selected=1")},
    };
}

} // namespace

class tst_twoprograms : public QObject
{
    Q_OBJECT
private slots:
    void eachKeepsItsPart_data();
    void eachKeepsItsPart();
};

void tst_twoprograms::eachKeepsItsPart_data()
{
    // Steps, "; " between them: "<program> start|kill|exit <status>",
    // "<program> > <line to send>", "<program> < <text its next line holds>",
    // "file <name>" (the file is now that one), "write <name>" (another
    // program writes that file). P and Q are panels, E and F editors, I is
    // "vantrelctl import -", whose CSV comes with "I csv" ("I waits" until
    // it waits for it).
    QTest::addColumn<QString>("steps");
    const QString both =
        QStringLiteral("P start; P < ready; E start; E < ready; "
                       "P > set cboItem0 0; P < ok; E > set txtPort 4001; E < ok; ");
    const QString editorSaves = QStringLiteral("E > click btnClose; E < ok; E exit 0; ");
    const QString panelCloses = QStringLiteral("P > click btnClose; P < ok; P exit 0; ");
    QTest::newRow("editor saves, then panel closes")
        << both + editorSaves + QStringLiteral("file edited; ") + panelCloses +
               QStringLiteral("file both");
    QTest::newRow("panel closes, then editor saves")
        << both + panelCloses + editorSaves + QStringLiteral("file both");
    QTest::newRow("restructured file keeps its outputs, takes the editor's port")
        << QStringLiteral("E start; E < ready; E > set txtPort 4001; E < ok; write restructured; "
                          "E > click btnClose; E < ok; E exit 0; file restructured, edited");
    QTest::newRow("two editors: the second asks about the port both changed")
        << QStringLiteral("E start; E < ready; F start; F < ready; E > set txtPort 4001; E < ok; "
                          "F > set txtPort 5001; F < ok; ") +
               editorSaves +
               QStringLiteral("F > click btnClose; F < port: yours \"5001\", file's \"4001\"; "
                              "F > 2; F < ok; file edited; F > click btnClose; "
                              "F < [Keep mine/Keep theirs/Back to editing]; F > 0; F < ok; "
                              "F exit 0; file edited by F");
    QTest::newRow("import leaves a command whose input was renamed meanwhile") << QStringLiteral(
        "I start; I waits; write restructured; I csv; I exit 0; file restructured");
    QTest::newRow("import after a late CSV keeps the panel's choice")
        << QStringLiteral("I start; I waits; P start; P < ready; P > set cboItem0 0; P < ok; ") +
               panelCloses + QStringLiteral("file chosen; I csv; I exit 0; file chosen, imported");
    QTest::newRow("restructured file takes the panel's choice by name")
        << QStringLiteral("P start; P < ready; P > set cboItem0 0; P < ok; write restructured; ") +
               panelCloses + QStringLiteral("file restructured, Tuner");
    QTest::newRow("restructured file without the chosen input")
        << QStringLiteral("P start; P < ready; P > set cboItem0 0; P < ok; P > set cboItem0 1; "
                          "P < ok; write restructured; P > click btnClose; "
                          "P < could not be kept: row 1 (Studio A: Player); P > ok; P < ok; "
                          "P exit 0; file restructured");
    QTest::newRow("reordered inputs take the panel's choice by name")
        << QStringLiteral("P start; P < ready; P > set cboItem0 0; P < ok; write reordered; ") +
               panelCloses + QStringLiteral("file reordered, Tuner");
    QTest::newRow("second panel: Cancel ends it, OK opens it, it keeps the first one's choice")
        << QStringLiteral("P start; P < ready; Q start; Q < another panel (process; Q > cancel; "
                          "Q exit 1; Q start; Q < another panel; Q > ok; Q < ready; "
                          "P > set cboItem0 0; P < ok; ") +
               panelCloses +
               QStringLiteral("file chosen; Q > click btnClose; Q < ok; Q exit 0; file chosen");
    // The panel's choice, the editor's port and import's command touch
    // different fields: whatever the order of the three saves, within a few
    // milliseconds of each other ("pause" in microseconds), all three are
    // in the file and nobody has anything to say.
    QStringList ends = {QStringLiteral("P > click btnClose"), QStringLiteral("E > click btnClose"),
                        QStringLiteral("I csv")};
    for (int run = 0; run < 8; ++run) {
        std::shuffle(ends.begin(), ends.end(), *QRandomGenerator::global());
        const auto pause = [] {
            return QStringLiteral("; pause %1; ").arg(QRandomGenerator::global()->bounded(2000));
        };
        QTest::addRow("closing together, run %d", run)
            << both + QStringLiteral("I start; I waits") + pause() + ends.join(pause()) +
                   QStringLiteral("; P < ok; E < ok; P exit 0; E exit 0; I exit 0; file all three");
    }
    QTest::newRow("a crashed panel's lock does not block")
        << QStringLiteral("P start; P < ready; P kill; Q start; Q < ready");
}

void tst_twoprograms::eachKeepsItsPart()
{
    QFETCH(QString, steps);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("vantrel.ini"));
    QVERIFY(dir.isValid() && writeFile(file, workedExampleFile()));
    const QMap<QString, QByteArray> named = files();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VANTREL_TEST_DRIVER"), QStringLiteral("1"));
    std::map<QString, QProcess> programs;

    for (const QString &step : steps.split(QStringLiteral("; "))) {
        const QString who = step.section(QLatin1Char(' '), 0, 0);
        const QString verb = step.section(QLatin1Char(' '), 1, 1);
        const QString rest = step.section(QLatin1Char(' '), 2);
        QProcess &program = programs[who];
        if (who == QLatin1String("pause")) {
            QThread::usleep(verb.toULong());
        } else if (who == QLatin1String("file") || who == QLatin1String("write")) {
            const QString name = step.section(QLatin1Char(' '), 1);
            if (who == QLatin1String("write"))
                QVERIFY(writeFile(file, named[name]));
            QVERIFY2(named.contains(name) && readFile(file) == named[name], qPrintable(step));
        } else if (verb == QLatin1String("start")) {
            program.setProcessEnvironment(environment);
            program.setWorkingDirectory(dir.path());
            program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            if (who == QLatin1String("I"))
                program.start(QStringLiteral(VANTREL_CTL),
                              {QStringLiteral("import"), QStringLiteral("-")});
            else
                program.start(QString::fromUtf8(
                    who == QLatin1String("E") || who == QLatin1String("F") ? VANTREL_EDITOR
                                                                           : VANTREL_PANEL));
            QVERIFY2(program.waitForStarted(30000), qPrintable(step));
        } else if (verb == QLatin1String("waits")) {
            // Blocked reading its standard input (system call 0 on fd 0): it
            // has read the file.
            const QString call = QStringLiteral("/proc/%1/syscall").arg(program.processId());
            QTRY_VERIFY_WITH_TIMEOUT(readFile(call).startsWith("0 0x0 "), 30000);
        } else if (verb == QLatin1String("csv")) {
            program.write(kCsv);
            program.closeWriteChannel();
        } else if (verb == QLatin1String("kill")) {
            program.kill();
            QVERIFY(program.waitForFinished(30000));
        } else if (verb == QLatin1String("exit")) {
            QVERIFY2(program.waitForFinished(60000), qPrintable(step));
            QCOMPARE(program.exitCode(), rest.toInt());
        } else if (verb == QLatin1String(">")) {
            program.write(rest.toUtf8() + '\n');
            program.waitForBytesWritten(30000);
        } else {
            while (!program.canReadLine())
                QVERIFY2(program.waitForReadyRead(60000), qPrintable(step));
            const QString line = QString::fromUtf8(program.readLine().trimmed());
            QVERIFY2(line.contains(rest), qPrintable(step + QStringLiteral(": got ") + line));
        }
    }
    for (auto &[who, program] : programs) {
        program.kill();
        program.waitForFinished(30000);
    }
}

QTEST_GUILESS_MAIN(tst_twoprograms)
#include "tst_twoprograms.moc"
