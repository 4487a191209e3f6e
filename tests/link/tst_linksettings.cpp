// Reading the link settings: number conversions, the serial settings text and
// the port-number-to-device mapping.
#include "LinkSettings.h"
#include "SerialLineSettings.h"
#include "SerialPortMap.h"
#include "VantrelError.h"
#include "VantrelText.h"
#include "clsVantrelConfig.h"

#include <QTest>

class tst_linksettings : public QObject
{
    Q_OBJECT
private slots:
    void serialPortNumber_data();
    void serialPortNumber();
    void networkPort_data();
    void networkPort();
    void kindAndProtocol();
    void defaultsGiveTheClassicSettingsText();
    void lineSettings_data();
    void lineSettings();
    void refusedLineSettings_data();
    void refusedLineSettings();
    void everyEditorChoiceIsAccepted();
    void portMapping();
};

namespace {

LinkSettings withCommPort(const QString &text)
{
    LinkSettings s;
    s.fCommPort = text;
    return s;
}

LinkSettings withPort(const QString &text)
{
    LinkSettings s;
    s.fPort = text;
    return s;
}

} // namespace

void tst_linksettings::serialPortNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // 0: refused

    QTest::newRow("digit") << "1" << 1;
    QTest::newRow("blanks around") << " 3 " << 3;
    QTest::newRow("half rounds to even, down") << "2.5" << 2;
    QTest::newRow("half rounds to even, up") << "3.5" << 4;
    QTest::newRow("exponent") << "1e1" << 10;
    QTest::newRow("highest") << "255" << 255;
    QTest::newRow("COM prefix") << "COM1" << 0;
    QTest::newRow("letter") << "x" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("trailing text") << "1a" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("negative") << "-1" << 0;
    QTest::newRow("above the ports") << "256" << 0;
    QTest::newRow("16-bit overflow") << "40000" << 0;
    QTest::newRow("huge") << "1e400" << 0;
}

void tst_linksettings::serialPortNumber()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    if (port > 0) {
        QCOMPARE(withCommPort(text).serialPortNumber(), port);
        return;
    }
    try {
        withCommPort(text).serialPortNumber();
        QFAIL("accepted");
    } catch (const VantrelError &e) {
        // The message must let the operator find the bad value.
        QVERIFY2(e.description().contains(QLatin1Char('"') + text + QLatin1Char('"')) ||
                     e.description().contains(QStringLiteral("number ")),
                 qPrintable(e.description()));
    }
}

void tst_linksettings::networkPort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // 0: refused

    QTest::newRow("plain") << "3001" << 3001;
    QTest::newRow("leading number") << "3001abc" << 3001;
    QTest::newRow("leading blanks") << "  80" << 80;
    QTest::newRow("rounded") << "80.6" << 81;
    QTest::newRow("half to even") << "80.5" << 80;
    QTest::newRow("lowest") << "1" << 1;
    QTest::newRow("highest") << "65535" << 65535;
    QTest::newRow("no leading digit is 0") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("too large") << "65536" << 0;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("beyond 32 bits") << "99999999999" << 0;
}

void tst_linksettings::networkPort()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    if (port > 0) {
        QCOMPARE(int(withPort(text).networkPort()), port);
        return;
    }
    QVERIFY_THROWS_EXCEPTION(VantrelError, withPort(text).networkPort());
}

void tst_linksettings::kindAndProtocol()
{
    LinkSettings s;
    for (const char *type : {"serial", "Serial", "SERIAL"}) {
        s.fType = QLatin1String(type);
        QCOMPARE(s.kind(), LinkSettings::Kind::Serial);
    }
    for (const char *type : {"network", "Network"}) {
        s.fType = QLatin1String(type);
        QCOMPARE(s.kind(), LinkSettings::Kind::Network);
    }
    for (const char *type : {"", "modem", " serial"}) {
        s.fType = QLatin1String(type);
        QCOMPARE(s.kind(), LinkSettings::Kind::Unknown);
    }
    for (const char *protocol : {"TCP", "tcp", "Tcp"}) {
        s.fProtocol = QLatin1String(protocol);
        QVERIFY(s.usesTcp());
    }
    for (const char *protocol : {"UDP", "", "tcp ", "http"}) {
        s.fProtocol = QLatin1String(protocol);
        QVERIFY(!s.usesTcp());
    }
    QVERIFY_THROWS_EXCEPTION(VantrelError, LinkSettings().networkHost());
    s.fIPAddress = QStringLiteral(" 127.0.0.1  ");
    QCOMPARE(s.networkHost(), QStringLiteral("127.0.0.1")); // only spaces are trimmed
    for (const char16_t c : {u'\0', u'\t', u'\x7F', u'\x85', u'\x9B', u'\x9F'}) { // C0, DEL, C1
        for (const qsizetype at : {0, 6, 9}) {
            s.fIPAddress = QStringLiteral("127.0.0.1").insert(at, QChar(c));
            try {
                QFAIL(qPrintable(s.networkHost()));
            } catch (const VantrelError &e) {
                QVERIFY(e.description().startsWith(u"Network address \"") &&
                        e.description().endsWith(QStringLiteral("control character ") +
                                                 VantrelText::CodePoint(c)));
            }
        }
    }
}

