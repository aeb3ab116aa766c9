#include "ui/main/PageListPanel.h"

#include "model/ScannerViewModel.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/Labels.h"
#include "ui/controls/Theme.h"
#include "ui/main/PageListModel.h"
#include "ui/main/PageListView.h"
#include "ui/main/PageRowDelegate.h"
#include "ui/toolkit/Bindings.h"

#include <QAction>
#include <QHBoxLayout>
#include <QItemSelectionModel>
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
      list_(new PageListView), contextMenu_(new QMenu(this)), buttonRow_(new QWidget),
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
    list_->setAccessibleName(QStringLiteral("Pages"));
    list_->setModel(listModel_);
    list_->setItemDelegate(new PageRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setDragEnabled(true);
    list_->setAcceptDrops(true);
    list_->setDragDropMode(QAbstractItemView::DragDrop);
    list_->setDefaultDropAction(Qt::MoveAction);
    list_->setDragDropOverwriteMode(false);
    list_->setUniformItemSizes(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    // The list's own backing is hidden: only the rows are filled. With the
    // focus a 2-point ring surrounds the rows; without it the ring's place
    // stays clear, so that the rows do not move.
    list_->setStyleSheet(
        QStringLiteral("QListView { background: transparent; border: 2px solid transparent;"
                       " border-radius: 4px; }"
                       " QListView:focus { border-color: %1; }")
            .arg(Theme::cyan.color().name()));
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

    buildMenu();

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
    // An empty list is no Tab stop: there is nothing in it to show focus on.
    connect(&model_, &ScannerViewModel::pagesChanged, this, &PageListPanel::followPageCount);
    followPageCount();

    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PageListPanel::takeSelection);
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &PageListPanel::takeSelection);
    connect(listModel_, &PageListModel::rowsRebuilt, this, &PageListPanel::showSelection);
    connect(&model_, &ScannerViewModel::selectedPageIDChanged, this, &PageListPanel::showSelection);
    // The move waits until the view has finished with the drop.
    connect(
        listModel_, &PageListModel::pagesDropped, this,
        [this](const QSet<QUuid>& ids, int row) { model_.movePages(ids, row); },
        Qt::QueuedConnection);
    connect(&model_, &ScannerViewModel::historyChanged, this, &PageListPanel::followHistory);
    // Pixel edits wait for whatever runs.
    const auto followBusy = [this] {
        for (QAction* action : std::as_const(editActions_)) {
            action->setEnabled(!model_.busy());
        }
    };
    connect(&model_, &ScannerViewModel::busyChanged, this, followBusy);
    followBusy();
    showSelection();
    followHistory();
}

