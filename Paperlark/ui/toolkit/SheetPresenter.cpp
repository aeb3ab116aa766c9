#include "ui/toolkit/SheetPresenter.h"

#include "ui/toolkit/WindowConfigurator.h"

#include <QDialog>

SheetPresenter::SheetPresenter(QWidget* window, std::function<bool()> shown,
                               std::function<QDialog*(QWidget* parent)> make,
                               std::function<void()> hide)
    : QObject(window), window_(window), shown_(std::move(shown)), make_(std::move(make)),
      hide_(std::move(hide)) {}

void SheetPresenter::refresh() {
    const bool shown = shown_();
    if (!shown) {
        if (sheet_ != nullptr) {
            QDialog* sheet = sheet_;
            sheet_ = nullptr;
            sheet->close();
        }
        return;
    }
    if (sheet_ != nullptr) {
        return;
    }
    QDialog* sheet = make_(window_);
    if (sheet == nullptr) {
        hide_();
        return;
    }
    if (sheet->findChild<WindowConfigurator*>(QString(), Qt::FindDirectChildrenOnly) == nullptr) {
        new WindowConfigurator(false, sheet);
    }
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(window_ != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    connect(sheet, &QDialog::finished, this, [this, sheet] {
        if (sheet_ == sheet) {
            sheet_ = nullptr;
            if (shown_()) {
                hide_();
            }
        }
    });
    sheet_ = sheet;
    sheet->open();
}