void tst_linksettings::defaultsGiveTheClassicSettingsText()
{
    clsVantrelConfig config;
    config.Initialize();
    const LinkSettings s = LinkSettings::fromConfig(config);
    QCOMPARE(s.serialSettingsText(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(s.serialPortNumber(), 1);
    QCOMPARE(s.kind(), LinkSettings::Kind::Serial);
    QCOMPARE(int(s.networkPort()), 3001);
}

void tst_linksettings::lineSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised");

    QTest::newRow("defaults") << "9600,n,8,1"
                              << "9600,n,8,1";
    QTest::newRow("upper-case parity") << "19200,E,7,2"
                                       << "19200,e,7,2";
    QTest::newRow("slowest") << "110,o,5,1"
                             << "110,o,5,1";
    QTest::newRow("fastest") << "256000,M,6,1"
                             << "256000,m,6,1";
    QTest::newRow("space parity") << "14400,s,8,2"
                                  << "14400,s,8,2";
}

void tst_linksettings::lineSettings()
{
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    QCOMPARE(SerialLineSettings::parse(text).toText(), normalised);
}

void tst_linksettings::refusedLineSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");

    QTest::newRow("speed not offered") << "9601,n,8,1"
                                       << "speed";
    QTest::newRow("speed not a number") << "fast,n,8,1"
                                        << "speed";
    QTest::newRow("parity") << "9600,x,8,1"
                            << "parity";
    QTest::newRow("data bits 9") << "9600,n,9,1"
                                 << "data bits";
    QTest::newRow("data bits 3") << "9600,n,3,1"
                                 << "data bits";
    QTest::newRow("4 data bits") << "9600,n,4,1"
                                 << "not supported";
    QTest::newRow("stop bits") << "9600,n,8,3"
                               << "stop bits";
#ifndef Q_OS_WIN
    QTest::newRow("1.5 stop bits") << "9600,n,8,1.5"
                                   << "not supported";
#endif
    QTest::newRow("too few parts") << "9600,n,8"
                                   << "expected";
    QTest::newRow("too many parts") << "9600,n,8,1,1"
                                    << "expected";
    QTest::newRow("empty") << ""
                           << "expected";
    QTest::newRow("blank in a part") << "9600, n,8,1"
                                     << "parity";
}

void tst_linksettings::refusedLineSettings()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);
    try {
        SerialLineSettings::parse(text);
        QFAIL("accepted");
    } catch (const VantrelError &e) {
        QVERIFY2(e.description().contains(reason), qPrintable(e.description()));
        QVERIFY2(e.description().contains(text), qPrintable(e.description()));
    }
}

void tst_linksettings::everyEditorChoiceIsAccepted()
{
    // The configuration editor offers these lists; a line it lets the
    // operator set up must open.
    clsVantrelConfig config;
    config.Initialize();
    for (const QString &speed : config.BaudRateCollection())
        for (const QString &parity : config.ParityCollection())
            for (const QString &data : config.DataBitsCollection())
                for (const QString &stop : config.StopBitsCollection()) {
                    const QString text = QStringList{speed, parity, data, stop}.join(u',');
                    try {
                        QCOMPARE(SerialLineSettings::parse(text).toText(), text.toLower());
                    } catch (const VantrelError &e) {
                        QFAIL(qPrintable(e.description()));
                    }
                }
}

void tst_linksettings::portMapping()
{
#if defined(Q_OS_LINUX)
    QCOMPARE(SerialPortMap::deviceFor(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(SerialPortMap::deviceFor(12), QStringLiteral("/dev/ttyS11"));
    QCOMPARE(SerialPortMap::describe(3), QStringLiteral("COM3 (/dev/ttyS2)"));
#elif defined(Q_OS_WIN)
    QCOMPARE(SerialPortMap::deviceFor(12), QStringLiteral("COM12"));
    QCOMPARE(SerialPortMap::describe(3), QStringLiteral("COM3"));
#endif
    SerialPortMap::setOverride(3, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(SerialPortMap::deviceFor(3), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(SerialPortMap::describe(3), QStringLiteral("COM3 (/dev/ttyUSB0)"));
    SerialPortMap::clearOverrides();
    QVERIFY(SerialPortMap::deviceFor(3) != QStringLiteral("/dev/ttyUSB0"));
}

QTEST_GUILESS_MAIN(tst_linksettings)
#include "tst_linksettings.moc"
