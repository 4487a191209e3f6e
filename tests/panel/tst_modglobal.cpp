#include "modGlobal.h"

#include <QTest>

class tst_modglobal : public QObject
{
    Q_OBJECT

private slots:
    void decodeEscapes_data();
    void decodeEscapes();
};

void tst_modglobal::decodeEscapes_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("sent");
    const auto s = [](const char *text) {
        return QString::fromLatin1(text);
    };
    QTest::newRow("no escapes") << s("SW1 IN2") << s("SW1 IN2");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("CR LF") << s("\\r\\n") << s("\r\n");
    QTest::newRow("tab") << s("A\\tB") << s("A\tB");
    QTest::newRow("backslash") << s("C:\\\\x") << s("C:\\x");
    QTest::newRow("upper case is no escape") << s("\\R\\N\\T") << s("RNT");
    QTest::newRow("other character") << s("\\q\\=") << s("q=");
    QTest::newRow("trailing backslash vanishes") << s("SW1\\") << s("SW1");
    QTest::newRow("lone backslash") << s("\\") << QString();
    QTest::newRow("escaped backslash before n") << s("\\\\n") << s("\\n");
    QTest::newRow("three backslashes then r") << s("\\\\\\r") << s("\\\r");
    QTest::newRow("Latin-1 kept") << s("\xe9\\\xff") << s("\xe9\xff");
    QTest::newRow("worked example command") << s("SW1\\r") << s("SW1\r");
}

void tst_modglobal::decodeEscapes()
{
    QFETCH(QString, stored);
    QFETCH(QString, sent);
    const QString before = stored;
    QCOMPARE(DecodeEscapes(stored), sent);
    QCOMPARE(stored, before);
}

QTEST_APPLESS_MAIN(tst_modglobal)
#include "tst_modglobal.moc"