void PageListPanel::buildMenu() {
    // Shortcuts work while the list has the focus; undo and redo anywhere in
    // the window (a text field with the focus keeps its own).
    const auto add = [this](const QString& text, const QKeySequence& shortcut, auto slot,
                            Qt::ShortcutContext context = Qt::WidgetWithChildrenShortcut) {
        QAction* action = contextMenu_->addAction(text);
        action->setShortcut(shortcut);
        action->setShortcutContext(context);
        action->setShortcutVisibleInContextMenu(true);
        list_->addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(QStringLiteral("Rotate left"), QKeySequence(Qt::CTRL | Qt::Key_L),
        [this] { Q_EMIT rotateRequested(-1); });
    add(QStringLiteral("Rotate right"), QKeySequence(Qt::CTRL | Qt::Key_R),
        [this] { Q_EMIT rotateRequested(1); });
    add(QStringLiteral("Rotate 180°"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R),
        [this] { Q_EMIT rotateRequested(2); });
    editActions_ = {
        add(QStringLiteral("Straighten"), QKeySequence(Qt::CTRL | Qt::Key_D),
            [this] { model_.straightenSelection(); }),
        add(QStringLiteral("Turn upright"), QKeySequence(Qt::CTRL | Qt::Key_U),
            [this] { model_.turnSelectionUpright(); }),
        add(QStringLiteral("Crop"), QKeySequence(Qt::CTRL | Qt::Key_K),
            [this] { Q_EMIT cropRequested(); }),
    };
    contextMenu_->addSeparator();
    add(QStringLiteral("Move up"), QKeySequence(Qt::ALT | Qt::Key_Up),
        [this] { model_.moveSelection(-1); });
    add(QStringLiteral("Move down"), QKeySequence(Qt::ALT | Qt::Key_Down),
        [this] { model_.moveSelection(1); });
    contextMenu_->addSeparator();
    deleteAction_ = add(QStringLiteral("Delete page"), QKeySequence(QKeySequence::Delete),
                        [this] { model_.deleteSelection(); });
    contextMenu_->addSeparator();
    add(QStringLiteral("Interleave front and back pages"), QKeySequence(Qt::CTRL | Qt::Key_I),
        [this] { model_.interleaveSelection(); });
    add(QStringLiteral("Reverse order"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
        [this] { model_.reverseSelection(); });
    add(QStringLiteral("Select blank pages"), QKeySequence(Qt::CTRL | Qt::Key_B),
        [this] { model_.selectBlankPages(); });
    add(QStringLiteral("Select all"), QKeySequence(QKeySequence::SelectAll),
        [this] { list_->selectAll(); });
    contextMenu_->addSeparator();
    undoAction_ = add(
        QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { model_.undo(); },
        Qt::WindowShortcut);
    redoAction_ = add(
        QStringLiteral("Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
        [this] { model_.redo(); }, Qt::WindowShortcut);
}

QAction* PageListPanel::action(const QString& text) const {
    for (QAction* action : contextMenu_->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

void PageListPanel::followPageCount() {
    const bool empty = model_.pages().isEmpty();
    list_->setFocusPolicy(empty ? Qt::NoFocus : Qt::StrongFocus);
    if (!empty || !list_->hasFocus()) {
        return;
    }
    // The last page went while the list had the focus: the focus moves on
    // to the next control that takes it, as Tab would.
    for (QWidget* next = list_->nextInFocusChain(); next != list_;
         next = next->nextInFocusChain()) {
        if (next->isVisible() && next->isEnabled() && (next->focusPolicy() & Qt::TabFocus) &&
            next->window() == list_->window()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    list_->clearFocus();
}

void PageListPanel::followHistory() {
    undoAction_->setEnabled(model_.canUndo());
    redoAction_->setEnabled(model_.canRedo());
}

void PageListPanel::showSelection() {
    deleteAction_->setText(model_.selectedPageIDs().size() > 1 ? QStringLiteral("Delete pages")
                                                               : QStringLiteral("Delete page"));
    if (takingSelection_) {
        return; // the list shows it already
    }
    const std::optional<QUuid>& id = model_.selectedPageID();
    const std::optional<int> row = id ? listModel_->rowOf(*id) : std::nullopt;
    showingSelection_ = true;
    QItemSelectionModel* selection = list_->selectionModel();
    QItemSelection rows;
    for (const QUuid& selected : model_.selectedPageIDs()) {
        if (const std::optional<int> at = listModel_->rowOf(selected)) {
            rows.select(listModel_->index(*at), listModel_->index(*at));
        }
    }
    selection->select(rows, QItemSelectionModel::ClearAndSelect);
    if (row) {
        const QModelIndex index = listModel_->index(*row);
        selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        list_->scrollTo(index);
    }
    showingSelection_ = false;
}

void PageListPanel::takeSelection() {
    if (showingSelection_) {
        return;
    }
    QItemSelectionModel* selection = list_->selectionModel();
    QSet<QUuid> ids;
    for (const QModelIndex& index : selection->selectedIndexes()) {
        ids.insert(listModel_->idAt(index.row()));
    }
    // The current row is the page shown, when it is one of the selected.
    std::optional<QUuid> current;
    const QModelIndex currentIndex = selection->currentIndex();
    if (currentIndex.isValid() && selection->isSelected(currentIndex)) {
        current = listModel_->idAt(currentIndex.row());
    } else if (!ids.isEmpty()) {
        const QModelIndexList rows = selection->selectedIndexes();
        current = listModel_->idAt(
            std::min_element(rows.cbegin(), rows.cend(), [](const auto& a, const auto& b) {
                return a.row() < b.row();
            })->row());
    }
    if (current != model_.selectedPageID() || ids != model_.selectedPageIDs()) {
        takingSelection_ = true;
        if (ids.size() <= 1) {
            model_.setSelectedPageID(current);
        } else {
            model_.setSelectedPages(std::move(ids), current);
        }
        takingSelection_ = false;
    }
}
