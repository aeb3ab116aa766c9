#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

class QMimeData;

// Makes a whole window take files dropped from a file manager: a drag that
// carries local files only is accepted anywhere over the window that holds
// `area` (also over its text fields and lists), and its files go to
// `onDrop` in the order given. Any other drag is left to the widget under
// it, or refused without a word where no widget wants it.
class FileDropTarget : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(const QList<QUrl>&)>;

    FileDropTarget(QWidget* area, Handler onDrop);
    ~FileDropTarget() override;

    // The drag carries one or more URLs and every one is a local file.
    static bool carriesLocalFiles(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> area_;
    Handler onDrop_;
};
