#include "ui/SettingsWindow.h"

#include "buildinfo/BuildInfo.h"
#include "ui/AppIcon.h"
#include "ui/WindowConfigurator.h"

#include <QCloseEvent>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), column_(new QVBoxLayout(this)), content_(new QWidget(this)) {
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(BuildInfo::product + QStringLiteral(" Settings"));
    setWindowIcon(AppIcon::icon());
    setAttribute(Qt::WA_DeleteOnClose);
    new WindowConfigurator(false, this);

    content_->setObjectName(QStringLiteral("settingsPlaceholder"));
    content_->setFixedSize(520, 400);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(0);
    column_->addWidget(content_);
    column_->setSizeConstraint(QLayout::SetFixedSize);
}

SettingsWindow::~SettingsWindow() {
    disappear();
}

void SettingsWindow::setContentView(QWidget* content) {
    if (content == nullptr || content == content_) {
        return;
    }
    QWidget* old = content_;
    content_ = content;
    column_->replaceWidget(old, content);
    content->show();
    old->deleteLater();
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        disappear();
    }
}

void SettingsWindow::disappear() {
    if (disappeared_) {
        return;
    }
    disappeared_ = true;
    Q_EMIT contentDisappeared();
}
