#pragma once

#include <QPointer>
#include <QWidget>

class FlatButton;
class GradientText;
class QLabel;
class QMenu;
class VersionBadge;
class WindowButtons;

// The full-width banner at the top of the main window: the gradient "tessel"
// title over the product name, the version badge at the trailing end, two
// soft glows on the dark background and a hairline underneath.
//
// The 78-point leading area holds the window's own close, minimise and
// maximise buttons when the window has no system title bar
// (setWindowButtonsVisible), and a menu button follows the badge once a menu
// is set (setMenu).
class TesselHeader : public QWidget {
    Q_OBJECT

public:
    explicit TesselHeader(QWidget* parent = nullptr);

    void setWindowButtonsVisible(bool visible);
    WindowButtons* windowButtons() const { return windowButtons_; }

    // Shows `menu` from a button at the trailing end; nullptr removes it.
    void setMenu(QMenu* menu);
    FlatButton* menuButton() const { return menuButton_; }

    GradientText* title() const { return title_; }
    QLabel* productName() const { return productName_; }
    VersionBadge* versionBadge() const { return badge_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeWindowButtons();

    GradientText* title_;
    QLabel* productName_;
    VersionBadge* badge_;
    FlatButton* menuButton_;
    WindowButtons* windowButtons_;
    QPointer<QMenu> menu_;
};
