#pragma once

#include <QObject>
#include <QPointer>

class QWidget;
class QWindow;

// Gives its window the theme's dark look: the `background` colour behind all
// content and the dark palette, whatever the desktop's theme. With
// hidesTitleBar the window also loses its system title bar and frame; it is
// then moved by dragging its background (any place where no control takes
// the click) and resized by dragging its edges, both through the window
// manager (QWindow::startSystemMove / startSystemResize).
//
// Create one as a child of the window, before the window is first shown:
//     new WindowConfigurator(true, mainWindow);
// The look is applied at once and again each time the window is shown.
class WindowConfigurator : public QObject {
    Q_OBJECT

public:
    WindowConfigurator(bool hidesTitleBar, QWidget* window);
    ~WindowConfigurator() override;

    bool hidesTitleBar() const { return hidesTitleBar_; }

    // Applies the look to the window again (it is never reversed).
    void apply();

    // Width of the band along each edge that resizes the window.
    static constexpr int resizeMargin = 6;

    // The edges a point (in window coordinates) is close enough to resize.
    static Qt::Edges edgesAt(const QSize& windowSize, const QPointF& position,
                             int margin = resizeMargin);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool filterWidgetEvent(QEvent* event);
    bool filterWindowEvent(QEvent* event);
    bool canResize() const;
    void showEdgeCursor(Qt::Edges edges);
    void watchWindowHandle();

    bool hidesTitleBar_;
    QPointer<QWidget> window_;
    QPointer<QWindow> handle_;
    bool overrideCursor_ = false;
};
