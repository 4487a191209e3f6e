// The three-way merge of what a program loaded, what it has now and what
// the file holds now, written in a short form: "ip=X|" then outputs split by
// ";", each "Name:" with its inputs split by ",", each "name=command", the
// chosen one marked "*".
#include "VantrelMerge.h"

#include <QTest>

namespace {

std::shared_ptr<clsVantrelConfig> config(const QString &text)
{
    auto config = std::make_shared<clsVantrelConfig>();
    config->Initialize();
    QString rest = text;
    if (rest.startsWith(QLatin1String("ip="))) {
        config->fIPAddress = rest.section(QLatin1Char('|'), 0, 0).mid(3);
        rest = rest.section(QLatin1Char('|'), 1);
    }
    for (const QString &part : rest.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        auto output = std::make_shared<clsVantrelOutput>();
        output->Initialize();
        output->fOutputName = part.section(QLatin1Char(':'), 0, 0);
        const QStringList inputs =
            part.section(QLatin1Char(':'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (QString item : inputs) {
            if (item.endsWith(QLatin1Char('*'))) {
                output->fSelected = qint16(output->fInputs.size());
                item.chop(1);
            }
            clsVantrelInput input;
            input.fInputName = item.section(QLatin1Char('='), 0, 0);
            input.fCommand = item.section(QLatin1Char('='), 1);
            output->fInputs.append(input);
        }
        config->fOutputs.append(output);
    }
    return config;
}

QString text(const clsVantrelConfig &config)
{
    QStringList outputs;
    for (const auto &output : config.fOutputs) {
        QStringList inputs;
        for (qsizetype i = 0; i < output->fInputs.size(); ++i) {
            const clsVantrelInput &input = output->fInputs.at(i);
            inputs << input.fInputName +
                          (input.fCommand.isEmpty() ? QString() : u'=' + input.fCommand) +
                          (i == output->fSelected ? QStringLiteral("*") : QString());
        }
        outputs << output->fOutputName + u':' + inputs.join(u',');
    }
    const QString ip = config.fIPAddress == QLatin1String("127.0.0.0")
                           ? QString()
                           : QStringLiteral("ip=") + config.fIPAddress + QLatin1Char('|');
    return ip + outputs.join(u';');
}

} // namespace

class tst_merge : public QObject
{
    Q_OBJECT
private slots:
    void panelChoices_data();
    void panelChoices();
    void editorEdits_data();
    void editorEdits();
    void importRouting_data();
    void importRouting();
};

void tst_merge::panelChoices_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("theirs");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("notKept"); // "", "gone" or "chosen there"
    QTest::newRow("file unchanged") << "A:T,P*;B:" << 0 << 0 << "A:T,P*;B:"
                                    << "A:T*,P;B:"
                                    << "";
    QTest::newRow("output renamed and moved") << "A:T,P;B:X" << 0 << 1 << "B:X;C:T,P"
                                              << "B:X;C:T,P"
                                              << "gone";
    QTest::newRow("chosen input renamed and moved first") << "A:T,P;B:" << 0 << 1 << "A:D,T;B:"
                                                          << "A:D,T;B:"
                                                          << "gone";
    QTest::newRow("inputs reordered") << "A:T,P*" << 0 << 0 << "A:P*,T"
                                      << "A:P,T*"
                                      << "";
    QTest::newRow("repeated names in order") << "A:T,P;A:T,P" << 1 << 1 << "B:;A:T,P;A:T,P"
                                             << "B:;A:T,P;A:T,P*"
                                             << "";
    QTest::newRow("repeated name lost one") << "A:T,P;A:T,P" << 1 << 1 << "A:T,P"
                                            << "A:T,P"
                                            << "gone";
    QTest::newRow("chosen there meanwhile") << "A:T,P*,Q" << 0 << 0 << "A:T,P,Q*"
                                            << "A:T,P,Q*"
                                            << "chosen there";
    QTest::newRow("loaded choice renamed, carried along") << "A:T,P*" << 0 << 0 << "A:C,T,D*"
                                                          << "A:C,T*,D"
                                                          << "";
}

void tst_merge::panelChoices()
{
    QFETCH(QString, base);
    QFETCH(int, output);
    QFETCH(int, chosen);
    QFETCH(QString, theirs);
    const auto loaded = config(base);
    VantrelMerge::Choice choice = VantrelMerge::ChoiceOf(*loaded, output);
    choice.loaded = choice.chosen;
    choice.chosen = qint16(chosen);
    const auto file = config(theirs);
    const QList<VantrelMerge::NotKept> notKept = VantrelMerge::PutChoices({choice}, *file);
    QTEST(text(*file), "result");
    QTEST(notKept.isEmpty()      ? QString()
          : notKept.first().gone ? QStringLiteral("gone")
                                 : QStringLiteral("chosen there"),
          "notKept");
}

void tst_merge::editorEdits_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("mine");
    QTest::addColumn<QString>("theirs");
    QTest::addColumn<QString>("keepTheirs");
    QTest::addColumn<QString>("keepMine");
    QTest::addColumn<QString>("told"); // conflicts, then what has no place
    QTest::newRow("address changed there only") << "A:T=1"
                                                << "A:T=1"
                                                << "ip=9|A:T=1"
                                                << "ip=9|A:T=1"
                                                << "ip=9|A:T=1"
                                                << "";
    QTest::newRow("address changed by both") << "ip=1|"
                                             << "ip=5|"
                                             << "ip=9|"
                                             << "ip=9|"
                                             << "ip=5|"
                                             << R"(address: yours "5", file's "9")";
    QTest::newRow("both chose the same address") << "ip=1|"
                                                 << "ip=5|"
                                                 << "ip=5|"
                                                 << "ip=5|"
                                                 << "ip=5|"
                                                 << "";
    QTest::newRow("commands changed there, name here") << "A:T=1,P=2"
                                                       << "A:T=1,Q=2"
                                                       << "A:T=8,P=2"
                                                       << "A:T=8,Q=2"
                                                       << "A:T=8,Q=2"
                                                       << "";
    QTest::newRow("command changed by both")
        << "A:T=1"
        << "A:T=5"
        << "A:T=9"
        << "A:T=9"
        << "A:T=5"
        << R"(output 1 "A", input 1 "T", command: yours "5", file's "9")";
    QTest::newRow("output renamed and moved there") << "A:T=1,P=2;B:X"
                                                    << "A:T=1,P=7;B:X"
                                                    << "B:X;C:T=1,P=2"
                                                    << "B:X;C:T=1,P=2"
                                                    << "B:X;C:T=1,P=2"
                                                    << R"(output 1 "A": the file no longer has it)";
    QTest::newRow("renamed input moved there")
        << "A:T=1,P=2"
        << "A:R=1,P=2"
        << "A:P=2,X=1"
        << "A:P=2,X=1"
        << "A:P=2,X=1"
        << R"(output 1 "A", input 1 "R" (was "T"): the file no longer has it)";
    QTest::newRow("repeated inputs in order") << "A:T=1,T=2"
                                              << "A:T=1,T=5"
                                              << "A:X,T=1,T=2"
                                              << "A:X,T=1,T=5"
                                              << "A:X,T=1,T=5"
                                              << "";
}

