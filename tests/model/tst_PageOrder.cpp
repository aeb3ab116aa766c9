// Reorderings of the page list and the undo history, on real pages.

#include "model/PageHistory.h"
#include "model/PageOrder.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Pages = PageOrder::Pages;

// Pages named by letters: "ABCDE" is five pages A to E (no files behind them).
struct Letters {
    QHash<QChar, std::shared_ptr<ScannedPage>> byLetter;

    Pages operator()(const QString& letters) {
        Pages pages;
        for (const QChar letter : letters) {
            auto& page = byLetter[letter];
            if (!page) {
                page = std::make_shared<ScannedPage>(QUuid::createUuid(), QUrl(), QSizeF(10, 10),
                                                     300, QImage());
            }
            pages << page;
        }
        return pages;
    }
    QSet<QUuid> set(const QString& letters) {
        QSet<QUuid> ids;
        for (const auto& page : (*this)(letters)) {
            ids.insert(page->id());
        }
        return ids;
    }
    QString name(const Pages& pages) const {
        QString result;
        for (const auto& page : pages) {
            for (auto i = byLetter.cbegin(); i != byLetter.cend(); ++i) {
                if (i.value() == page) {
                    result += i.key();
                }
            }
        }
        return result;
    }
};

} // namespace

class tst_PageOrder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void movesKeepOrderAndStopAtTheEdges();
    void dropsPutPagesTogetherAtTheGap();
    void interleavesFrontsAndReversedBacks();
    void reversesOnlyTheSet();
    void historyStepsBackAndForth();
    void historyReleasesPagesNoSnapshotHolds();
};

void tst_PageOrder::movesKeepOrderAndStopAtTheEdges() {
    Letters pages;
    const Pages list = pages("ABCDE");
    const auto move = [&](const QString& moving, int offset) {
        return pages.name(PageOrder::moved(list, pages.set(moving), offset));
    };
    QCOMPARE(move("C", -1), QStringLiteral("ACBDE"));
    QCOMPARE(move("C", 1), QStringLiteral("ABDCE"));
    QCOMPARE(move("BD", -1), QStringLiteral("BADCE"));
    QCOMPARE(move("BD", 1), QStringLiteral("ACBED"));
    // At the edge the page stays; the pages behind it close up.
    QCOMPARE(move("A", -1), QStringLiteral("ABCDE"));
    QCOMPARE(move("E", 1), QStringLiteral("ABCDE"));
    QCOMPARE(move("AC", -1), QStringLiteral("ACBDE"));
    QCOMPARE(move("ABD", -1), QStringLiteral("ABDCE"));
    QCOMPARE(move("CE", 1), QStringLiteral("ABDCE"));
    QCOMPARE(move("ABCDE", 1), QStringLiteral("ABCDE"));
    QCOMPARE(move("BD", -2), QStringLiteral("BDACE"));
    QCOMPARE(move("BD", -9), QStringLiteral("BDACE"));
    QCOMPARE(move("", 1), QStringLiteral("ABCDE"));
}

void tst_PageOrder::dropsPutPagesTogetherAtTheGap() {
    Letters pages;
    const Pages list = pages("ABCDE");
    const auto drop = [&](const QString& moving, int row) {
        return pages.name(PageOrder::movedTo(list, pages.set(moving), row));
    };
    QCOMPARE(drop("D", 0), QStringLiteral("DABCE"));
    QCOMPARE(drop("A", 5), QStringLiteral("BCDEA"));
    QCOMPARE(drop("A", 3), QStringLiteral("BCADE")); // before D
    QCOMPARE(drop("BD", 0), QStringLiteral("BDACE"));
    QCOMPARE(drop("AE", 2), QStringLiteral("BAECD"));
    QCOMPARE(drop("BC", 2), QStringLiteral("ABCDE")); // onto itself
    QCOMPARE(drop("BC", 3), QStringLiteral("ABCDE"));
    QCOMPARE(drop("AC", 5), QStringLiteral("BDEAC"));
}

void tst_PageOrder::interleavesFrontsAndReversedBacks() {
    Letters pages;
    // Fronts 1 2 3 (ABC), then the stack turned over: backs 3 2 1 (FED).
    const Pages list = pages("ABCFED");
    QCOMPARE(pages.name(*PageOrder::interleaved(list, pages.set("ABCFED"))),
             QStringLiteral("ADBECF"));
    QCOMPARE(pages.name(*PageOrder::interleaved(pages("AB"), pages.set("AB"))),
             QStringLiteral("AB"));
    QVERIFY(!PageOrder::interleaved(list, pages.set("ABC")));
    QCOMPARE(pages.name(*PageOrder::interleaved(list, {})), QStringLiteral("ABCFED"));
    // Only the set moves, within the places it had: X and Y stay.
    const Pages mixed = pages("XABYDC");
    QCOMPARE(pages.name(*PageOrder::interleaved(mixed, pages.set("ABDC"))),
             QStringLiteral("XACYBD"));
}

void tst_PageOrder::reversesOnlyTheSet() {
    Letters pages;
    const Pages list = pages("ABCDE");
    QCOMPARE(pages.name(PageOrder::reversed(list, pages.set("ABCDE"))), QStringLiteral("EDCBA"));
    QCOMPARE(pages.name(PageOrder::reversed(list, pages.set("BCE"))), QStringLiteral("AECDB"));
    QCOMPARE(pages.name(PageOrder::reversed(list, {})), QStringLiteral("ABCDE"));
}

