#include "ui/main/ContentView.h"

#include "model/ScannerViewModel.h"
#include "ui/controls/Card.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/Kicker.h"
#include "ui/controls/Labels.h"
#include "ui/email/EmailSheet.h"
#include "ui/main/FileDropTarget.h"
#include "ui/main/OptionsCard.h"
#include "ui/main/PageListPanel.h"
#include "ui/main/PreviewPane.h"
#include "ui/main/SaveCard.h"
#include "ui/toolkit/AlertPresenter.h"
#include "ui/toolkit/SheetPresenter.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

ContentView::ContentView(ScannerViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model), options_(new OptionsCard(model)),
      pageList_(new PageListPanel(model)), preview_(new PreviewPane(model)),
      splitter_(new QSplitter(Qt::Horizontal)), saveCard_(new SaveCard(model)) {
    setObjectName(QStringLiteral("contentView"));
    // In a short window the split area gives way first, then the title;
    // only if that is not enough (very large fonts) does the column scroll,
    // rather than letting the cards overlap.
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("contentColumn"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);

    auto* title = new QWidget;
    title_ = title;
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
    // Only a holder: its controls take the focus, it does not.
    scrollArea_->setFocusPolicy(Qt::NoFocus);
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
    connect(pageList_, &PageListPanel::cropRequested, preview_, &PreviewPane::beginCrop);
    // Image files dropped anywhere on the window become pages.
    new FileDropTarget(this, [this](const QList<QUrl>& files) { model_.addDroppedFiles(files); });

    sheet_ = SheetPresenter::bind(
        this, &model_, &ScannerViewModel::emailSheetVisibleChanged,
        [this] { return model_.emailSheetVisible(); },
        [this](QWidget* parent) { return new EmailSheet(model_, parent); },
        [this] { model_.setEmailSheetVisible(false); });
    alert_ = AlertPresenter::bind(
        this, &model_, &ScannerViewModel::errorMessageChanged,
        [this] { return model_.errorMessage(); }, [this] { model_.setErrorMessage(std::nullopt); });
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitColumn();
}

void ContentView::fitColumn() {
    // What the column needs with the split area at its usual minimum and no
    // title. The title shows when it fits on top of that; where even that
    // does not fit (a small screen, a large scale), the split area gives
    // way further, down to its smallest.
    QLayout* column = scrollArea_->widget()->layout();
    const int titleHeight = title_->sizeHint().height() + column->spacing();
    int needed = column->minimumSize().height() - splitter_->minimumHeight() + splitMinimumHeight;
    if (title_->isVisibleTo(this)) {
        needed -= titleHeight;
    }
    title_->setVisible(height() >= needed + titleHeight);
    const int shortBy = std::max(0, needed - height());
    splitter_->setMinimumHeight(std::max(splitSmallestHeight, splitMinimumHeight - shortBy));
}

bool ContentView::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) {
        // Key presses no control accepted travel up to the window; they are
        // caught there.
        if (window_ != nullptr) {
            window_->removeEventFilter(this);
        }
        window_ = window() != this ? window() : nullptr;
        if (window_ != nullptr) {
            window_->installEventFilter(this);
        }
    }
    return QWidget::event(event);
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return QWidget::eventFilter(watched, event);
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // A text field passes Return on once it has confirmed its text
        // (editingFinished); it is not the Scan key there.
        QWidget* focus = QApplication::focusWidget();
        if (qobject_cast<QLineEdit*>(focus) != nullptr ||
            qobject_cast<QAbstractSpinBox*>(focus) != nullptr) {
            return true;
        }
        // Return starts a scan; it never cancels one (Escape does).
        if (!model_.scanning() && options_->scanButton()->isEnabled()) {
            options_->scanButton()->click();
        }
        return true;
    }
    if (key->key() == Qt::Key_Escape && model_.scanning()) {
        model_.cancelScan();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window opens with no control chosen: Return scans, and the first
    // Tab goes to the first control. Left to itself the window would give
    // the focus to its first Tab stop, which would then take Return.
    if (window_ != nullptr && window_->focusWidget() == nullptr) {
        setFocus(Qt::OtherFocusReason);
    }
}

void ContentView::rotateSelectedPage(int quarterTurns) {
    if (model_.selectedPageIDs().isEmpty()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model_.rotateSelection(quarterTurns);
    QApplication::restoreOverrideCursor();
}
