// The page list on its own: real pages over small image files, and the
// selection rules for append and clear. (Moving and removing pages, and the
// selection they leave, are tested through the model.)

#include "model/PageList.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class tst_PageList : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    int made_ = 0;

    // `count` new pages cached in the temporary folder.
    PageList::Pages makePages(int count) {
        PageList::Pages pages;
        for (int i = 0; i < count; ++i) {
            const QString path = dir_.filePath(QStringLiteral("in-%1.png").arg(made_++));
            QImage image(20, 30, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            if (!image.save(path, "png")) {
                return {};
            }
            auto made = ScannedPage::make(QUrl::fromLocalFile(path),
                                          QUrl::fromLocalFile(dir_.filePath("cache")), 100, false);
            if (!made) {
                return {};
            }
            pages << std::move(made).value();
        }
        return pages;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(QDir().mkpath(dir_.filePath("cache")));
    }

    void appendSelectsTheLastPageAdded() {
        PageList list;
        QSignalSpy changed(&list, &PageList::changed);
        QVERIFY(list.isEmpty());
        QCOMPARE(list.selectedID(), std::nullopt);
        QCOMPARE(list.selectedIndex(), -1);
        QCOMPARE(list.selectedPage(), nullptr);

        QVERIFY(!list.append({}));
        QVERIFY(!list.append({nullptr}));
        QCOMPARE(changed.count(), 0);

        const PageList::Pages first = makePages(2);
        QCOMPARE(first.size(), 2);
        QVERIFY(list.append(first));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(list.pages(), first);
        QCOMPARE(list.selectedID(), first[1]->id());

        // A null among the new pages is skipped; the last real one is selected.
        const PageList::Pages more = makePages(1);
        QVERIFY(list.append({more[0], nullptr}));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.selectedIndex(), 2);
        QCOMPARE(list.selectedPage(), more[0]);

        // Any id may be selected, also one no page has; setting it again is
        // no change.
        const QUuid stranger = QUuid::createUuid();
        list.setSelectedID(stranger);
        list.setSelectedID(stranger);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(list.selectedID(), stranger);
        QCOMPARE(list.selectedIndex(), -1);
        QCOMPARE(list.selectedPage(), nullptr);
    }

    void clearHandsBackEveryPage() {
        PageList list;
        QSignalSpy changed(&list, &PageList::changed);
        QVERIFY(list.clear().isEmpty());
        QCOMPARE(changed.count(), 0);

        const PageList::Pages pages = makePages(3);
        QVERIFY(list.append(pages));
        list.setSelectedID(pages[0]->id());
        changed.clear();
        QCOMPARE(list.clear(), pages);
        QVERIFY(list.isEmpty());
        QCOMPARE(list.selectedID(), std::nullopt);
        QCOMPARE(changed.count(), 1);
        for (const auto& page : pages) {
            QVERIFY(QFile::exists(page->cacheURL().toLocalFile()));
        }

        // A selection without pages is cleared too.
        list.setSelectedID(QUuid::createUuid());
        QVERIFY(list.clear().isEmpty());
        QCOMPARE(list.selectedID(), std::nullopt);
        QCOMPARE(changed.count(), 3);
    }
};

QTEST_GUILESS_MAIN(tst_PageList)
#include "tst_PageList.moc"
