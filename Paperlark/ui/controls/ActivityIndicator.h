#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QWidget>

// A small spinning indicator for work in progress: a turning arc in one
// colour (cyan unless told otherwise). It turns only while it is shown, so
// binding its visibility to a busy flag is all a window needs:
//     Bind::visible(spinner, &model, &ScannerViewModel::busyChanged,
//                   [&] { return model.busy(); });
class ActivityIndicator : public QWidget {
    Q_OBJECT

public:
    explicit ActivityIndicator(QWidget* parent = nullptr, int size = 16);

    void setColour(const QColor& colour);
    const QColor& colour() const { return colour_; }

    bool isSpinning() const { return timer_.isActive(); }
    // Current angle of the arc in degrees, 0 to 359.
    int angle() const { return angle_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int size_;
    QColor colour_;
    int angle_ = 0;
    QBasicTimer timer_;
};
