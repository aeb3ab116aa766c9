#pragma once

#include <QWidget>

// One line of text whose letters show the brand gradient, cyan at the
// leading end of the text to violet at the trailing end.
class GradientText : public QWidget {
    Q_OBJECT

public:
    GradientText(const QString& text, const QFont& font, QWidget* parent = nullptr);

    const QString& text() const { return text_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};
