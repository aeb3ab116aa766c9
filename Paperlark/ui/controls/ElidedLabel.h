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

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};
