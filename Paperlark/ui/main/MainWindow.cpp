#include "ui/main/MainWindow.h"

#include "buildinfo/BuildInfo.h"
#include "model/ScannerViewModel.h"
#include "ui/controls/AppIcon.h"
#include "ui/controls/TesselFooter.h"
#include "ui/controls/TesselHeader.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QMenu>
#include <QVBoxLayout>

MainWindow::MainWindow(ScannerViewModel& model, QWidget* parent)
    : ContentWindow(new QWidget, parent), model_(model), header_(new TesselHeader(this)),
      footer_(new TesselFooter(model.status(), this)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(BuildInfo::product);
    setWindowIcon(AppIcon::icon());
    setMinimumSize(minimumWindowSize);
    resize(1100, 760);
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
