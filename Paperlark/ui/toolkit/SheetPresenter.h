#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include <QDialog>
class QWidget;

// Shows a window-modal dialog over a window while a flag is true. The dialog
// is made by `make` each time the flag turns true (so it starts from fresh
// state) and destroyed when it closes. Closing it in any way (accept,
// reject, Escape, the close button) calls `hide`, which is expected to clear
// the flag; clearing the flag closes the dialog.
//
//     SheetPresenter::bind(window, &model, &ScannerViewModel::emailSheetVisibleChanged,
//                          [&] { return model.emailSheetVisible(); },
//                          [&](QWidget* parent) { return new EmailSheet(model, parent); },
//                          [&] { model.setEmailSheetVisible(false); });
class SheetPresenter : public QObject {
    Q_OBJECT

public:
    SheetPresenter(QWidget* window, std::function<bool()> shown,
                   std::function<QDialog*(QWidget* parent)> make, std::function<void()> hide);

    template <typename Source, typename Signal>
    static SheetPresenter*
    bind(QWidget* window, Source* source, Signal changed, std::function<bool()> shown,
         std::function<QDialog*(QWidget* parent)> make, std::function<void()> hide) {
        auto* presenter =
            new SheetPresenter(window, std::move(shown), std::move(make), std::move(hide));
        QObject::connect(source, changed, presenter, &SheetPresenter::refresh);
        presenter->refresh();
        return presenter;
    }

    void refresh();

    // The dialog on screen, if any.
    QDialog* sheet() const { return sheet_; }

private:
    QPointer<QWidget> window_;
    std::function<bool()> shown_;
    std::function<QDialog*(QWidget*)> make_;
    std::function<void()> hide_;
    QPointer<QDialog> sheet_;
};
