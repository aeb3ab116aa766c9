#pragma once

#include "model/DesktopServices.h"

#include <QPointer>
#include <QWidget>

// The desktop services of the running application: Qt file dialogs, a
// message box and QDesktopServices. Dialogs are modal to the parent widget
// given at construction (application-modal when there is none or it is gone).
class QtDesktopServices : public DesktopServices {
public:
    explicit QtDesktopServices(QWidget* parent = nullptr);

    // Changes the widget the dialogs are shown over.
    void setParentWidget(QWidget* parent);

    QList<QUrl> chooseImageFiles() override;
    std::optional<QUrl> chooseFolder(const QUrl& startFolder) override;
    bool confirmDiscardAllPages() override;
    bool confirmRestorePages(const QString& question) override;
    bool confirmQuitDiscarding(int unsavedPages) override;
    void openUrl(const QUrl& url) override;

private:
    // A warning alert titled "Paperlark" with two buttons; true for `yes`.
    // Escape means `no`.
    bool ask(const QString& text, const QString& yes, const QString& no, bool yesIsDefault);

    QPointer<QWidget> parent_;
};