void tst_merge::editorEdits()
{
    QFETCH(QString, base);
    QFETCH(QString, mine);
    QFETCH(QString, theirs);
    QFETCH(QString, keepTheirs);
    QFETCH(QString, keepMine);
    QFETCH(QString, told);
    const VantrelMerge::Base snapshot = VantrelMerge::Snapshot(*config(base));
    for (const bool mineWins : {false, true}) {
        const auto file = config(theirs);
        const VantrelMerge::Edits edits =
            VantrelMerge::PutEdits(snapshot, snapshot.settings, *config(mine), mineWins, *file);
        QCOMPARE((edits.conflicts + edits.notPlaced).join(u" / "), told);
        QCOMPARE(text(*file), mineWins ? keepMine : keepTheirs);
    }
}

void tst_merge::importRouting_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("theirs");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("imported");
    QTest::addColumn<int>("notKept");
    QTest::newRow("late CSV keeps the panel's choice") << "A:T=1,P=2"
                                                       << "A:T=1,P=9"
                                                       << "ip=9|A:T=1*,P=2"
                                                       << "ip=9|A:T=1*,P=9" << true << 0;
    QTest::newRow("commands changed there") << "A:T=1,P=2"
                                            << "A:T=1,P=9,Q=3"
                                            << "A:T=7,P=8"
                                            << "A:T=7,P=8,Q=3" << true << 1;
    QTest::newRow("restructured there, the CSV changes commands") << "A:T=1,P=2"
                                                                  << "A:T=1,P=9"
                                                                  << "B:;A:P=2*,T=1"
                                                                  << "B:;A:P=9*,T=1" << true << 0;
    QTest::newRow("restructured on both sides") << "A:T=1"
                                                << "A:T=1,P=2"
                                                << "B:T=1"
                                                << "B:T=1" << false << 1;
    QTest::newRow("the CSV changes nothing") << "A:T=1"
                                             << "A:T=1"
                                             << "A:T=1*,P"
                                             << "A:T=1*,P" << false << 0;
}

void tst_merge::importRouting()
{
    QFETCH(QString, base);
    QFETCH(QString, csv);
    QFETCH(QString, theirs);
    const auto file = config(theirs);
    const VantrelMerge::Import outcome =
        VantrelMerge::PutRouting(*config(base), config(csv)->fOutputs, *file);
    QTEST(text(*file), "result");
    QTEST(outcome.imported, "imported");
    QTEST(int(outcome.notKept.size()), "notKept");
}

QTEST_GUILESS_MAIN(tst_merge)
#include "tst_merge.moc"
