#include "ui/main/PageListPanel.h"

#include "model/ScannerViewModel.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/Labels.h"
#include "ui/main/PageListModel.h"
#include "ui/main/PageRowDelegate.h"
#include "ui/toolkit/Bindings.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>
#include <QVBoxLayout>

namespace {

FlatButton* symbolButton(const QString& symbol, const QString& toolTip, QWidget* parent) {
    auto* button = new FlatButton(QString(), SecondaryButtonStyle(), parent);
    button->setSymbol(symbol);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
    return button;
}

} // namespace

PageListPanel::PageListPanel(ScannerViewModel& model, QWidget* parent)
    : Card(12, nullptr, parent), model_(model), listModel_(new PageListModel(model, this)),
      list_(new QListView), contextMenu_(new QMenu(this)), buttonRow_(new QWidget),
      rotateLeft_(
          symbolButton(QStringLiteral("rotate.left"), QStringLiteral("Rotate left"), buttonRow_)),
      rotateRight_(
          symbolButton(QStringLiteral("rotate.right"), QStringLiteral("Rotate right"), buttonRow_)),
      delete_(new FlatButton(QStringLiteral("Delete"), DangerButtonStyle(), buttonRow_)),
      clearAll_(new FlatButton(QStringLiteral("Clear all"), DangerButtonStyle(), buttonRow_)) {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(Labels::text(QStringLiteral("Pages"), 14, QFont::DemiBold));

    list_->setObjectName(QStringLiteral("pageList"));
    list_->setModel(listModel_);
    list_->setItemDelegate(new PageRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    // The list's own backing is hidden: only the rows are filled.
    list_->setStyleSheet(QStringLiteral("QListView { background: transparent; border: none; }"));
    list_->viewport()->setAutoFillBackground(false);
    list_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(list_, 1);

    auto* row = new QHBoxLayout(buttonRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(rotateLeft_);
    row->addWidget(rotateRight_);
    row->addWidget(delete_);
    row->addWidget(clearAll_);
    row->addStretch(1);
    layout->addWidget(buttonRow_);
    setContent(column);

    const auto addAction = [this](const QString& text, auto action) {
        connect(contextMenu_->addAction(text), &QAction::triggered, this, action);
    };
    addAction(QStringLiteral("Rotate left"), [this] { Q_EMIT rotateRequested(-1); });
    addAction(QStringLiteral("Rotate right"), [this] { Q_EMIT rotateRequested(1); });
    addAction(QStringLiteral("Rotate 180°"), [this] { Q_EMIT rotateRequested(2); });
    contextMenu_->addSeparator();
    addAction(QStringLiteral("Move up"), [this] { model_.moveSelection(-1); });
    addAction(QStringLiteral("Move down"), [this] { model_.moveSelection(1); });
    contextMenu_->addSeparator();
    addAction(QStringLiteral("Delete page"), [this] { model_.deleteSelection(); });

    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (list_->indexAt(position).isValid()) {
            contextMenu_->popup(list_->viewport()->mapToGlobal(position));
        }
    });
    connect(rotateLeft_, &QAbstractButton::clicked, this, [this] { Q_EMIT rotateRequested(-1); });
    connect(rotateRight_, &QAbstractButton::clicked, this, [this] { Q_EMIT rotateRequested(1); });
    connect(delete_, &QAbstractButton::clicked, this, [this] { model_.deleteSelection(); });
    connect(clearAll_, &QAbstractButton::clicked, this, [this] { model_.clearPages(true); });
    Bind::enabled(buttonRow_, &model_, &ScannerViewModel::pagesChanged,
                  [this] { return !model_.pages().isEmpty(); });

    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PageListPanel::takeSelection);
    connect(listModel_, &PageListModel::rowsRebuilt, this, &PageListPanel::showSelection);
    connect(&model_, &ScannerViewModel::selectedPageIDChanged, this, &PageListPanel::showSelection);
    showSelection();
}

void PageListPanel::showSelection() {
    const std::optional<QUuid>& id = model_.selectedPageID();
    const std::optional<int> row = id ? listModel_->rowOf(*id) : std::nullopt;
    showingSelection_ = true;
    QItemSelectionModel* selection = list_->selectionModel();
    if (row) {
        const QModelIndex index = listModel_->index(*row);
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        list_->scrollTo(index);
    } else {
        selection->clearSelection();
    }
    showingSelection_ = false;
}

void PageListPanel::takeSelection() {
    if (showingSelection_) {
        return;
    }
    const QModelIndexList selected = list_->selectionModel()->selectedIndexes();
    std::optional<QUuid> id;
    if (!selected.isEmpty()) {
        id = listModel_->idAt(selected.first().row());
    }
    if (id != model_.selectedPageID()) {
        model_.setSelectedPageID(id);
    }
}
