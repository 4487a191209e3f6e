#include "CommandSender.h"
#include "PanelFixture.h"
#include "PanelRemote.h"

#include <QApplication>
#include <QComboBox>
#include <QHostAddress>
#include <QJsonDocument>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

namespace {

using namespace std::chrono_literals;

QByteArray networkFile(const QByteArray &protocol, quint16 port,
                       QByteArray file = workedExampleFile())
{
    return file.replace("type=serial", "type=network")
        .replace("protocol=tcp", "protocol=" + protocol)
        .replace("ipaddress=127.0.0.0", "ipaddress=127.0.0.1")
        .replace("port=3001", "port=" + QByteArray::number(port));
}

// Collects what each connection carried, in the order the connections closed.
class LoopbackServer : public QObject
{
public:
    LoopbackServer()
    {
        fServer.listen(QHostAddress::LocalHost);
        connect(&fServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = fServer.nextPendingConnection()) {
                ++accepted;
                auto *bytes = new QByteArray;
                connect(socket, &QTcpSocket::readyRead, this,
                        [socket, bytes] { bytes->append(socket->readAll()); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket, bytes] {
                    bytes->append(socket->readAll());
                    received.append(*bytes);
                    delete bytes;
                    socket->deleteLater();
                });
            }
        });
    }
    quint16 port() const { return fServer.serverPort(); }

    int accepted = 0;
    QList<QByteArray> received;

private:
    QTcpServer fServer;
};

// A link that ends only when the test says so, to hold a press under way.
class HeldLink : public SwitcherLink
{
public:
    explicit HeldLink(QList<HeldLink *> &held) : SwitcherLink(LinkSettings{}) { held.append(this); }
    void start(const QByteArray &bytes) override { started = bytes; }
    void end(bool ok) { finish(ok, QStringLiteral("held link failed")); }
    QByteArray started;

protected:
    void release() override {}
    QString timeoutReason() const override { return QString(); }
};

// A loopback port with nobody listening: connections to it are refused.
quint16 refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class tst_panel_send : public QObject
{
    Q_OBJECT

private slots:
    void tcpSendsDecodedChoice();
    void udpSendsOneDatagram();
    void noSelectionSendsNothingButSucceeds();
    void failedPressShowsMessageAndRedLamp_data();
    void failedPressShowsMessageAndRedLamp();
    void failureMessageShowsCommandLiterally(); // a real box: before any panel ends
    void takeFromElsewhereFailsWithoutBox();
    void pressesOnTwoRowsArriveInOrder();
    void closeDuringSendSavesAndEnds();
    void closeWhileSendMessageIsOpen();
    void choiceChangedDuringPressStaysPending_data();
    void choiceChangedDuringPressStaysPending();
};

void tst_panel_send::tcpSendsDecodedChoice()
{
    LoopbackServer server;
    PanelFixture fixture;
    // Saved with a dead port; the settings are read at the press, so the
    // port set afterwards is the one used.
    auto window = fixture.load(networkFile("TCP", refusedPort()));
    QVERIFY(window);
    window->fConfig->fPort = QString::number(server.port());

    QTest::keyClick(window->cboItem[0], Qt::Key_Up); // "Tuner", SW1\r
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("red"));
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);

    QTRY_COMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("green"));
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("grey"));
    QCOMPARE(window->fSentIndex[0], 0);
    QCOMPARE(window->fFlashRow, 0);
    QVERIFY(window->tmrFlash->isActive());
    QVERIFY(fixture.messages.isEmpty());
    QTRY_COMPARE(server.received, QList<QByteArray>{QByteArrayLiteral("SW1\r")});

    // The flash ends at the next tick.
    window->tmrFlash_Timer();
    QCOMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("grey"));
}

