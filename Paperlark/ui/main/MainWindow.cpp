#include "ui/main/MainWindow.h"

#include "buildinfo/BuildInfo.h"
#include "model/ScannerViewModel.h"
#include "ui/controls/AppIcon.h"
#include "ui/controls/TesselFooter.h"
#include "ui/controls/TesselHeader.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QEvent>
#include <QMenu>
#include <QScreen>
#include <QVBoxLayout>

MainWindow::MainWindow(ScannerViewModel& model, QWidget* parent)
    : ContentWindow(new QWidget, parent), model_(model), header_(new TesselHeader(this)),
      footer_(new TesselFooter(model.status(), this)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(BuildInfo::product);
    setWindowIcon(AppIcon::icon());
    resize(startingWindowSize);
    fitScreen();
    new WindowConfigurator(true, this);

    header_->setWindowButtonsVisible(true);
    contentView()->setObjectName(QStringLiteral("contentPlaceholder"));
    contentView()->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    column()->addWidget(header_);
    column()->addWidget(contentView(), 1);
    column()->addWidget(footer_);

    connect(&model_, &ScannerViewModel::statusChanged, footer_,
            [this] { footer_->setTrailingStatus(model_.status()); });
}

void MainWindow::setApplicationMenu(QMenu* menu) {
    header_->setMenu(menu);
    if (menu != nullptr) {
        addActions(menu->actions());
    }
}

void MainWindow::fitScreen() {
    const QScreen* shown = screen();
    if (shown == nullptr) {
        setMinimumSize(minimumWindowSize);
        return;
    }
    const QSize available = shown->availableGeometry().size();
    setMinimumSize(minimumWindowSize.boundedTo(available));
    if (!isMaximized() && !isFullScreen() &&
        (width() > available.width() || height() > available.height())) {
        resize(size().boundedTo(available));
    }
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show) {
        fitScreen();
    }
    return ContentWindow::event(event);
}

void MainWindow::contentViewReplaced() {
    // The new content came last in the Tab order; the footer's links go
    // back after it.
    QWidget* last = contentView();
    for (QWidget* next = last->nextInFocusChain(); contentView()->isAncestorOf(next);
         next = next->nextInFocusChain()) {
        last = next;
    }
    for (QWidget* link : footer_->findChildren<QWidget*>()) {
        if ((link->focusPolicy() & Qt::TabFocus) != 0) {
            QWidget::setTabOrder(last, link);
            last = link;
        }
    }
}
