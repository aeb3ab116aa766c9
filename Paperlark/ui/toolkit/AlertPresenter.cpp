#include "ui/toolkit/AlertPresenter.h"

#include "buildinfo/BuildInfo.h"
#include "ui/controls/AppIcon.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QMessageBox>
#include <QPushButton>

AlertPresenter::AlertPresenter(QWidget* window, std::function<std::optional<QString>()> message,
                               std::function<void()> dismiss)
    : QObject(window), window_(window), message_(std::move(message)), dismiss_(std::move(dismiss)) {
}

QString AlertPresenter::title() {
    return BuildInfo::product;
}

void AlertPresenter::refresh() {
    const std::optional<QString> message = message_();
    if (!message) {
        if (alert_ != nullptr) {
            QMessageBox* alert = alert_;
            alert_ = nullptr;
            alert->disconnect(this);
            alert->close();
        }
        return;
    }
    if (alert_ != nullptr) {
        alert_->setText(*message);
        return;
    }
    auto* alert = new QMessageBox(window_);
    alert->setWindowTitle(title());
    alert->setText(*message);
    alert->setTextFormat(Qt::PlainText);
    alert->setIconPixmap(AppIcon::pixmap(48, alert->devicePixelRatioF()));
    alert->setStandardButtons(QMessageBox::Ok);
    alert->button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    alert->setEscapeButton(QMessageBox::Ok);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(window_ != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    new WindowConfigurator(false, alert);
    connect(alert, &QMessageBox::finished, this, [this, alert] {
        if (alert_ == alert) {
            alert_ = nullptr;
            dismiss_();
        }
    });
    alert_ = alert;
    alert->open();
}
