#pragma once

#include <QWidget>

#include <optional>

// Close, minimise and maximise for a window without a system title bar:
// three small round buttons side by side. Their symbols show while the
// pointer is over the group; in an inactive window they are drawn plain.
class WindowButtons : public QWidget {
    Q_OBJECT

public:
    enum class Button { close, minimise, maximise };

    explicit WindowButtons(QWidget* parent = nullptr);

    // Where a button sits, in this widget's coordinates.
    QRect buttonRect(Button button) const;

    QSize sizeHint() const override;

    // Does what the button does to the window this widget is in.
    void trigger(Button button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::optional<Button> buttonAt(const QPoint& position) const;

    bool hovered_ = false;
    std::optional<Button> pressed_;
};
