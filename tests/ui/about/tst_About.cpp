// The About window: the credits text run by run, and the window itself.
#include "../UiTestSupport.h"

#include "buildinfo/BuildInfo.h"
#include "ui/about/AboutPanel.h"
#include "ui/about/AboutWindow.h"
#include "ui/toolkit/DarkAppearance.h"

#include <QApplication>
#include <QLabel>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

namespace {

const QString separator = QStringLiteral("   \u00B7   ");

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
        // Only the digest is monospaced. (That every line fits unwrapped is
        // checked on the window below.)
        for (qsizetype i = 0; i < runs.size(); ++i) {
            QCOMPARE(UiTest::drawsMonospaced(runs[i].font), i == 4);
        }

        QTextDocument document;
        AboutPanel::fillDocument(document, runs);
        QCOMPARE(document.toPlainText(), texts.join(QString()));
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
        for (const QString& text : {QStringLiteral("Signature"), digest, separator}) {
            QVERIFY2(!formatOf(document, text).isAnchor(), qPrintable(text));
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
        AboutPanel::show();
        QList<AboutWindow*> windows = UiTest::shownWindows<AboutWindow>();
        QCOMPARE(windows.size(), 1);
        AboutWindow* about = windows.first();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->nameLabel()->text(), BuildInfo::product);
        QCOMPARE(about->versionLabel()->text(), QStringLiteral("Version ") + BuildInfo::version());

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
        QCOMPARE(UiTest::shownWindows<AboutWindow>(), windows);
        about->close();
        QTRY_VERIFY(UiTest::shownWindows<AboutWindow>().isEmpty());
    }
};

QTEST_MAIN(AboutTest)
#include "tst_About.moc"
