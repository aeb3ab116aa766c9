#include "settings/AppSettings.h"

#include "settings/HorizontalSpace.h"
#include "settings/Keychain.h"
#include "settings/SettingsCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

QUrl folderIn(QStandardPaths::StandardLocation location, const QString& name) {
    QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty()) {
        base = QDir::tempPath();
    }
    return QUrl::fromLocalFile(QDir(base).filePath(name));
}

} // namespace

AppSettings AppSettings::defaults() {
    return AppSettings{};
}

AppSettings AppSettings::load(const std::optional<QUrl>& url) {
    const QString path = url.value_or(settingsURL()).toLocalFile();
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return defaults();
    }
    // No size limit: whatever save() wrote (a long e-mail body makes a
    // large file) must load again, or the next save would replace the
    // user's settings with the defaults.
    std::optional<AppSettings> settings = SettingsCodec::decode<AppSettings>(file.readAll());
    if (!settings) {
        return defaults();
    }
    if (HorizontalSpace::isBlank(settings->saveFolder)) {
        settings->saveFolder = defaultSaveFolder().toLocalFile();
    }
    return *settings;
}

void AppSettings::save(const std::optional<QUrl>& url) const {
    const QString path = url.value_or(settingsURL()).toLocalFile();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return;
    }
    const QByteArray bytes = SettingsCodec::encode(*this);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return;
    }
    file.commit();
}

QString AppSettings::smtpPassword() const {
    return Keychain::get(smtpUser);
}

void AppSettings::setSmtpPassword(const QString& password) const {
    Keychain::set(password, smtpUser);
}

QUrl AppSettings::saveFolderURL() const {
    if (saveFolder.isEmpty()) {
        return defaultSaveFolder();
    }
    return QUrl::fromLocalFile(saveFolder);
}

QUrl AppSettings::settingsFolder() {
    return folderIn(QStandardPaths::GenericConfigLocation, QStringLiteral("Paperlark"));
}

QUrl AppSettings::settingsURL() {
    return QUrl::fromLocalFile(
        QDir(settingsFolder().toLocalFile()).filePath(QStringLiteral("settings.json")));
}

QUrl AppSettings::defaultSaveFolder() {
    return folderIn(QStandardPaths::DocumentsLocation, QStringLiteral("Scans"));
}
