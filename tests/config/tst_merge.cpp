// The three-way merge of what a program loaded, what it has now and what
// the file holds now, written in a short form: "ip=X|" then outputs split by
// ";", each "Name:" with its inputs split by ",", each "name=command", the
// chosen one marked "*".
#include "VantrelMerge.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

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
    void merges_data();
    void merges();
};

void tst_merge::merges_data()
{
    // "program / base / mine / theirs / result / told": mine is the panel's
    // "output.input" chosen, the CSV for import; the editor's result is
    // "with keep theirs ~ with keep mine"; told are the editor's conflicts
    // and what has no place, the panel's "gone" or "chosen there", import's
    // "imported" or "left" and how many it could not keep.
    QTest::addColumn<QString>("row");
    const auto row = [](const char *name, const char *text) {
        QTest::newRow(name) << QString::fromUtf8(text);
    };
    row("panel, file unchanged", "panel / A:T,P*;B: / 0.0 / A:T,P*;B: / A:T*,P;B: / ");
    row("panel, output renamed and moved",
        "panel / A:T,P;B:X / 0.1 / B:X;C:T,P / B:X;C:T,P / gone");
    row("panel, chosen input renamed and moved first",
        "panel / A:T,P;B: / 0.1 / A:D,T;B: / A:D,T;B: / gone");
    row("panel, inputs reordered", "panel / A:T,P* / 0.0 / A:P*,T / A:P,T* / ");
    row("panel, repeated names in order",
        "panel / A:T,P;A:T,P / 1.1 / B:;A:T,P;A:T,P / B:;A:T,P;A:T,P* / ");
    row("panel, one of a repeated name gone", "panel / A:T,P;A:T,P / 1.1 / A:T,P / A:T,P / gone");
    row("panel, chosen there meanwhile",
        "panel / A:T,P*,Q / 0.0 / A:T,P,Q* / A:T,P,Q* / chosen there");
    row("panel, loaded choice renamed and carried along",
        "panel / A:T,P* / 0.0 / A:C,T,D* / A:C,T*,D / ");
    row("editor, address changed there only",
        "editor / A:T=1 / A:T=1 / ip=9|A:T=1* / ip=9|A:T=1* ~ ip=9|A:T=1* / ");
    row("editor, address changed by both",
        R"(editor / ip=1| / ip=5| / ip=9| / ip=9| ~ ip=5| / address: yours "5", file's "9")");
    row("editor, the same address on both sides",
        "editor / ip=1| / ip=5| / ip=5| / ip=5| ~ ip=5| / ");
    row("editor, a name here, a choice there",
        "editor / A:T=1,P=2 / A:T=1,Q=2 / A:T=1,P=2* / A:T=1,Q=2* ~ A:T=1,Q=2* / ");
    row("editor, nothing edited here, outputs moved there",
        "editor / A:T=1;B:X / A:T=1;B:X / B:X*;A:T=2 / B:X*;A:T=2 ~ B:X*;A:T=2 / ");
    row("editor, commands changed there, a name here",
        "editor / A:T=1,P=2 / A:T=1,Q=2 / A:T=8,P=2 / A:T=8,Q=2 ~ A:T=8,Q=2 / ");
    row("editor, command changed by both",
        R"(editor / A:T=1 / A:T=5 / A:T=9 / A:T=9 ~ A:T=5 / output 1 "A", input 1 "T", command: yours "5", file's "9")");
    row("editor, output renamed and moved there",
        R"(editor / A:T=1,P=2;B:X / A:T=1,P=7;B:X / B:X;C:T=1,P=2 / B:X;C:T=1,P=2 ~ B:X;C:T=1,P=2 / output 1 "A": the file no longer has it)");
    row("editor, renamed input moved there",
        R"(editor / A:T=1,P=2 / A:R=1,P=2 / A:P=2,X=1 / A:P=2,X=1 ~ A:P=2,X=1 / output 1 "A", input 1 "R" (was "T"): the file no longer has it)");
    row("editor, repeated inputs in order",
        "editor / A:T=1,T=2 / A:T=1,T=5 / A:X,T=1,T=2 / A:X,T=1,T=5 ~ A:X,T=1,T=5 / ");
    row("import, a late CSV keeps the panel's choice",
        "import / A:T=1,P=2 / A:T=1,P=9 / ip=9|A:T=1*,P=2 / ip=9|A:T=1*,P=9 / imported 0");
    row("import, commands changed there",
        "import / A:T=1,P=2 / A:T=1,P=9,Q=3 / A:T=7,P=8 / A:T=7,P=8,Q=3 / imported 1");
    row("import, restructured there, the CSV changes commands",
        "import / A:T=1,P=2 / A:T=1,P=9 / B:;A:P=2*,T=1 / B:;A:P=9*,T=1 / imported 0");
    row("import, restructured on both sides",
        "import / A:T=1 / A:T=1,P=2 / B:T=1 / B:T=1 / left 1");
    row("import, the CSV changes nothing", "import / A:T=1 / A:T=1 / A:T=1*,P / A:T=1*,P / left 0");
}

