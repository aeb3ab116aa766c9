#include "ui/main/FileDropTarget.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>

#include <algorithm>

FileDropTarget::FileDropTarget(QWidget* area, Handler onDrop)
    : QObject(area), area_(area), onDrop_(std::move(onDrop)) {
    area->setAcceptDrops(true);
    area->window()->setAcceptDrops(true);
    // Drags go first to the widget under the pointer, which may be a text
    // field or the list: watch them all, but act for this window only.
    qApp->installEventFilter(this);
}

FileDropTarget::~FileDropTarget() {
    qApp->removeEventFilter(this);
}

bool FileDropTarget::carriesLocalFiles(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    const QList<QUrl> urls = data->urls();
    return !urls.isEmpty() && std::all_of(urls.cbegin(), urls.cend(), [](const QUrl& url) {
        return url.isLocalFile() && !url.toLocalFile().isEmpty();
    });
}

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event) {
    if (area_ == nullptr) {
        return false;
    }
    if (watched == area_ && event->type() == QEvent::ParentChange) {
        area_->window()->setAcceptDrops(true); // the area moved into a window
        return false;
    }
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != area_->window()) {
        return false;
    }
    auto* drop = static_cast<QDropEvent*>(event);
    if (!carriesLocalFiles(drop->mimeData())) {
        return false;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) {
        onDrop_(drop->mimeData()->urls());
    }
    return true;
}
