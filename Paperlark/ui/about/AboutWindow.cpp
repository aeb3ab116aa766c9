#include "ui/about/AboutWindow.h"

#include "buildinfo/BuildInfo.h"
#include "ui/controls/AppIcon.h"
#include "ui/controls/Labels.h"
#include "ui/controls/Theme.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int creditsWidth = 460;

} // namespace

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent), icon_(new QLabel(this)),
      name_(Labels::text(QString(), 14, QFont::Bold, Theme::ink, this)),
      version_(Labels::text(QString(), 11, QFont::Normal, Theme::muted, this)),
      credits_(new QTextBrowser(this)),
      notice_(Labels::text(BuildInfo::publisher(), 10, QFont::Normal, Theme::muted, this)) {
    setWindowTitle(QStringLiteral("About ") + BuildInfo::product);
    setObjectName(QStringLiteral("aboutWindow"));
    new WindowConfigurator(false, this);

    icon_->setPixmap(AppIcon::pixmap(80, devicePixelRatioF()));
    icon_->setAlignment(Qt::AlignCenter);
    name_->setAlignment(Qt::AlignCenter);
    version_->setAlignment(Qt::AlignCenter);
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice_->setAlignment(Qt::AlignCenter);

    credits_->setOpenExternalLinks(true);
    credits_->setFrameShape(QFrame::NoFrame);
    credits_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    credits_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    credits_->setStyleSheet(
        QStringLiteral("QTextBrowser { background: transparent; border: none; padding: 0px; }"));
    credits_->document()->setDocumentMargin(0);
    credits_->setFixedWidth(creditsWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 22, 24, 20);
    column->setSpacing(6);
    column->addWidget(icon_, 0, Qt::AlignHCenter);
    column->addSpacing(4);
    column->addWidget(name_);
    column->addWidget(version_);
    column->addSpacing(10);
    column->addWidget(credits_, 0, Qt::AlignHCenter);
    column->addSpacing(8);
    column->addWidget(notice_);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

void AboutWindow::setContent(const QString& name, const QString& versionLine,
                             const QList<AboutPanel::CreditRun>& credits) {
    name_->setText(name);
    version_->setText(versionLine);
    AboutPanel::fillDocument(*credits_->document(), credits);
    fitCredits();
}

void AboutWindow::fitCredits() {
    QTextDocument* document = credits_->document();
    document->setTextWidth(creditsWidth);
    credits_->setFixedHeight(static_cast<int>(std::ceil(document->size().height())) + 2);
}
