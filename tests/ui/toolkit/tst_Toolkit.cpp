// The helpers the windows are written with: bindings, the alert presenter,
// window chrome, named actions and symbols. (The sheet presenter and the
// activity indicator are tested where the main window uses them.)
#include "../UiTestSupport.h"

#include "ui/app/ApplicationActions.h"
#include "ui/controls/SymbolImage.h"
#include "ui/toolkit/AlertPresenter.h"
#include "ui/toolkit/Bindings.h"
#include "ui/toolkit/DarkAppearance.h"
#include "ui/toolkit/WindowActivation.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QMessageBox>
#include <QPainter>
#include <QtTest>

#include <optional>

// Stands in for the view model: a few values and one change signal.
class Store : public QObject {
    Q_OBJECT

public:
    QString text;
    QVariant choice;
    QList<PickerEntry> entries;
    std::optional<QString> message;
    int writes = 0;
    int actions = 0;

    void announce() { Q_EMIT changed(); }

public Q_SLOTS:
    void showSettingsWindow() { ++actions; }

Q_SIGNALS:
    void changed();
};

class ToolkitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DarkAppearance::apply(*qApp); }

    void textBindingGoesBothWays() {
        Store store;
        store.text = QStringLiteral("~/Scans");
        QLineEdit field;
        Bind::text(
            &field, &store, &Store::changed, [&] { return store.text; },
            [&](const QString& value) {
                store.text = value;
                ++store.writes;
                store.announce();
            });
        QCOMPARE(field.text(), QStringLiteral("~/Scans"));

        // The user's typing reaches the store, one keystroke at a time, and the
        // cursor stays where the user is typing.
        field.setCursorPosition(1);
        QTest::keyClick(&field, Qt::Key_X);
        QCOMPARE(store.text, QStringLiteral("~x/Scans"));
        QCOMPARE(store.writes, 1);
        QCOMPARE(field.cursorPosition(), 2);

        // A change made elsewhere shows in the field without writing back.
        store.text = QStringLiteral("/tmp");
        store.announce();
        QCOMPARE(field.text(), QStringLiteral("/tmp"));
        QCOMPARE(store.writes, 1);
    }

    void pickerFollowsEntriesAndValue() {
        Store store;
        store.entries = {{QStringLiteral("No scanner found"), QString()}};
        store.choice = QString();
        QList<QVariant> chosen;
        QComboBox picker;
        Bind::picker(
            &picker, &store, &Store::changed, [&] { return store.entries; },
            [&] { return store.choice; }, [&](const QVariant& tag) { chosen.append(tag); });
        QCOMPARE(picker.count(), 1);
        QCOMPARE(picker.currentText(), QStringLiteral("No scanner found"));

        // The entries change (scanners appear); the value picks its entry.
        store.entries = {{QStringLiteral("Flatbed A"), QStringLiteral("test:0")},
                         {QStringLiteral("Feeder B"), QStringLiteral("test:1")}};
        store.choice = QStringLiteral("test:1");
        store.announce();
        QCOMPARE(picker.count(), 2);
        QCOMPARE(picker.currentText(), QStringLiteral("Feeder B"));
        QVERIFY(chosen.isEmpty()); // updates from the store are not echoed back

        // The user's choice hands over the entry's tag.
        Q_EMIT picker.activated(0);
        QCOMPARE(chosen, QList<QVariant>{QStringLiteral("test:0")});
    }

    void alertFollowsOptionalText() {
        Store store;
        QWidget window;
        window.show();
        int dismissed = 0;
        auto* presenter = AlertPresenter::bind(
            &window, &store, &Store::changed, [&] { return store.message; },
            [&] {
                ++dismissed;
                store.message.reset();
                store.announce();
            });
        QVERIFY(presenter->alert() == nullptr);

        // An empty text is still a message. (The text shown, and OK, are
        // checked through the main window.)
        store.message = QString();
        store.announce();
        QMessageBox* alert = presenter->alert();
        QVERIFY(alert != nullptr && alert->isVisible());
        QCOMPARE(alert->windowTitle(), QStringLiteral("Paperlark"));
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(alert->windowModality(), Qt::WindowModal);

        // OK dismisses: the text is cleared and no second alert appears.
        alert->buttons().first()->click();
        QCOMPARE(dismissed, 1);
        QVERIFY(!store.message.has_value());
        QVERIFY(presenter->alert() == nullptr);

        // Escape dismisses too; clearing the text closes an open alert.
        store.message = QStringLiteral("Second");
        store.announce();
        QTest::keyClick(presenter->alert(), Qt::Key_Escape);
        QCOMPARE(dismissed, 2);
        store.message = QStringLiteral("Third");
        store.announce();
        QPointer<QMessageBox> third = presenter->alert();
        store.message.reset();
        store.announce();
        QVERIFY(presenter->alert() == nullptr);
        QTRY_VERIFY(third == nullptr || !third->isVisible());
        QCOMPARE(dismissed, 2);
    }

    void windowConfiguratorGivesDarkChrome() {
        QWidget framed;
        new WindowConfigurator(false, &framed);
        QWidget frameless;
        auto* configurator = new WindowConfigurator(true, &frameless);
        QVERIFY(configurator->hidesTitleBar());
        for (QWidget* window : {&framed, &frameless}) {
            window->resize(200, 100);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const QImage image = window->grab().toImage();
            UI_COMPARE_COLOUR(image.pixelColor(100, 50), Theme::background.color());
            QCOMPARE(window->palette().color(QPalette::Window), Theme::background.color());
        }
        QVERIFY(!framed.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(frameless.windowFlags().testFlag(Qt::FramelessWindowHint));
        // Applying again never reverses anything and keeps the window shown.
        configurator->apply();
        QVERIFY(frameless.isVisible());
        QVERIFY(frameless.windowFlags().testFlag(Qt::FramelessWindowHint));

        const QSize size(940, 620);
        QCOMPARE(WindowConfigurator::edgesAt(size, {400, 300}), Qt::Edges());
        QCOMPARE(WindowConfigurator::edgesAt(size, {2, 300}), Qt::LeftEdge);
        QCOMPARE(WindowConfigurator::edgesAt(size, {939, 615}), Qt::RightEdge | Qt::BottomEdge);
        QCOMPARE(WindowConfigurator::edgesAt(size, {6, 6}), Qt::Edges());
    }

    // A window brought forward comes back from the minimised state; its
    // activation token goes to Qt's Wayland activation request (which reads
    // XDG_ACTIVATION_TOKEN) and nowhere on other platforms.
    void bringToFrontUsesTheTokenOnWayland() {
        QWidget window;
        window.showMinimized();
        qunsetenv("XDG_ACTIVATION_TOKEN");
        WindowActivation::bringToFront(window, QStringLiteral("token-0"), QStringLiteral("xcb"));
        QVERIFY(window.isVisible() && !window.isMinimized());
        QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
        WindowActivation::bringToFront(window, QStringLiteral("token-1"),
                                       QStringLiteral("wayland"));
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), QByteArray("token-1"));
        qunsetenv("XDG_ACTIVATION_TOKEN");
    }

    void namedActionsReachTheirTarget() {
        QVERIFY(!ApplicationActions::send("showSettingsWindow"));
        {
            Store target;
            ApplicationActions::setTarget(&target);
            QVERIFY(ApplicationActions::send("showSettingsWindow"));
            QCOMPARE(target.actions, 1);
            QVERIFY(!ApplicationActions::send("noSuchAction"));
        }
        // A target that is gone is never called.
        QVERIFY(!ApplicationActions::send("showSettingsWindow"));
    }

    void everySymbolDraws() {
        for (const QString& name : SymbolImage::names()) {
            const QImage image = SymbolImage::pixmap(name, Theme::cyan.color(), 24).toImage();
            int inked = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    inked += image.pixelColor(x, y).alpha() >= 128 ? 1 : 0;
                }
            }
            QVERIFY2(inked >= 8, qPrintable(name));
        }
        QVERIFY(!SymbolImage::exists(QStringLiteral("no.such.symbol")));
    }
};

QTEST_MAIN(ToolkitTest)
#include "tst_Toolkit.moc"
