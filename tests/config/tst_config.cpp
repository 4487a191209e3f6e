#include <QTest>
class tst_config : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(tst_config)
#include "tst_config.moc"