void tst_panel_send::udpSendsOneDatagram()
{
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
    PanelFixture fixture;
    auto window = fixture.load(networkFile("udp", receiver.localPort()));
    QVERIFY(window);

    QTest::mouseClick(window->btnItem[0], Qt::LeftButton); // "Player", SW2\r
    QTRY_VERIFY(receiver.hasPendingDatagrams());
    QByteArray datagram(static_cast<int>(receiver.pendingDatagramSize()), '\0');
    receiver.readDatagram(datagram.data(), datagram.size());
    QCOMPARE(datagram, QByteArrayLiteral("SW2\r"));
    QTRY_COMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("green"));
    QCOMPARE(window->fSentIndex[0], 1);
}

void tst_panel_send::noSelectionSendsNothingButSucceeds()
{
    LoopbackServer server;
    PanelFixture fixture;
    auto window = fixture.load(networkFile("tcp", server.port()));
    QVERIFY(window);

    QTest::mouseClick(window->btnItem[1], Qt::LeftButton); // "Monitor": no inputs, -1
    QTRY_COMPARE(lampColour(*window, window->imgSend[1]), QStringLiteral("green"));
    QCOMPARE(window->fSentIndex[1], -1);
    QCOMPARE(window->fFlashRow, 1);
    QTRY_COMPARE(server.received, QList<QByteArray>{QByteArray()});
}

void tst_panel_send::failedPressShowsMessageAndRedLamp_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("detail");
    QTest::newRow("refused port") << networkFile("tcp", refusedPort()) << QString();
    QByteArray unknownType = workedExampleFile();
    unknownType.replace("type=serial", "type=modem");
    QTest::newRow("unknown link type") << unknownType << QStringLiteral("modem");
}

void tst_panel_send::failedPressShowsMessageAndRedLamp()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, detail);
    PanelFixture fixture;
    auto window = fixture.load(file);
    QVERIFY(window);
    window->fSender->setRetryDelay(5ms);

    QTest::keyClick(window->cboItem[0], Qt::Key_Up); // "Tuner", pending red
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QTRY_COMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("red"));

    QCOMPARE(fixture.messages.size(), 1);
    const QString prefix = QStringLiteral("Error sending command SW1\r\r\n");
    QVERIFY2(fixture.messages[0].startsWith(prefix), qPrintable(fixture.messages[0]));
    QVERIFY(fixture.messages[0].size() > prefix.size());
    QVERIFY2(fixture.messages[0].contains(detail), qPrintable(fixture.messages[0]));
    // The pending lamp keeps its red; the failed input still becomes the one
    // "<<" returns to.
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("red"));
    QCOMPARE(window->fSentIndex[0], 0);
    QCOMPARE(window->fFlashRow, 0);
    QVERIFY(window->tmrFlash->isActive());

    QTest::mouseClick(window->btnBack[0], Qt::LeftButton);
    QCOMPARE(window->cboItem[0]->currentIndex(), 0);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("grey"));

    // The next press starts afresh and ends the same way.
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QTRY_COMPARE(fixture.messages.size(), 2);
    QCOMPARE(fixture.messages[1], fixture.messages[0]);
    QVERIFY(!window->fSender->isBusy());
}

void tst_panel_send::failureMessageShowsCommandLiterally()
{
    // Markup shown as written; 4 MB cut before the box has to lay it out.
    const QString command = QStringLiteral("<b>SW1</b> &amp; 2") + QString(4'000'000, u'x');
    PanelFixture fixture;
    auto window =
        fixture.load(QByteArray(workedExampleFile()).replace("type=serial", "type=modem"));
    QVERIFY(window);
    window->fConfig->fOutputs.at(0)->fInputs[1].fCommand = command;
    VantrelMessageBox::clearHandler();
    QString text;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->textFormat() == Qt::PlainText ? box->text() : QStringLiteral("rich text");
            box->done(QMessageBox::Cancel);
        }
    });
    poll.start(10);
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QTRY_COMPARE(text, QStringLiteral("Error sending command ") + command.left(1000) +
                           QStringLiteral(" ... (3999018 more characters)") +
                           QStringLiteral("\r\nUnknown link type \"modem\": expected \"serial\" or "
                                          "\"network\""));
}

