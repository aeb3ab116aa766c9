// Reorderings of the page list and the undo history's bookkeeping. (Undo and
// redo themselves, and reversing, are tested with the document.)

#include "model/PageHistory.h"
#include "model/PageOrder.h"

#include <QImage>
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
    void historyKeepsItsLimitAndReleasesPagesNoSnapshotHolds();
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
    QCOMPARE(move("ABD", -1), QStringLiteral("ABDCE"));
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

void tst_PageOrder::historyKeepsItsLimitAndReleasesPagesNoSnapshotHolds() {
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

    // Only the latest `limit` changes can be undone.
    PageHistory short_(2);
    for (const char* order : {"A", "AB", "ABC"}) {
        short_.record(PageHistory::capture(pages(order), {}, {}));
    }
    QCOMPARE(pages.name(short_.nextUndo()->pages), QStringLiteral("ABC"));
    short_.undone({});
    QCOMPARE(pages.name(short_.nextUndo()->pages), QStringLiteral("AB"));
    short_.undone({});
    QVERIFY(!short_.canUndo());
}

QTEST_GUILESS_MAIN(tst_PageOrder)
#include "tst_PageOrder.moc"
