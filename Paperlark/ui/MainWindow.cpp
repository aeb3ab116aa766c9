#include "ui/MainWindow.h"

#include "buildinfo/BuildInfo.h"
#include "model/ScannerViewModel.h"
#include "ui/AppIcon.h"
#include "ui/TesselFooter.h"
#include "ui/TesselHeader.h"
#include "ui/WindowConfigurator.h"

#include <QCloseEvent>
#include <QMenu>
#include <QVBoxLayout>

MainWindow::MainWindow(ScannerViewModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), column_(new QVBoxLayout(this)),
      header_(new TesselHeader(this)), content_(new QWidget(this)),
      footer_(new TesselFooter(model.status(), this)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(BuildInfo::product);
    setWindowIcon(AppIcon::icon());
    setMinimumSize(minimumWindowSize);
    resize(1100, 760);
    new WindowConfigurator(true, this);

    header_->setWindowButtonsVisible(true);
    content_->setObjectName(QStringLiteral("contentPlaceholder"));
    content_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(0);
    column_->addWidget(header_);
    column_->addWidget(content_, 1);
    column_->addWidget(footer_);

    connect(&model_, &ScannerViewModel::statusChanged, footer_,
            [this] { footer_->setTrailingStatus(model_.status()); });
}

MainWindow::~MainWindow() {
    disappear();
}

void MainWindow::setContentView(QWidget* content) {
    if (content == nullptr || content == content_) {
        return;
    }
    QWidget* old = content_;
    content_ = content;
    column_->replaceWidget(old, content);
    content->show();
    column_->setStretchFactor(content, 1);
    old->deleteLater();
}

void MainWindow::setApplicationMenu(QMenu* menu) {
    header_->setMenu(menu);
    if (menu != nullptr) {
        addActions(menu->actions());
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        disappear();
    }
}

void MainWindow::disappear() {
    if (disappeared_) {
        return;
    }
    disappeared_ = true;
    Q_EMIT contentDisappeared();
}
