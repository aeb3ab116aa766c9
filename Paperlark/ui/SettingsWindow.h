#pragma once

#include <QWidget>

class QVBoxLayout;

// The settings window: an ordinary top-level window with its normal title
// bar, drawn dark on the theme's `background`. Its content view comes from
// setContentView(); the window takes the content's size.
//
// The application keeps at most one open; closing it destroys it (and its
// content) after contentDisappeared() has been emitted.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Replaces the content view; the window takes ownership.
    void setContentView(QWidget* content);
    QWidget* contentView() const { return content_; }

Q_SIGNALS:
    void contentDisappeared();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void disappear();

    QVBoxLayout* column_;
    QWidget* content_;
    bool disappeared_ = false;
};
