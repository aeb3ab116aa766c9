#include "ui/toolkit/WindowConfigurator.h"

#include "ui/controls/Theme.h"
#include "ui/toolkit/DarkAppearance.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

WindowConfigurator::WindowConfigurator(bool hidesTitleBar, QWidget* window)
    : QObject(window), hidesTitleBar_(hidesTitleBar), window_(window) {
    Q_ASSERT(window != nullptr);
    window->installEventFilter(this);
    apply();
}

WindowConfigurator::~WindowConfigurator() {
    showEdgeCursor(Qt::Edges());
}

void WindowConfigurator::apply() {
    if (window_ == nullptr) {
        return;
    }
    QPalette palette = DarkAppearance::palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, Theme::background.color());
    }
    window_->setPalette(palette);
    window_->setAutoFillBackground(true);
    if (hidesTitleBar_ && !window_->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        const bool wasVisible = window_->isVisible();
        window_->setWindowFlag(Qt::FramelessWindowHint, true);
        if (wasVisible) {
            // Changing the flags of a shown window hides it.
            window_->show();
        }
    }
    watchWindowHandle();
}

void WindowConfigurator::watchWindowHandle() {
    if (!hidesTitleBar_ || window_ == nullptr) {
        return;
    }
    QWindow* handle = window_->windowHandle();
    if (handle == nullptr || handle == handle_) {
        return;
    }
    if (handle_ != nullptr) {
        handle_->removeEventFilter(this);
    }
    handle_ = handle;
    handle->installEventFilter(this);
}

Qt::Edges WindowConfigurator::edgesAt(const QSize& windowSize, const QPointF& position,
                                      int margin) {
    Qt::Edges edges;
    if (position.x() < margin) {
        edges |= Qt::LeftEdge;
    } else if (position.x() >= windowSize.width() - margin) {
        edges |= Qt::RightEdge;
    }
    if (position.y() < margin) {
        edges |= Qt::TopEdge;
    } else if (position.y() >= windowSize.height() - margin) {
        edges |= Qt::BottomEdge;
    }
    return edges;
}

bool WindowConfigurator::canResize() const {
    return window_ != nullptr && !window_->isMaximized() && !window_->isFullScreen() &&
           window_->minimumSize() != window_->maximumSize();
}

void WindowConfigurator::showEdgeCursor(Qt::Edges edges) {
    if (edges == Qt::Edges()) {
        if (overrideCursor_) {
            QGuiApplication::restoreOverrideCursor();
            overrideCursor_ = false;
        }
        return;
    }
    Qt::CursorShape shape = Qt::SizeAllCursor;
    if (edges == Qt::LeftEdge || edges == Qt::RightEdge) {
        shape = Qt::SizeHorCursor;
    } else if (edges == Qt::TopEdge || edges == Qt::BottomEdge) {
        shape = Qt::SizeVerCursor;
    } else if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge)) {
        shape = Qt::SizeFDiagCursor;
    } else {
        shape = Qt::SizeBDiagCursor;
    }
    if (overrideCursor_) {
        QGuiApplication::changeOverrideCursor(shape);
    } else {
        QGuiApplication::setOverrideCursor(shape);
        overrideCursor_ = true;
    }
}

bool WindowConfigurator::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        return filterWidgetEvent(event);
    }
    if (watched == handle_ && handle_ != nullptr) {
        return filterWindowEvent(event);
    }
    return false;
}

bool WindowConfigurator::filterWidgetEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::WinIdChange:
        apply();
        break;
    case QEvent::MouseButtonPress: {
        // Presses reach the window itself only when no control under the
        // pointer took them: that is the background, which moves the window.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (hidesTitleBar_ && mouse->button() == Qt::LeftButton && handle_ != nullptr &&
            !window_->isFullScreen()) {
            if (handle_->startSystemMove()) {
                return true;
            }
        }
        break;
    }
    default:
        break;
    }
    return false;
}

bool WindowConfigurator::filterWindowEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->buttons() == Qt::NoButton) {
            showEdgeCursor(canResize() ? edgesAt(window_->size(), mouse->position()) : Qt::Edges());
        }
        break;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !canResize()) {
            break;
        }
        const Qt::Edges edges = edgesAt(window_->size(), mouse->position());
        if (edges != Qt::Edges() && handle_->startSystemResize(edges)) {
            showEdgeCursor(Qt::Edges());
            return true;
        }
        break;
    }
    case QEvent::Leave:
        showEdgeCursor(Qt::Edges());
        break;
    default:
        break;
    }
    return false;
}
