// The panel's take log: each way a take reaches the window logs one take
// with its source, and a run logs its start, save and end around them.
#include "CommandSender.h"
#include "PanelFixture.h"
#include "PanelTakeLog.h"
#include "TakeLogFixture.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QUdpSocket>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class tst_panel_takelog : public QObject
{
    Q_OBJECT
private slots:
    void eachWayLogsOneTake_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("client");
        QTest::newRow("mouse") << u"mouse"_s << u"mouse"_s << QString();
        QTest::newRow("key") << u"key"_s << u"key"_s << QString();
        QTest::newRow("take all") << u"take all"_s << u"take-all"_s << QString();
        QTest::newRow("remote") << u"remote"_s << u"http"_s << u"127.0.0.1:40000"_s;
    }
    void eachWayLogsOneTake()
    {
        QFETCH(QString, way);
        QFETCH(QString, source);
        QFETCH(QString, client);
        StateFolder state;
        PanelFixture fixture;
        QUdpSocket switcher;
        QVERIFY(switcher.bind(QHostAddress::LocalHost));
        auto window = fixture.load(
            "[vantrel]\r\ntype=network\r\nprotocol=udp\r\nipaddress=127.0.0.1\r\nport=" +
            QByteArray::number(switcher.localPort()) +
            "\r\n[output]\r\nname=Proj\r\nselected=0\r\n[input]\r\nname=Cam 1\r\ncommand=C1\r\n"
            "[input]\r\nname=Cam 2\r\ncommand=SW 2\\r\\n\r\n");
        QVERIFY(window);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window->cboItem[0], Qt::Key_Down); // Cam 2, pending
        if (way == "mouse"_L1)
            QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
        else if (way == "key"_L1)
            QTest::keyClick(window->cboItem[0], Qt::Key_F1);
        else if (way == "take all"_L1)
            window->btnTakeAll->click();
        else
            window->pressRow(0, {TakeOrigin::Source::Http, client});
        QVERIFY(QTest::qWaitFor([&] { return !window->fSender->isBusy(); }));
        window->btnClose_Click();
        QVERIFY(window->fTakeLog->log().flush(5s));

        const QList<QJsonObject> events = state.events();
        QStringList kinds;
        for (const QJsonObject &event : events)
            kinds << event.value("event"_L1).toString();
        QCOMPARE(kinds, QStringList({u"start"_s, u"take"_s, u"save"_s, u"end"_s}));
        QCOMPARE(events[0].value("config"_L1).toString(), fixture.path());
        const QJsonObject &take = events[1];
        QCOMPARE(take.value("source"_L1).toString(), source);
        QCOMPARE(take.value("client"_L1).toString(), client);
        QCOMPARE(take.value("row"_L1).toInt(), 1);
        QCOMPARE(take.value("output"_L1).toString(), u"Proj"_s);
        QCOMPARE(take.value("input"_L1).toString(), u"Cam 2"_s);
        QCOMPARE(take.value("command"_L1).toString(), u"SW 2\\r\\n"_s);
        QCOMPARE(take.value("outcome"_L1).toString(), u"sent"_s);
        QCOMPARE(events[2].value("outcome"_L1).toString(), u"saved"_s);
        QCOMPARE(events[3].value("how"_L1).toString(), u"close"_s);
    }
};

QTEST_MAIN(tst_panel_takelog)
#include "tst_panel_takelog.moc"