void tst_merge::merges()
{
    QFETCH(QString, row);
    const QStringList part = row.split(QStringLiteral(" / "));
    const auto loaded = config(part[1]);
    const auto file = config(part[3]);
    if (part[0] == u"panel") {
        VantrelMerge::Choice choice =
            VantrelMerge::ChoiceOf(*loaded, part[2].section(u'.', 0, 0).toInt());
        choice.loaded = choice.chosen;
        choice.chosen = qint16(part[2].section(u'.', 1).toInt());
        const QList<VantrelMerge::NotKept> notKept = VantrelMerge::PutChoices({choice}, *file);
        QCOMPARE(text(*file), part[4]);
        QCOMPARE(notKept.isEmpty()      ? QString()
                 : notKept.first().gone ? QStringLiteral("gone")
                                        : QStringLiteral("chosen there"),
                 part[5]);
    } else if (part[0] == u"editor") {
        const VantrelMerge::Base base = VantrelMerge::Snapshot(*loaded);
        for (const bool keepMine : {false, true}) {
            const auto theirs = config(part[3]);
            const VantrelMerge::Edits edits =
                VantrelMerge::PutEdits(base, base.settings, *config(part[2]), keepMine, *theirs);
            QCOMPARE((edits.conflicts + edits.notPlaced).join(u" / "), part.mid(5).join(u" / "));
            QCOMPARE(text(*theirs), part[4].split(QStringLiteral(" ~ ")).at(keepMine ? 1 : 0));

            // The same merge with the file read as it passes by.
            const QTemporaryDir dir;
            const QString path = dir.filePath(VantrelFile::kFileName);
            VantrelFile::Save(*config(part[3]), path);
            VantrelMerge::Edits streamed;
            const bool recovered = VantrelMerge::SaveEdits(
                // Another size, or the same size and other bytes, found
                // beside the writing.
                config(part[2]), {keepMine ? QFileInfo(path).size() : 0, 0}, base.settings,
                // Unset where the editor edited no output, as it does then.
                text(*loaded).section(u'|', -1) == text(*config(part[2])).section(u'|', -1)
                    ? std::function<const VantrelMerge::Base &()>()
                    : [&]() -> const VantrelMerge::Base & { return base; },
                base.settings, keepMine,
                [&](const VantrelFile::LoadResult &, const VantrelMerge::Edits &found) {
                    streamed = found;
                    return true;
                },
                path);
            QVERIFY(!recovered);
            QCOMPARE(streamed.conflicts + streamed.notPlaced, edits.conflicts + edits.notPlaced);
            QCOMPARE(text(*VantrelFile::Load(path).config), text(*theirs));
        }
    } else {
        const VantrelMerge::Import outcome = VantrelMerge::PutRouting(
            VantrelMerge::Snapshot(*loaded), config(part[2])->fOutputs, *file);
        QCOMPARE(text(*file), part[4]);
        QCOMPARE(QStringLiteral("%1 %2")
                     .arg(outcome.imported ? u"imported"_s : u"left"_s)
                     .arg(outcome.notKept.size()),
                 part[5]);
    }
}

QTEST_GUILESS_MAIN(tst_merge)
#include "tst_merge.moc"
