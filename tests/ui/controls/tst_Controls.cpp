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

    void buttonStylesInEveryState_data() {
        QTest::addColumn<ButtonStyle>("style");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QColor>("fill");
        QTest::addColumn<QColor>("border");
        QTest::addColumn<QColor>("foreground");

        const QColor disabledFill = Theme::elevated.color(0.4);
        const QColor disabledText = Theme::muted.color(0.5);
        const QColor line = Theme::line.color();
        const struct {
            const char* name;
            ButtonStyle style;
            QColor rest, pressed, border, foreground;
        } styles[] = {
            {"primary", PrimaryButtonStyle(), Theme::cyan.color(0.2), Theme::cyan.color(0.32),
             Theme::cyan.color(), Theme::ink.color()},
            {"secondary", SecondaryButtonStyle(), Theme::elevated.color(),
             Theme::lineBright.color(0.4), Theme::line.color(), Theme::ink.color()},
            {"danger", DangerButtonStyle(), Theme::danger.color(0.16), Theme::danger.color(0.3),
             Theme::danger.color(), Theme::danger.color()},
        };
        for (const auto& s : styles) {
            QTest::addRow("%s at rest", s.name)
                << s.style << "rest" << s.rest << s.border << s.foreground;
            QTest::addRow("%s pressed", s.name)
                << s.style << "pressed" << s.pressed << s.border << s.foreground;
            // Disabled, all three styles look the same.
            QTest::addRow("%s disabled", s.name)
                << s.style << "disabled" << disabledFill << line << disabledText;
        }
    }

    void buttonStylesInEveryState() {
        QFETCH(ButtonStyle, style);
        QFETCH(QString, state);
        QFETCH(QColor, fill);
        QFETCH(QColor, border);
        QFETCH(QColor, foreground);

        // A full block glyph gives the label pixels that are entirely text.
        auto* button = new FlatButton(QStringLiteral("\u2588"), style);
        UiTest::Backdrop backdrop(button);
        if (state == QLatin1String("pressed")) {
            button->setDown(true);
        } else if (state == QLatin1String("disabled")) {
            button->setEnabled(false);
        }
        const QImage image = backdrop.grab();
        const QColor under = Theme::background.color();
        const QColor seenFill = blend(fill, under);
        const int middle = image.height() / 2;

        UI_COMPARE_COLOUR(image.pixelColor(5, middle), seenFill);
        UI_COMPARE_COLOUR(image.pixelColor(image.width() - 6, middle), seenFill);
        UI_COMPARE_COLOUR(image.pixelColor(image.width() / 2, 0), blend(border, seenFill));
        UI_COMPARE_COLOUR(image.pixelColor(image.width() / 2, image.height() - 1),
                          blend(border, seenFill));
        UI_COMPARE_COLOUR(image.pixelColor(0, middle), blend(border, seenFill));
        UI_COMPARE_COLOUR(image.pixelColor(image.width() / 2, middle), blend(foreground, seenFill));
    }

    void headerIsDrawnAsTabled() {
        auto* header = new TesselHeader;
        QCOMPARE(header->versionBadge()->text(), QStringLiteral("v") + BuildInfo::version());
        QCOMPARE(VersionBadge::textFor(QString()), QStringLiteral("v"));
        UiTest::Backdrop backdrop(header, Theme::violet);
        backdrop.frame()->resize(1000, header->sizeHint().height());
        backdrop.frame()->layout()->activate();
        const QImage image = backdrop.grab();
        QCOMPARE(image.width(), 1000);

        // Hairline under the banner, plain background between the glows, a
        // cyan glow leading and a violet one trailing.
        UI_COMPARE_COLOUR(image.pixelColor(500, image.height() - 1), Theme::line.color());
        UI_COMPARE_COLOUR(image.pixelColor(500, 10), Theme::background.color());
        const QColor nearCyan = image.pixelColor(30, 60);
        QVERIFY(nearCyan.blue() - Theme::background.color().blue() >
                nearCyan.red() - Theme::background.color().red());
        const QColor nearViolet = image.pixelColor(900, 10);
        QVERIFY(nearViolet.red() > Theme::background.color().red() + 5);

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
            // Rounded corners leave the backdrop showing.
            UI_COMPARE_COLOUR(image.pixelColor(0, 0), Theme::background.color());
            // The accent bar: 2 high, 10 in from each side, cyan to violet.
            UI_COMPARE_COLOUR(image.pixelColor(5, 0), Theme::background.color());
            QVERIFY(UiTest::near(image.pixelColor(12, 0), Theme::cyan.color(), 8));
            QVERIFY(UiTest::near(image.pixelColor(287, 1), Theme::violet.color(), 8));
            UI_COMPARE_COLOUR(image.pixelColor(150, 2), Theme::surface.color());
        }
    }

    void footerLayouts() {
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
    }

    void footerLinks() {
        TesselFooter footer(QStringLiteral("Ready."));
        QCOMPARE(footer.authorLink()->text(), QStringLiteral("Brannock"));
        QCOMPARE(footer.authorLink()->url(), QUrl(BuildInfo::authorUrl));
        QCOMPARE(footer.donationLink()->text(), QStringLiteral("\u2615 Buy me a coffee"));
        QCOMPARE(footer.donationLink()->url(), QUrl(BuildInfo::donationUrl));

        QString address = BuildInfo::authorUrl;
        QVERIFY(address.startsWith(QStringLiteral("https://")));
        address.remove(0, 8);
        QCOMPARE(footer.authorLink()->toolTip(),
                 QStringLiteral("Open ") + address + QStringLiteral(" in your browser"));
        QCOMPARE(footer.donationLink()->toolTip(),
                 QStringLiteral("Support this free tool - opens ") + BuildInfo::donationUrl);
    }
};

QTEST_MAIN(ControlsTest)
#include "tst_Controls.moc"
