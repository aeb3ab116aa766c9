#include "ui/settings/SettingsWindow.h"

#include "buildinfo/BuildInfo.h"
#include "ui/controls/AppIcon.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QVBoxLayout>

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
}
