#pragma once

#include <QMenu>

class QAction;

// The application menu, opened from the button at the trailing end of the
// main window's header:
//   About Paperlark / More free tools / Buy me a coffee / ---- /
//   Settings... (Ctrl+,) / Quit Paperlark (Ctrl+Q)
// There is deliberately no way to open a second main window.
//
// The two links open their addresses in the browser themselves; the other
// items are announced by signals for the application to act on. The
// shortcuts work in every window once the actions are also added to a
// window (QWidget::addActions(menu->actions())).
class ApplicationMenu : public QMenu {
    Q_OBJECT

public:
    explicit ApplicationMenu(QWidget* parent = nullptr);

    QAction* aboutAction() const { return about_; }
    QAction* toolsAction() const { return tools_; }
    QAction* donationAction() const { return donation_; }
    QAction* settingsAction() const { return settings_; }
    QAction* quitAction() const { return quit_; }

Q_SIGNALS:
    void aboutRequested();
    void settingsRequested();
    void quitRequested();

private:
    QAction* about_;
    QAction* tools_;
    QAction* donation_;
    QAction* settings_;
    QAction* quit_;
};
