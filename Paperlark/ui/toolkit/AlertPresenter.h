#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

#include <QMessageBox>
class QWidget;

// Shows an alert over a window while an optional text holds a value: title
// "Paperlark", the text as message and one "OK" button. Dismissing the alert
// in any way calls `dismiss`, which is expected to clear the text. A new text
// while the alert is open replaces its message; a cleared text closes it.
//
//     AlertPresenter::bind(window, &model, &ScannerViewModel::errorMessageChanged,
//                          [&] { return model.errorMessage(); },
//                          [&] { model.setErrorMessage(std::nullopt); });
class AlertPresenter : public QObject {
    Q_OBJECT

public:
    AlertPresenter(QWidget* window, std::function<std::optional<QString>()> message,
                   std::function<void()> dismiss);

    template <typename Source, typename Signal>
    static AlertPresenter* bind(QWidget* window, Source* source, Signal changed,
                                std::function<std::optional<QString>()> message,
                                std::function<void()> dismiss) {
        auto* presenter = new AlertPresenter(window, std::move(message), std::move(dismiss));
        QObject::connect(source, changed, presenter, &AlertPresenter::refresh);
        presenter->refresh();
        return presenter;
    }

    // Brings the alert in line with the text.
    void refresh();

    // The alert on screen, if any.
    QMessageBox* alert() const { return alert_; }

    static QString title();

private:
    QPointer<QWidget> window_;
    std::function<std::optional<QString>()> message_;
    std::function<void()> dismiss_;
    QPointer<QMessageBox> alert_;
};