void tst_PageOrder::historyStepsBackAndForth() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QUrl source = QUrl::fromLocalFile(dir.filePath("source.png"));
    QVERIFY(image.save(source.toLocalFile()));
    const auto page =
        ScannedPage::make(source, QUrl::fromLocalFile(dir.path()), 300, false).value();
    Letters pages;
    pages.byLetter.insert(u'P', page);
    const auto name = [&](const PageHistory::State* state) {
        return state ? pages.name(state->pages) : QStringLiteral("none");
    };

    PageHistory history;
    QVERIFY(!history.canUndo() && !history.canRedo());
    QVERIFY(!history.nextUndo() && !history.nextRedo());

    // Rotate P, then reverse the list.
    Pages list = pages("PAB");
    history.record(PageHistory::capture(list, page->id(), pages.set("PA")));
    QVERIFY(page->rotate(1));
    history.record(PageHistory::capture(list, page->id(), pages.set("P")));
    list = pages("BAP");

    // Back: first the order, with P still turned; then P's turn too.
    QCOMPARE(name(history.nextUndo()), QStringLiteral("PAB"));
    QCOMPARE(history.nextUndo()->turns.value(page->id()), 1);
    QCOMPARE(history.nextUndo()->selection, pages.set("P"));
    history.undone(PageHistory::capture(list, page->id(), pages.set("P")));
    list = pages("PAB");
    QCOMPARE(history.nextUndo()->turns.value(page->id()), 0);
    QCOMPARE(history.nextUndo()->selection, pages.set("PA"));
    QCOMPARE(history.nextUndo()->current, std::optional<QUuid>(page->id()));
    history.undone(PageHistory::capture(list, page->id(), pages.set("P")));
    QVERIFY(!history.canUndo());
    QVERIFY(history.canRedo());

    // Forth again, in the same order.
    QCOMPARE(history.nextRedo()->turns.value(page->id()), 1);
    history.redone(PageHistory::capture(list, page->id(), pages.set("PA")));
    QCOMPARE(name(history.nextRedo()), QStringLiteral("BAP"));
    history.redone(PageHistory::capture(list, page->id(), pages.set("P")));
    QVERIFY(!history.canRedo());
    QCOMPARE(name(history.nextUndo()), QStringLiteral("PAB"));

    // A new change after an undo ends the way forward.
    history.undone(PageHistory::capture(pages("BAP"), {}, {}));
    history.record(PageHistory::capture(pages("PAB"), {}, {}));
    QVERIFY(!history.canRedo());
    QCOMPARE(name(history.nextUndo()), QStringLiteral("PAB"));

    // Undo and redo with nothing there do nothing.
    PageHistory empty;
    empty.undone({});
    empty.redone({});
    QVERIFY(!empty.canUndo() && !empty.canRedo());

    // Only the latest `limit` changes can be undone.
    PageHistory short_(2);
    for (const char* order : {"A", "AB", "ABC"}) {
        short_.record(PageHistory::capture(pages(order), {}, {}));
    }
    QCOMPARE(name(short_.nextUndo()), QStringLiteral("ABC"));
    short_.undone({});
    QCOMPARE(name(short_.nextUndo()), QStringLiteral("AB"));
    short_.undone({});
    QVERIFY(!short_.canUndo());
}

void tst_PageOrder::historyReleasesPagesNoSnapshotHolds() {
    Letters pages;
    const auto released = [&](PageHistory& history, const QString& list) {
        return pages.name(history.takeReleased(pages(list)));
    };

    // B is deleted: the snapshot keeps it until the history is cleared.
    PageHistory history;
    history.record(PageHistory::capture(pages("ABC"), {}, {}));
    QCOMPARE(released(history, "AC"), QString());
    QCOMPARE(history.heldIds(), pages.set("ABC"));
    history.clear();
    QCOMPARE(released(history, "AC"), QStringLiteral("B"));
    QCOMPARE(released(history, "AC"), QString()); // handed out once

    // Undo brings B back; deleting C then drops the redo snapshot, but
    // every page is still listed or held.
    history.record(PageHistory::capture(pages("ABC"), {}, {}));
    history.undone(PageHistory::capture(pages("AC"), {}, {}));
    history.record(PageHistory::capture(pages("ABC"), {}, {}));
    QCOMPARE(released(history, "AB"), QString());
    history.clear();
    QCOMPARE(released(history, "AB"), QStringLiteral("C"));

    // The oldest snapshot beyond the limit lets go of what only it held.
    PageHistory one(1);
    one.record(PageHistory::capture(pages("ABC"), {}, {}));
    one.record(PageHistory::capture(pages("AB"), {}, {}));
    QCOMPARE(released(one, "A"), QStringLiteral("C"));
    PageHistory none(0); // no history: a deleted page goes at once
    none.record(PageHistory::capture(pages("AB"), {}, {}));
    QCOMPARE(released(none, "A"), QStringLiteral("B"));
}

QTEST_GUILESS_MAIN(tst_PageOrder)
#include "tst_PageOrder.moc"
