// The real panel and editor (and a second panel) on one folder, driven
// through their test hook (ui/TestDriver.h): whichever saves last, each
// program's own part of the file survives.
#include "ConfigFixtures.h"

#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <map>

namespace {

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
    // program writes that file). P and Q are panels, E is the editor.
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
    QTest::newRow("restructured file makes the editor ask")
        << QStringLiteral("E start; E < ready; E > set txtPort 4001; E < ok; write restructured; "
                          "E > click btnClose; E < its outputs or inputs are no longer the ones; "
                          "E > cancel; E < ok; file restructured; E > click btnClose; "
                          "E < its outputs or inputs; E > ok; E < ok; E exit 0; file edited");
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
        if (who == QLatin1String("file") || who == QLatin1String("write")) {
            const QString name = step.section(QLatin1Char(' '), 1);
            if (who == QLatin1String("write"))
                QVERIFY(writeFile(file, named[name]));
            QVERIFY2(named.contains(name) && readFile(file) == named[name], qPrintable(step));
        } else if (verb == QLatin1String("start")) {
            program.setProcessEnvironment(environment);
            program.setWorkingDirectory(dir.path());
            program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            program.start(
                QString::fromUtf8(who == QLatin1String("E") ? VANTREL_EDITOR : VANTREL_PANEL));
            QVERIFY2(program.waitForStarted(30000), qPrintable(step));
        } else if (verb == QLatin1String("kill")) {
            program.kill();
            QVERIFY(program.waitForFinished(30000));
        } else if (verb == QLatin1String("exit")) {
            QVERIFY2(program.waitForFinished(60000), qPrintable(step));
            QCOMPARE(program.exitCode(), rest.toInt());
        } else if (verb == QLatin1String(">")) {
            program.write(rest.toUtf8() + '\n');
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
