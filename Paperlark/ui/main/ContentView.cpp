#include "ui/main/ContentView.h"

#include "model/ScannerViewModel.h"
#include "ui/controls/Card.h"
#include "ui/controls/Kicker.h"
#include "ui/controls/Labels.h"
#include "ui/email/EmailSheet.h"
#include "ui/main/OptionsCard.h"
#include "ui/main/PageListPanel.h"
#include "ui/main/PreviewPane.h"
#include "ui/main/SaveCard.h"
#include "ui/toolkit/AlertPresenter.h"
#include "ui/toolkit/SheetPresenter.h"

#include <QApplication>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

ContentView::ContentView(ScannerViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model), options_(new OptionsCard(model)),
      pageList_(new PageListPanel(model)), preview_(new PreviewPane(model)),
      splitter_(new QSplitter(Qt::Horizontal)), saveCard_(new SaveCard(model)) {
    setObjectName(QStringLiteral("contentView"));
    // The column needs more height than the smallest window offers with
    // some fonts; it then scrolls rather than squeezing the split area below
    // its minimum or letting the cards overlap.
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("contentColumn"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);

    auto* title = new QWidget;
    auto* titleColumn = new QVBoxLayout(title);
    titleColumn->setContentsMargins(0, 0, 0, 0);
    titleColumn->setSpacing(3);
    titleColumn->addWidget(new Kicker(QStringLiteral("TESSEL TOOLING")));
    titleColumn->addWidget(
        Labels::text(QStringLiteral("Scan, arrange and save"), 20, QFont::DemiBold, Theme::ink));
    column->addWidget(title);
    column->addWidget(options_);

    // The list keeps its width between its bounds (at least what its
    // buttons need); the preview takes the rest.
    const int listMinimum = std::max(listMinimumWidth, pageList_->minimumSizeHint().width());
    pageList_->setMinimumWidth(listMinimum);
    pageList_->setMaximumWidth(std::max(listMaximumWidth, listMinimum));
    auto* previewCard = new Card(12, preview_);
    previewCard->setMinimumWidth(previewMinimumWidth);
    splitter_->setChildrenCollapsible(false);
    splitter_->setHandleWidth(10);
    splitter_->addWidget(pageList_);
    splitter_->addWidget(previewCard);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({std::max(listIdealWidth, listMinimum), 10000});
    splitter_->setMinimumHeight(splitMinimumHeight);
    splitter_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    column->addWidget(splitter_, 1);
    column->addWidget(saveCard_);

    scrollArea_ = new QScrollArea;
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setWidget(page);
    scrollArea_->setStyleSheet(QStringLiteral(
        "QScrollArea, QWidget#contentColumn { background: transparent; border: none; }"));
    scrollArea_->viewport()->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollArea_);

    connect(pageList_, &PageListPanel::rotateRequested, this, &ContentView::rotateSelectedPage);

    sheet_ = SheetPresenter::bind(
        this, &model_, &ScannerViewModel::emailSheetVisibleChanged,
        [this] { return model_.emailSheetVisible(); },
        [this](QWidget* parent) { return new EmailSheet(model_, parent); },
        [this] { model_.setEmailSheetVisible(false); });
    alert_ = AlertPresenter::bind(
        this, &model_, &ScannerViewModel::errorMessageChanged,
        [this] { return model_.errorMessage(); }, [this] { model_.setErrorMessage(std::nullopt); });
}

void ContentView::rotateSelectedPage(int quarterTurns) {
    const std::shared_ptr<ScannedPage> page = model_.selectedPage();
    if (page == nullptr) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto rotated = page->rotate(quarterTurns);
    QApplication::restoreOverrideCursor();
    if (!rotated) {
        model_.setErrorMessage(rotated.failure().description());
        return;
    }
    model_.notifyChanged();
}
