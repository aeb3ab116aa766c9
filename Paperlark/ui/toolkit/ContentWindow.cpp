#include "ui/toolkit/ContentWindow.h"

#include <QCloseEvent>
#include <QVBoxLayout>

ContentWindow::ContentWindow(QWidget* placeholder, QWidget* parent)
    : QWidget(parent, Qt::Window), column_(new QVBoxLayout(this)), content_(placeholder) {
    content_->setParent(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(0);
}

ContentWindow::~ContentWindow() {
    disappear();
}

void ContentWindow::setContentView(QWidget* content) {
    if (content == nullptr || content == content_) {
        return;
    }
    QWidget* old = content_;
    const int index = column_->indexOf(old);
    const int stretch = index >= 0 ? column_->stretch(index) : 0;
    content_ = content;
    // The layout hands the old widget's item back to the caller.
    delete column_->replaceWidget(old, content);
    if (index >= 0) {
        column_->setStretch(index, stretch);
    }
    content->show();
    old->deleteLater();
    contentViewReplaced();
}

void ContentWindow::closeEvent(QCloseEvent* event) {
    if (!disappeared_ && closeGuard_ && !closeGuard_()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        disappear();
    }
}

void ContentWindow::disappear() {
    if (disappeared_) {
        return;
    }
    disappeared_ = true;
    Q_EMIT contentDisappeared();
}
