#include "ui/app/ApplicationActions.h"

#include <QMetaObject>
#include <QPointer>

namespace ApplicationActions {

namespace {

QPointer<QObject>& target() {
    static QPointer<QObject> current;
    return current;
}

} // namespace

void setTarget(QObject* object) {
    target() = object;
}

bool send(const QByteArray& action) {
    QObject* object = target();
    if (object == nullptr ||
        object->metaObject()->indexOfMethod(QByteArray(action + "()").constData()) < 0) {
        return false;
    }
    return QMetaObject::invokeMethod(object, action.constData());
}

} // namespace ApplicationActions
