#include "ui/settings/SettingsWindow.h"

#include "buildinfo/BuildInfo.h"
#include "ui/controls/AppIcon.h"
#include "ui/settings/SettingsView.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QAction>
#include <QKeyEvent>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

SettingsWindow::SettingsWindow(QWidget* parent) : ContentWindow(new QWidget, parent) {
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(BuildInfo::product + QStringLiteral(" Settings"));
    setWindowIcon(AppIcon::icon());
    setAttribute(Qt::WA_DeleteOnClose);
    new WindowConfigurator(false, this);

    contentView()->setObjectName(QStringLiteral("settingsPlaceholder"));
    contentView()->setFixedSize(520, 400);
    column()->addWidget(contentView());
    column()->setSizeConstraint(QLayout::SetFixedSize);

    // Escape is handled as a key press (see keyPressEvent), Ctrl+W as a shortcut.
    auto* closeAction = new QAction(this);
    closeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    closeAction->setShortcutContext(Qt::WindowShortcut);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);
}

void SettingsWindow::showEvent(QShowEvent* event) {
    // Before the window reaches the screen, so it appears in its place.
    if (!event->spontaneous() && !placed_) {
        placed_ = true;
        place();
    }
    ContentWindow::showEvent(event);
}

void SettingsWindow::keyPressEvent(QKeyEvent* event) {
    // Only an Escape no control took reaches the window: one in an open
    // picker closes the picker, as in a dialog.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        close();
        return;
    }
    ContentWindow::keyPressEvent(event);
}

void SettingsWindow::place() {
    const QWidget* over = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    const QScreen* screen = over != nullptr ? over->screen() : this->screen();
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    // The frame around the content, as far as it is known: nothing before
    // the window was first on screen. Room is kept for a title bar at least
    // as tall as the style draws one.
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    const int titleBar =
        std::max(frame.top(), style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    const int unknownTitle = titleBar - frame.top();
    if (auto* view = qobject_cast<SettingsView*>(contentView()); view != nullptr) {
        view->fitWithin(available.size() -
                        QSize(frame.left() + frame.right(), titleBar + frame.bottom()));
    }
    layout()->activate();

    QRect placed(QPoint(), size().grownBy(frame));
    placed.moveCenter(over != nullptr ? over->frameGeometry().center() : available.center());
    const int right = available.right() + 1 - placed.width();
    const int bottom = available.bottom() + 1 - unknownTitle - placed.height();
    placed.moveLeft(std::max(available.left(), std::min(placed.left(), right)));
    placed.moveTop(std::max(available.top(), std::min(placed.top(), bottom)));
    move(placed.topLeft());
}
