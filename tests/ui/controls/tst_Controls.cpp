// The theme and the shared controls: colours as drawn, texts and layouts.
#include "../UiTestSupport.h"

#include "buildinfo/BuildInfo.h"
#include "ui/controls/ButtonStyle.h"
#include "ui/controls/Card.h"
#include "ui/controls/ElidedLabel.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/GradientText.h"
#include "ui/controls/LinkLabel.h"
#include "ui/controls/TesselFooter.h"
#include "ui/controls/TesselHeader.h"
#include "ui/controls/Theme.h"
#include "ui/controls/VersionBadge.h"
#include "ui/toolkit/DarkAppearance.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QtTest>

using UiTest::blend;

class ControlsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DarkAppearance::apply(*qApp); }

    // A button draws its style's own colours at rest and pressed, and, when
    // disabled, one neutral look that differs from every style at rest.
    void buttonStylesInEveryState() {
        const auto picture = [](const ButtonStyle& style, const QString& state) {
            // A full block glyph gives the label pixels that are entirely text.
            auto* button = new FlatButton(QStringLiteral("\u2588"), style);
            UiTest::Backdrop backdrop(button);
            button->setDown(state == QLatin1String("pressed"));
            button->setEnabled(state != QLatin1String("disabled"));
            return backdrop.grab();
        };
        QImage disabled;
        for (const ButtonStyle& style :
             {ButtonStyle(PrimaryButtonStyle()), ButtonStyle(SecondaryButtonStyle()),
              ButtonStyle(DangerButtonStyle())}) {
            QImage rest;
            for (const QString& state : {QStringLiteral("rest"), QStringLiteral("pressed")}) {
                const QImage image = picture(style, state);
                const QColor fill =
                    blend(state == QLatin1String("rest") ? style.fill : style.pressedFill,
                          Theme::background.color());
                const int middle = image.height() / 2;
                UI_COMPARE_COLOUR(image.pixelColor(5, middle), fill);
                UI_COMPARE_COLOUR(image.pixelColor(image.width() - 6, middle), fill);
                UI_COMPARE_COLOUR(image.pixelColor(image.width() / 2, 0),
                                  blend(style.border, fill));
                UI_COMPARE_COLOUR(image.pixelColor(0, middle), blend(style.border, fill));
                UI_COMPARE_COLOUR(image.pixelColor(image.width() / 2, middle),
                                  blend(style.foreground, fill));
                rest = rest.isNull() ? image : rest;
            }
            const QImage image = picture(style, QStringLiteral("disabled"));
            QVERIFY(disabled.isNull() || image == disabled);
            QVERIFY(image != rest);
            disabled = image;
        }
    }

    void headerIsDrawnAsTabled() {
        auto* header = new TesselHeader;
        QCOMPARE(header->versionBadge()->text(), QStringLiteral("v") + BuildInfo::version());
        UiTest::Backdrop backdrop(header, Theme::violet);
        backdrop.frame()->resize(1000, header->sizeHint().height());
        backdrop.frame()->layout()->activate();
        const QImage image = backdrop.grab();
        QCOMPARE(image.width(), 1000);

        // A hairline under the banner.
        UI_COMPARE_COLOUR(image.pixelColor(500, image.height() - 1), Theme::line.color());

        // The title's letters run from cyan (leading) to violet (trailing).
        QImage title(header->title()->size(), QImage::Format_ARGB32);
        title.fill(Qt::transparent);
        header->title()->render(&title, QPoint(), QRegion(), QWidget::DrawChildren);
        int first = title.width(), last = -1;
        QColor firstColour, lastColour;
        for (int x = 0; x < title.width(); ++x) {
            for (int y = 0; y < title.height(); ++y) {
                const QColor c = title.pixelColor(x, y);
                if (c.alpha() < 255) {
                    continue;
                }
                if (x < first) {
                    first = x;
                    firstColour = c;
                }
                if (x > last) {
                    last = x;
                    lastColour = c;
                }
            }
        }
        QVERIFY(last > first);
        QVERIFY2(UiTest::near(firstColour, Theme::cyan.color(), 25),
                 qPrintable(UiTest::describe(firstColour)));
        QVERIFY2(UiTest::near(lastColour, Theme::violet.color(), 25),
                 qPrintable(UiTest::describe(lastColour)));
    }

    void cardBorderFillAndAccentBar() {
        for (const int padding : {0, 16}) {
            auto* content = new QWidget;
            content->setFixedHeight(40);
            auto* card = new Card(padding, content);
            UiTest::Backdrop backdrop(card);
            backdrop.frame()->resize(300, card->sizeHint().height());
            backdrop.frame()->layout()->activate();
            const QImage image = backdrop.grab();

            QCOMPARE(content->geometry(),
                     image.rect().adjusted(padding, padding, -padding, -padding));
            const int middle = image.height() / 2;
            UI_COMPARE_COLOUR(image.pixelColor(0, middle), Theme::line.color());
            UI_COMPARE_COLOUR(image.pixelColor(299, middle), Theme::line.color());
            UI_COMPARE_COLOUR(image.pixelColor(150, image.height() - 1), Theme::line.color());
            UI_COMPARE_COLOUR(image.pixelColor(5, middle), Theme::surface.color());
            // Rounded corners leave the backdrop showing; an accent bar runs
            // from cyan to violet along the top.
            UI_COMPARE_COLOUR(image.pixelColor(0, 0), Theme::background.color());
            QVERIFY(UiTest::near(image.pixelColor(12, 0), Theme::cyan.color(), 8));
            QVERIFY(UiTest::near(image.pixelColor(287, 1), Theme::violet.color(), 8));
        }
    }

    void footerLayoutsAndLinks() {
        TesselFooter footer;
        footer.resize(800, footer.sizeHint().height());
        footer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&footer));
        const int height = footer.height();

        // No status: the credits start at the leading edge.
        QVERIFY(!footer.trailingStatus().has_value());
        QVERIFY(!footer.statusLabel()->isVisible());
        QVERIFY(footer.donationLink()->geometry().right() < 400);

        // A status (even an empty one) sits at the leading end, credits trailing.
        for (const QString& status : {QStringLiteral("Ready."), QString()}) {
            footer.setTrailingStatus(status);
            QCoreApplication::processEvents();
            footer.layout()->activate();
            QVERIFY(footer.statusLabel()->isVisible());
            QVERIFY(footer.statusLabel()->x() < footer.authorLink()->x());
            QVERIFY(footer.donationLink()->geometry().right() > footer.width() - 40);
            QCOMPARE(footer.statusLabel()->text(), status);
        }
        footer.setTrailingStatus(std::nullopt);
        footer.layout()->activate();
        QVERIFY(footer.donationLink()->geometry().right() < 400);

        // A long status is cut in the middle and never wraps.
        QString longStatus = QStringLiteral("Saved ");
        for (int i = 0; i < 40; ++i) {
            longStatus += QStringLiteral("Scan_2026-03-%1.pdf, ").arg(i);
        }
        longStatus += QStringLiteral("last.pdf");
        footer.setTrailingStatus(longStatus);
        footer.layout()->activate();
        QCOMPARE(footer.height(), height);
        const QString shown = footer.statusLabel()->displayedText();
        QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY(shown.startsWith(QStringLiteral("Saved Scan_")));
        QVERIFY(shown.endsWith(QStringLiteral("last.pdf")));
        QVERIFY(footer.donationLink()->geometry().right() > footer.width() - 40);

        // Top rule and background.
        const QImage image = footer.grab().toImage();
        UI_COMPARE_COLOUR(image.pixelColor(400, 0), Theme::line.color());
        UI_COMPARE_COLOUR(image.pixelColor(footer.width() / 2, 2), Theme::background.color());

        // Where the links lead and what they say they do (their texts are
        // checked with the main window's Tab stops).
        QCOMPARE(footer.authorLink()->url(), QUrl(BuildInfo::authorUrl));
        QCOMPARE(footer.donationLink()->url(), QUrl(BuildInfo::donationUrl));
        QCOMPARE(footer.authorLink()->toolTip(),
                 QStringLiteral("Open ") +
                     QString(BuildInfo::authorUrl).remove(QStringLiteral("https://")) +
                     QStringLiteral(" in your browser"));
        QCOMPARE(footer.donationLink()->toolTip(),
                 QStringLiteral("Support this free tool - opens ") + BuildInfo::donationUrl);
    }
};

QTEST_MAIN(ControlsTest)
#include "tst_Controls.moc"
