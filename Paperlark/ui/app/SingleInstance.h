#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

// One running Paperlark per desktop session. The first instance owns the
// application id as a name on the session bus and serves the desktop's
// org.freedesktop.Application interface under the matching object path; a
// later instance hands its files to it there and ends.
//
// A start passes on the activation token its launcher gave it (the
// platform data's "activation-token"), so that on Wayland, where a window
// comes to the front only with the desktop's consent, the running window
// can be raised.
//
// Without a session bus, or when the running instance does not answer,
// every instance runs on its own.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    enum class Role {
        primary,    // owns the name; later instances come to this one
        handedOver, // the running instance took the files: end now
        alone,      // no bus, or nobody answered: run without the name
    };

    // Needs a Qt application object (the bus connection runs in its loop).
    explicit SingleInstance(QString applicationId, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Claims the name, or hands `files` (absolute local file URLs) and
    // `activationToken` (none when empty) to the instance that owns it.
    // Blocks until the running instance answers.
    Role claimOrHandOver(const QList<QUrl>& files, const QString& activationToken = {});

    // Gives the name up (the application is ending), so that an instance
    // started from now on runs by itself instead of handing files to this one.
    void release();

    // "/org/example/App" for "org.example.App".
    static QString objectPath(const QString& applicationId);

Q_SIGNALS:
    // Another instance was started, or the desktop asked, with these files
    // (possibly none) and the activation token that came along (empty when
    // none did): the application should come to the front and import them.
    // Emitted from the event loop after the caller has had its answer.
    void activated(const QList<QUrl>& files, const QString& activationToken);

    // The org.freedesktop.Application methods, as the bus names them.
public Q_SLOTS:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& name, const QVariantList& parameter,
                                     const QVariantMap& platformData);

private:
    void announce(QList<QUrl> files, const QVariantMap& platformData);

    QString applicationId_;
    bool registered_ = false;
};
