#include "ui/controls/TesselFooter.h"

#include "buildinfo/BuildInfo.h"
#include "ui/controls/ElidedLabel.h"
#include "ui/controls/Labels.h"
#include "ui/controls/LinkLabel.h"
#include "ui/controls/Theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QRegularExpression>

namespace {

// Layout positions of the two flexible spacers.
constexpr int leadingSpacerIndex = 1;
constexpr int trailingSpacerIndex = 6;

QLabel* middleDot(QWidget* parent) {
    auto* dot = new QLabel(QStringLiteral("\u00B7"), parent);
    Labels::setColour(dot, Theme::muted);
    return dot;
}

} // namespace

TesselFooter::TesselFooter(std::optional<QString> trailingStatus, QWidget* parent)
    : QWidget(parent), row_(new QHBoxLayout(this)), status_(new ElidedLabel(QString(), this)),
      authorLink_(new LinkLabel(QStringLiteral("Brannock"), QUrl(BuildInfo::authorUrl),
                                authorToolTip(), this)),
      donationLink_(new LinkLabel(QStringLiteral("\u2615 Buy me a coffee"),
                                  QUrl(BuildInfo::donationUrl), donationToolTip(), this)) {
    setObjectName(QStringLiteral("tesselFooter"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    status_->setObjectName(QStringLiteral("footerStatus"));
    status_->setAnnouncesChanges(true);
    status_->setFont(Theme::font(11));
    Labels::setColour(status_, Theme::muted);
    authorLink_->setFont(Theme::font(11));
    donationLink_->setFont(Theme::font(11));

    row_->setContentsMargins(18, 8, 18, 8);
    row_->setSpacing(6);
    row_->addWidget(status_, 0, Qt::AlignVCenter);
    row_->addStretch(0);
    row_->addWidget(middleDot(this), 0, Qt::AlignVCenter);
    row_->addWidget(authorLink_, 0, Qt::AlignVCenter);
    row_->addWidget(middleDot(this), 0, Qt::AlignVCenter);
    row_->addWidget(donationLink_, 0, Qt::AlignVCenter);
    row_->addStretch(0);

    setTrailingStatus(std::move(trailingStatus));
}

void TesselFooter::setTrailingStatus(std::optional<QString> status) {
    trailingStatus_ = std::move(status);
    const bool present = trailingStatus_.has_value();
    status_->setText(trailingStatus_.value_or(QString()));
    status_->setVisible(present);
    row_->setStretch(leadingSpacerIndex, present ? 1 : 0);
    row_->setStretch(trailingSpacerIndex, present ? 0 : 1);
}

QString TesselFooter::authorToolTip() {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const QString address = QString(BuildInfo::authorUrl).remove(scheme);
    return QStringLiteral("Open ") + address + QStringLiteral(" in your browser");
}

QString TesselFooter::donationToolTip() {
    return QStringLiteral("Support this free tool - opens ") + BuildInfo::donationUrl;
}

void TesselFooter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::background.color());
    painter.fillRect(QRectF(0, 0, width(), 1), Theme::line.color());
}
