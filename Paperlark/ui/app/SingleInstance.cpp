#include "ui/app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QTimer>

namespace {

const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
// The platform data entry that carries an activation token.
const QString activationTokenKey = QStringLiteral("activation-token");

// The running instance may be busy starting up or importing: wait for it
// rather than open a second window.
constexpr int handOverTimeoutMs = 60'000;

} // namespace

SingleInstance::SingleInstance(QString applicationId, QObject* parent)
    : QObject(parent), applicationId_(std::move(applicationId)) {}

SingleInstance::~SingleInstance() {
    release();
}

void SingleInstance::release() {
    if (!registered_) {
        return;
    }
    registered_ = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(applicationId_);
    bus.unregisterObject(objectPath(applicationId_));
}

QString SingleInstance::objectPath(const QString& applicationId) {
    QString path = u'/' + applicationId;
    path.replace(u'.', u'/').replace(u'-', u'_');
    return path;
}

SingleInstance::Role SingleInstance::claimOrHandOver(const QList<QUrl>& files,
                                                     const QString& activationToken) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return Role::alone;
    }
    const QString path = objectPath(applicationId_);
    // The object is in place before the name is, so that no caller finds
    // the name without the interface behind it.
    if (!bus.registerObject(path, this, QDBusConnection::ExportScriptableSlots)) {
        return Role::alone;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> claimed =
        bus.interface()->registerService(applicationId_, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (claimed.isValid() && claimed.value() == QDBusConnectionInterface::ServiceRegistered) {
        registered_ = true;
        return Role::primary;
    }
    bus.unregisterObject(path);

    QVariantMap platformData;
    if (!activationToken.isEmpty()) {
        platformData.insert(activationTokenKey, activationToken);
    }
    QDBusMessage call;
    if (files.isEmpty()) {
        call = QDBusMessage::createMethodCall(applicationId_, path, applicationInterface,
                                              QStringLiteral("Activate"));
        call << platformData;
    } else {
        QStringList uris;
        for (const QUrl& file : files) {
            uris << file.toString(QUrl::FullyEncoded);
        }
        call = QDBusMessage::createMethodCall(applicationId_, path, applicationInterface,
                                              QStringLiteral("Open"));
        call << uris << platformData;
    }
    const QDBusMessage answer = bus.call(call, QDBus::Block, handOverTimeoutMs);
    return answer.type() == QDBusMessage::ReplyMessage ? Role::handedOver : Role::alone;
}

void SingleInstance::Activate(const QVariantMap& platformData) {
    announce({}, platformData);
}

void SingleInstance::Open(const QStringList& uris, const QVariantMap& platformData) {
    QList<QUrl> files;
    for (const QString& uri : uris) {
        files.append(QUrl(uri, QUrl::StrictMode));
    }
    announce(std::move(files), platformData);
}

void SingleInstance::ActivateAction(const QString& /*name*/, const QVariantList& /*parameter*/,
                                    const QVariantMap& platformData) {
    // The application offers no actions; being asked for one still brings it forward.
    announce({}, platformData);
}

void SingleInstance::announce(QList<QUrl> files, const QVariantMap& platformData) {
    // A token of any other type is no token.
    const QVariant token = platformData.value(activationTokenKey);
    const QString activationToken =
        token.typeId() == QMetaType::QString ? token.toString() : QString();
    QTimer::singleShot(0, this, [this, files = std::move(files), activationToken] {
        Q_EMIT activated(files, activationToken);
    });
}
