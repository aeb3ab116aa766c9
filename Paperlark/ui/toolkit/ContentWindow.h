#pragma once

#include <QWidget>

#include <functional>

class QVBoxLayout;

// A top-level window built around one exchangeable content view, stacked in
// a column with whatever the window adds around it. contentDisappeared() is
// emitted exactly once, when the window is closed or destroyed, whichever
// comes first.
class ContentWindow : public QWidget {
    Q_OBJECT

public:
    ~ContentWindow() override;

    // Replaces the content view in place (same position and stretch in the
    // column); the window takes ownership and deletes the old one.
    void setContentView(QWidget* content);
    QWidget* contentView() const { return content_; }

    // Asked before the window closes (by its close button, Ctrl+Q or
    // close()); returning false keeps it open. None: it always closes.
    void setCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }

Q_SIGNALS:
    void contentDisappeared();

protected:
    // `placeholder` is the first content view; the subclass adds it (and
    // anything around it) to column().
    ContentWindow(QWidget* placeholder, QWidget* parent);

    QVBoxLayout* column() const { return column_; }
    void closeEvent(QCloseEvent* event) override;
    // Called once a new content view is in place.
    virtual void contentViewReplaced() {}

private:
    void disappear();

    QVBoxLayout* column_;
    QWidget* content_;
    std::function<bool()> closeGuard_;
    bool disappeared_ = false;
};
