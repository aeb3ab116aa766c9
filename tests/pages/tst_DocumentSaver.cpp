#include <QTest>

class tst_DocumentSaver : public QObject {
    Q_OBJECT
};

QTEST_GUILESS_MAIN(tst_DocumentSaver)
#include "tst_DocumentSaver.moc"