void tst_panel_send::pressesOnTwoRowsArriveInOrder()
{
    const QByteArray file =
        workedExampleFile() + "\r\n[input]\r\nname=Desk\r\ncommand=MON\\t7\\\\\r\n";
    LoopbackServer server;
    PanelFixture fixture;
    auto window = fixture.load(networkFile("tcp", server.port(), file));
    QVERIFY(window);
    QTest::keyClick(window->cboItem[1], Qt::Key_Down); // "Desk"

    QTest::mouseClick(window->btnItem[1], Qt::LeftButton);
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QTRY_COMPARE(server.received.size(), 2);
    QCOMPARE(server.received[0], QByteArrayLiteral("MON\t7\\"));
    QCOMPARE(server.received[1], QByteArrayLiteral("SW2\r"));
    QTRY_COMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("green"));
    QCOMPARE(lampColour(*window, window->imgSend[1]), QStringLiteral("green"));
    // The later press is the one the next tick puts out.
    QCOMPARE(window->fFlashRow, 0);
    window->tmrFlash_Timer();
    QCOMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("grey"));
    QCOMPARE(lampColour(*window, window->imgSend[1]), QStringLiteral("green"));
}

void tst_panel_send::closeDuringSendSavesAndEnds()
{
    PanelFixture fixture;
    QByteArray file = networkFile("tcp", refusedPort());
    auto window = fixture.load(file);
    QVERIFY(window);
    window->fSender->setRetryDelay(5ms);
    QTest::keyClick(window->cboItem[0], Qt::Key_Up);

    // No event runs between the press and Close, so the send is still going.
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QVERIFY(window->fSender->isBusy());
    QTest::mouseClick(window->btnClose, Qt::LeftButton);
    QVERIFY(window->hasEnded());
    QCOMPARE(window->exitStatus(), 0);
    QCOMPARE(readFile(fixture.path()), file.replace("selected=1\r\n", "selected=0\r\n"));

    // The press is abandoned with the panel, which shows nothing of it.
    QVERIFY(!window->fSender->isBusy());
    QVERIFY(fixture.messages.isEmpty());
    QCOMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("grey"));
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("red"));
}

void tst_panel_send::closeWhileSendMessageIsOpen()
{
    // The session ending closes the message box and then the window while
    // the failed press still waits in its report, and another press waits
    // its turn.
    PanelFixture fixture;
    QByteArray file = workedExampleFile();
    auto window = fixture.load(file);
    QVERIFY(window);
    QList<HeldLink *> held;
    window->fSender->setRetryDelay(0ms);
    window->fSender->setLinkFactory(
        [&](const LinkSettings &) { return std::make_unique<HeldLink>(held); });
    int shown = 0;
    VantrelMessageBox::setHandler([&](const QString &) {
        ++shown;
        window->close();
        return QMessageBox::Cancel;
    });
    QTest::keyClick(window->cboItem[0], Qt::Key_Up);
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QTest::mouseClick(window->btnItem[1], Qt::LeftButton);
    for (int attempt = 0; attempt < 4; ++attempt) {
        QTRY_COMPARE(held.size(), attempt + 1);
        held[attempt]->end(false);
    }
    QTRY_VERIFY(window->hasEnded());

    QCOMPARE(window->exitStatus(), 0);
    QCOMPARE(readFile(fixture.path()), file.replace("selected=1\r\n", "selected=0\r\n"));
    // Both presses end with the panel: no lamp, no second message, no second
    // save, and the waiting press never reaches the link.
    QVERIFY(writeFile(fixture.path(), "marker"));
    QVERIFY(!window->fSender->isBusy());
    QTest::qWait(50);
    QCOMPARE(held.size(), 4);
    QCOMPARE(shown, 1);
    QCOMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("grey"));
    QCOMPARE(lampColour(*window, window->imgSend[1]), QStringLiteral("grey"));
    QCOMPARE(readFile(fixture.path()), QByteArray("marker"));
}

