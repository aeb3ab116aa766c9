#include "ui/app/ApplicationMenu.h"

#include "buildinfo/BuildInfo.h"

#include <QAction>
#include <QDesktopServices>
#include <QUrl>

namespace {

// A menu item that opens a web address; the address travels as its data.
QAction* linkAction(QMenu* menu, const QString& text, const QString& address) {
    QAction* action = menu->addAction(text);
    action->setData(QUrl(address));
    QObject::connect(action, &QAction::triggered, action,
                     [action] { QDesktopServices::openUrl(action->data().toUrl()); });
    return action;
}

} // namespace

ApplicationMenu::ApplicationMenu(QWidget* parent) : QMenu(parent) {
    setObjectName(QStringLiteral("applicationMenu"));
    setTitle(BuildInfo::product);

    about_ = addAction(QStringLiteral("About ") + BuildInfo::product);
    connect(about_, &QAction::triggered, this, &ApplicationMenu::aboutRequested);

    tools_ = linkAction(this, QStringLiteral("More free tools"), BuildInfo::toolsUrl);
    donation_ = linkAction(this, QStringLiteral("Buy me a coffee"), BuildInfo::donationUrl);

    addSeparator();

    settings_ = addAction(QStringLiteral("Settings..."));
    settings_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings_->setShortcutContext(Qt::ApplicationShortcut);
    settings_->setMenuRole(QAction::PreferencesRole);
    connect(settings_, &QAction::triggered, this, &ApplicationMenu::settingsRequested);

    quit_ = addAction(QStringLiteral("Quit ") + BuildInfo::product);
    quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit_->setShortcutContext(Qt::ApplicationShortcut);
    quit_->setMenuRole(QAction::QuitRole);
    connect(quit_, &QAction::triggered, this, &ApplicationMenu::quitRequested);
}
