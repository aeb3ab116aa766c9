#include <QTest>

class tst_ScannedPage : public QObject {
    Q_OBJECT
};

QTEST_GUILESS_MAIN(tst_ScannedPage)
#include "tst_ScannedPage.moc"
