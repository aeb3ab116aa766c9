#include "ui/controls/TesselHeader.h"

#include "buildinfo/BuildInfo.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/GradientText.h"
#include "ui/controls/Labels.h"
#include "ui/controls/Theme.h"
#include "ui/controls/VersionBadge.h"
#include "ui/controls/WindowButtons.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QRadialGradient>
#include <QVBoxLayout>

namespace {

constexpr int leadingArea = 78;

// A soft round glow: `colour` at 0.1 opacity in the centre of `frame`,
// fading to clear at `radius`.
void paintGlow(QPainter& painter, const QRectF& frame, double radius,
               const Theme::Palette& colour) {
    QRadialGradient glow(frame.center(), radius);
    glow.setColorAt(0.0, colour.color(0.1));
    glow.setColorAt(1.0, colour.color(0.0));
    painter.fillRect(frame, glow);
}

} // namespace

TesselHeader::TesselHeader(QWidget* parent)
    : QWidget(parent),
      title_(new GradientText(QStringLiteral("tessel"), Theme::font(24, QFont::Bold), this)),
      productName_(Labels::text(BuildInfo::product, 12, QFont::Normal, Theme::muted, this)),
      badge_(new VersionBadge(BuildInfo::version(), this)),
      menuButton_(new FlatButton(QString(), SecondaryButtonStyle(), this)),
      windowButtons_(new WindowButtons(this)) {
    setObjectName(QStringLiteral("tesselHeader"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    badge_->setObjectName(QStringLiteral("versionBadge"));

    auto* brand = new QVBoxLayout;
    brand->setSpacing(2);
    brand->setContentsMargins(0, 0, 0, 0);
    brand->addWidget(title_, 0, Qt::AlignLeft);
    brand->addWidget(productName_, 0, Qt::AlignLeft);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(leadingArea, 14, 18, 14);
    row->setSpacing(12);
    row->addLayout(brand);
    row->addStretch(1);
    row->addWidget(badge_, 0, Qt::AlignVCenter);
    row->addWidget(menuButton_, 0, Qt::AlignVCenter);

    menuButton_->setSymbol(QStringLiteral("line.3.horizontal"));
    menuButton_->setObjectName(QStringLiteral("menuButton"));
    menuButton_->setToolTip(QStringLiteral("Menu"));
    menuButton_->setAccessibleName(QStringLiteral("Menu"));
    menuButton_->hide();
    connect(menuButton_, &QPushButton::clicked, this, [this] {
        if (menu_ != nullptr) {
            const QPoint anchor =
                menuButton_->mapToGlobal(QPoint(menuButton_->width(), menuButton_->height() + 4));
            menu_->popup(anchor - QPoint(menu_->sizeHint().width(), 0));
        }
    });

    windowButtons_->hide();
}

void TesselHeader::setWindowButtonsVisible(bool visible) {
    windowButtons_->setVisible(visible);
    placeWindowButtons();
}

void TesselHeader::setMenu(QMenu* menu) {
    menu_ = menu;
    menuButton_->setVisible(menu != nullptr);
}

void TesselHeader::placeWindowButtons() {
    const QSize size = windowButtons_->sizeHint();
    const int x = (leadingArea - 12 - size.width()) / 2;
    windowButtons_->setGeometry(x, (height() - size.height()) / 2, size.width(), size.height());
}

void TesselHeader::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeWindowButtons();
}

void TesselHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF bounds = rect();
    painter.setClipRect(bounds);
    painter.fillRect(bounds, Theme::background.color());
    // Top-leading glow: a 360-point frame moved 60 left and 140 up.
    paintGlow(painter, QRectF(-60, -140, 360, 360), 180, Theme::cyan);
    // Top-trailing glow: a 320-point frame moved 60 right and 120 up.
    paintGlow(painter, QRectF(bounds.width() - 320 + 60, -120, 320, 320), 160, Theme::violet);
    painter.fillRect(QRectF(0, bounds.height() - 1, bounds.width(), 1), Theme::line.color());
}