void tst_panel_send::choiceChangedDuringPressStaysPending_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("press succeeds") << true;
    QTest::newRow("press fails") << false;
}

void tst_panel_send::choiceChangedDuringPressStaysPending()
{
    QFETCH(bool, ok);
    PanelFixture fixture;
    auto window = fixture.load(workedExampleFile());
    QVERIFY(window);
    QList<HeldLink *> held;
    window->fSender->setRetryDelay(0ms);
    window->fSender->setLinkFactory(
        [&](const LinkSettings &) { return std::make_unique<HeldLink>(held); });

    QTest::keyClick(window->cboItem[0], Qt::Key_Up); // "Tuner"
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QCOMPARE(held.size(), 1);
    QCOMPARE(held[0]->started, QByteArrayLiteral("SW1\r"));
    // While the press is under way the operator goes on to "Player".
    QTest::keyClick(window->cboItem[0], Qt::Key_Down);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("red"));

    for (int attempt = 0; attempt < (ok ? 1 : 4); ++attempt) {
        QTRY_COMPARE(held.size(), attempt + 1);
        held[attempt]->end(ok);
    }
    QTRY_COMPARE(lampColour(*window, window->imgSend[0]),
                 ok ? QStringLiteral("green") : QStringLiteral("red"));
    QCOMPARE(fixture.messages.size(), ok ? 0 : 1);
    // "Player" was never sent: its lamp stays red, and "Tuner", the input
    // the press carried, is the one last sent.
    QCOMPARE(window->cboItem[0]->currentIndex(), 1);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("red"));
    QCOMPARE(window->fSentIndex[0], 0);
    QTest::mouseClick(window->btnBack[0], Qt::LeftButton);
    QCOMPARE(window->cboItem[0]->currentIndex(), 0);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("grey"));

    // Pressed again without a change, the press ends with a grey lamp.
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QTRY_COMPARE(held.size(), ok ? 2 : 5);
    held.last()->end(true);
    QTRY_COMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("green"));
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("grey"));
    QCOMPARE(window->fSentIndex[0], 0);
}

QTEST_MAIN(tst_panel_send)
#include "tst_panel_send.moc"

void tst_panel_send::takeFromElsewhereFailsWithoutBox()
{
    PanelFixture fixture;
    QByteArray file = workedExampleFile();
    auto window = fixture.load(file.replace("type=serial", "type=modem"));
    QVERIFY(window);
    PanelRemote remote(window.get());
    QStringList told;
    const auto tell = [&](bool ok, const QString &failure) {
        told << (ok ? QStringLiteral("ok") : failure);
    };
    const TakeOrigin http{TakeOrigin::Source::Http, QStringLiteral("127.0.0.1:5000")};
    // Two takes queued back to back: the first's failure must not hold the second.
    const auto json = [](const char *text) {
        return QJsonDocument::fromJson(text).object();
    };
    QVERIFY(!remote.take(json(R"({"row": 1, "input": 2})"), http, tell));
    QVERIFY(!remote.take(json(R"({"output": "Studio A", "input": "Tuner"})"), http, tell));
    QTRY_COMPARE(told.size(), 2);
    QVERIFY(fixture.messages.isEmpty());
    QVERIFY2(told[0].startsWith(QStringLiteral("Error sending command SW2")), qPrintable(told[0]));
    QCOMPARE(window->imgSend[0]->toolTip(), told[1]);
    QVERIFY(window->lblNotice->text().startsWith(QStringLiteral("Row 1 (Studio A): Error")));
    QCOMPARE(remote.rowState(0)[QLatin1String("result")], QStringLiteral("failed"));
    QCOMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("red"));

    // The same failure from the window keeps its box.
    QTest::mouseClick(window->btnItem[0], Qt::LeftButton);
    QTRY_COMPARE(fixture.messages.size(), 1);
}
