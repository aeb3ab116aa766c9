// The About window: the credits text run by run, and the window itself.
#include "../UiTestSupport.h"

#include "buildinfo/BuildInfo.h"
#include "ui/about/AboutPanel.h"
#include "ui/about/AboutWindow.h"
#include "ui/toolkit/DarkAppearance.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

namespace {

const QString separator = QStringLiteral("   \u00B7   ");

QList<AboutWindow*> openAboutWindows() {
    QList<AboutWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* about = qobject_cast<AboutWindow*>(widget); about && about->isVisible()) {
            found.append(about);
        }
    }
    return found;
}

// The character format at the first occurrence of `text` in the document.
QTextCharFormat formatOf(QTextDocument& document, const QString& text) {
    const QTextCursor found = document.find(text);
    if (found.isNull()) {
        return {};
    }
    QTextCursor inside(&document);
    inside.setPosition(found.selectionStart() + 1);
    return inside.charFormat();
}

} // namespace

class AboutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DarkAppearance::apply(*qApp); }

    // The credits as the About window's text shows them: the runs in order,
    // the links, the colours and the digest's monospaced font.
    void creditsAsShown() {
        const QString digest(64, QLatin1Char('a'));
        const SignatureState unsigned_{false, std::nullopt, std::nullopt};
        const QList<AboutPanel::CreditRun> runs = AboutPanel::credits(unsigned_, digest);
        QStringList texts;
        for (const AboutPanel::CreditRun& run : runs) {
            texts << run.text;
        }
        QCOMPARE(
            texts,
            (QStringList{
                BuildInfo::licence + QStringLiteral("\n\n"),
                QStringLiteral("Signature: Not signed, or the signature does "
                               "not verify\n"),
                QStringLiteral("Built: ") + BuildInfo::buildDate() + QStringLiteral("\n\n"),
                QStringLiteral("SHA-256 of this application's binary:\n"),
                digest + QStringLiteral("\n\n"), QStringLiteral("Brannock on LinkedIn"), separator,
                QStringLiteral("More free tools"), separator, QStringLiteral("Privacy"), separator,
                QStringLiteral("\u2615 Buy me a coffee")}));
        for (qsizetype i = 0; i < runs.size(); ++i) {
            if (i == 4) {
                QVERIFY(UiTest::drawsMonospaced(runs[i].font));
                // 9.5 logical pixels: Qt takes fractional sizes only in points.
                const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
                QVERIFY(qAbs(runs[i].font.pointSizeF() * dpi / 72.0 - 9.5) < 0.01);
            } else {
                QCOMPARE(runs[i].font.pixelSize(), 11);
                QVERIFY(!UiTest::drawsMonospaced(runs[i].font));
            }
        }

        QTextDocument document;
        AboutPanel::fillDocument(document, runs);
        QCOMPARE(document.toPlainText(), texts.join(QString()));
        QCOMPARE(document.blockCount(), int(document.toPlainText().count(u'\n')) + 1);
        const std::pair<QString, QString> linked[] = {
            {QStringLiteral("Brannock on LinkedIn"), BuildInfo::authorUrl},
            {QStringLiteral("More free tools"), BuildInfo::toolsUrl},
            {QStringLiteral("Privacy"), BuildInfo::privacyUrl},
            {QStringLiteral("Buy me a coffee"), BuildInfo::donationUrl},
        };
        for (const auto& [text, url] : linked) {
            const QTextCharFormat format = formatOf(document, text);
            QVERIFY2(format.isAnchor(), qPrintable(text));
            QCOMPARE(format.anchorHref(), url);
            QCOMPARE(format.foreground().color(), Theme::cyan.color());
        }
        const std::pair<QString, QColor> plain[] = {
            {BuildInfo::licence.left(20), Theme::ink.color()},
            {QStringLiteral("Signature"), Theme::muted.color()},
            {QStringLiteral("Built: "), Theme::muted.color()},
            {QStringLiteral("SHA-256"), Theme::muted.color()},
            {digest, Theme::ink.color()},
            {separator, Theme::muted.color()},
        };
        for (const auto& [text, colour] : plain) {
            const QTextCharFormat format = formatOf(document, text);
            QVERIFY2(!format.isAnchor(), qPrintable(text));
            QCOMPARE(format.foreground().color(), colour);
        }

        // Without a digest: "unavailable", still in the digest's font.
        const QList<AboutPanel::CreditRun> missing = AboutPanel::credits(unsigned_, std::nullopt);
        QCOMPARE(missing[4].text, QStringLiteral("unavailable\n\n"));
        QCOMPARE(missing[4].font, runs[4].font);

        const SignatureState signedState{true, QStringLiteral("Developer ID: B"),
                                         QStringLiteral("ABCDE12345")};
        QCOMPARE(AboutPanel::credits(signedState, digest)[1].text,
                 QStringLiteral("Signature: Developer ID: B (Team ABCDE12345)\n"));
    }

    void showOpensOneAboutWindow() {
        QCOMPARE(AboutPanel::versionLine(), QStringLiteral("Version ") + BuildInfo::version());
        QVERIFY(!AboutPanel::versionLine().contains(QLatin1Char('(')));

        AboutPanel::show();
        QList<AboutWindow*> windows = openAboutWindows();
        QCOMPARE(windows.size(), 1);
        AboutWindow* about = windows.first();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->nameLabel()->text(), BuildInfo::product);
        QCOMPARE(about->versionLabel()->text(), AboutPanel::versionLine());

        // The digest of the running binary, computed when the window opens.
        const std::optional<QString> digest = BuildInfo::executableSHA256();
        QVERIFY(digest.has_value());
        const QString credits = about->creditsView()->toPlainText();
        QVERIFY(credits.contains(QStringLiteral("SHA-256 of this application's binary:\n") +
                                 *digest + QStringLiteral("\n")));
        QVERIFY(credits.endsWith(QStringLiteral("\u2615 Buy me a coffee")));
        QVERIFY(about->creditsView()->openExternalLinks());

        // Every line of the credits fits without wrapping.
        QTextDocument* document = about->creditsView()->document();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            QVERIFY2(block.layout()->lineCount() <= 1, qPrintable(block.text()));
        }

        // Dark window, theme background.
        const QImage image = about->grab().toImage();
        UI_COMPARE_COLOUR(image.pixelColor(3, image.height() / 2), Theme::background.color());

        // Showing again reuses the open window.
        AboutPanel::show();
        QCOMPARE(openAboutWindows(), windows);
        about->close();
        QTRY_VERIFY(openAboutWindows().isEmpty());
    }
};

QTEST_MAIN(AboutTest)
#include "tst_About.moc"
