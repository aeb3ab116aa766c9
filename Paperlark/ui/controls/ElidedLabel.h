#pragma once

#include <QWidget>

// One line of text that never wraps: when it does not fit, the middle of the
// text gives way to an ellipsis so both ends stay readable.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);

    // What is drawn at the current width.
    QString displayedText() const;

    // A label that reports outcomes (a status line): screen readers see it
    // as a status bar and are told of every change of its text. Set before
    // the label is shown.
    bool announcesChanges() const { return announcesChanges_; }
    void setAnnouncesChanges(bool announces) { announcesChanges_ = announces; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    bool announcesChanges_ = false;
};
