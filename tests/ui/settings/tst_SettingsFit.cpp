// The settings window at its size shows every control of every tab whole,
// without scrolling, with every toggle the Defaults tab has. CTest
// runs it on the offscreen platform's default screen and on a 1920 x 1080
// screen at scale factors 1, 1.5 and 2.
#include "../../model/FakeDesktopServices.h"
#include "../../model/TestHome.h"

#include "model/ScannerViewModel.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/toolkit/DarkAppearance.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QtTest>

class SettingsFitTest : public QObject {
    Q_OBJECT

    std::optional<TestHome> home_;

private Q_SLOTS:
    void initTestCase() {
        home_.emplace();
        DarkAppearance::apply(*qApp);
    }
    void cleanupTestCase() { home_.reset(); }

    void everyControlShowsWholeAtTheWindowSize() {
        // A run meant for a given screen must get it, or it proves nothing.
        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect available = screen->availableGeometry();
        if (const QByteArray scale = qgetenv("QT_SCALE_FACTOR"); !scale.isEmpty()) {
            const QSize physical =
                (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize();
            QCOMPARE(physical, QSize(1920, 1080));
            QCOMPARE(screen->devicePixelRatio(), scale.toDouble());
        }

        ScannerViewModel model(std::make_shared<FakeDesktopServices>());
        model.editSettings([](AppSettings& s) { s.emailMethod = EmailMethod::smtp; });
        QWidget main;
        main.resize(available.size() / 2);
        main.move(available.topLeft());
        main.show();
        QPointer<SettingsWindow> window = new SettingsWindow(&main);
        auto* view = new SettingsView(model);
        window->setContentView(view);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QVERIFY2(available.contains(window->frameGeometry()),
                 qPrintable(QStringLiteral("window %1 x %2 at %3,%4 on a screen of %5 x %6")
                                .arg(window->width())
                                .arg(window->height())
                                .arg(window->x())
                                .arg(window->y())
                                .arg(available.width())
                                .arg(available.height())));
        QCOMPARE(view->size(), view->sizeHint());

        QTabWidget* tabs = view->tabs();
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            QWidget* page = tabs->currentWidget();
            if (auto* area = qobject_cast<QScrollArea*>(page); area != nullptr) {
                QVERIFY2(area->verticalScrollBar()->maximum() == 0 &&
                             area->horizontalScrollBar()->maximum() == 0,
                         qPrintable(tabs->tabText(tab) + QStringLiteral(" scrolls")));
            }
            const QRect shown = page->rect();
            int checked = 0;
            for (QWidget* control : page->findChildren<QWidget*>()) {
                const bool isControl =
                    qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control) ||
                    qobject_cast<QLineEdit*>(control) || qobject_cast<QAbstractSpinBox*>(control) ||
                    qobject_cast<QAbstractSlider*>(control) || qobject_cast<QLabel*>(control);
                if (!isControl || !control->isVisibleTo(page) ||
                    qobject_cast<QScrollBar*>(control->parentWidget()) ||
                    control->parentWidget()->inherits("QAbstractSpinBox")) {
                    continue;
                }
                const QString what =
                    tabs->tabText(tab) + u' ' + control->metaObject()->className() + u' ' +
                    control->objectName() + u' ' + control->property("text").toString();
                const QRect area(control->mapTo(page, QPoint(0, 0)), control->size());
                QVERIFY2(shown.contains(area), qPrintable(what + QStringLiteral(" is cut off")));
                // Not squeezed below what it needs to show itself whole.
                const auto* label = qobject_cast<QLabel*>(control);
                const QSize needed = label != nullptr && !label->wordWrap()
                                         ? control->sizeHint()
                                         : control->minimumSizeHint();
                QVERIFY2(control->width() >= needed.width() && control->height() >= needed.height(),
                         qPrintable(what + QStringLiteral(" is squeezed")));
                ++checked;
            }
            QVERIFY(checked >= 5);
        }
        window->close();
    }
};

QTEST_MAIN(SettingsFitTest)
#include "tst_SettingsFit.moc"
