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
    void openUrl(const QUrl& url) override;

private:
    QPointer<QWidget> parent_;
};
