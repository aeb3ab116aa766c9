#include "settings/AppSettings.h"
#include "settings/HorizontalSpace.h"

#include "settings/Keychain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
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

// Reads one member of the settings object with exactly the expected JSON type.
class Decoder {
public:
    explicit Decoder(const QJsonObject& object) : object_(object) {}

    bool failed() const { return failed_; }

    QString string(const char* key) {
        const QJsonValue value = object_.value(QLatin1String(key));
        if (!value.isString()) {
            failed_ = true;
            return {};
        }
        return value.toString();
    }

    std::int64_t integer(const char* key) {
        const QJsonValue value = object_.value(QLatin1String(key));
        if (!value.isDouble()) {
            failed_ = true;
            return 0;
        }
        // toInteger() only yields the number when it is integral and fits in
        // 64 bits; otherwise it returns the given default, so two different
        // defaults tell 1.5 or 1e300 apart from a real integer.
        const qint64 asInteger = value.toInteger(0);
        if (asInteger != value.toInteger(1)) {
            failed_ = true;
            return 0;
        }
        return asInteger;
    }

    bool boolean(const char* key) {
        const QJsonValue value = object_.value(QLatin1String(key));
        if (!value.isBool()) {
            failed_ = true;
            return false;
        }
        return value.toBool();
    }

    // Members added after the first release: absent is their default, but
    // present with the wrong type is as bad as any other fault.
    bool optionalBoolean(const char* key, bool fallback) {
        return object_.contains(QLatin1String(key)) ? boolean(key) : fallback;
    }
    QString optionalString(const char* key, const QString& fallback) {
        return object_.contains(QLatin1String(key)) ? string(key) : fallback;
    }

    template <typename E> E option(const char* key, E fallback) {
        const QJsonValue value = object_.value(QLatin1String(key));
        if (!value.isString()) {
            failed_ = true;
            return fallback;
        }
        const std::optional<E> parsed = fromRawValue<E>(value.toString());
        if (!parsed) {
            failed_ = true;
            return fallback;
        }
        return *parsed;
    }

private:
    const QJsonObject& object_;
    bool failed_ = false;
};

std::optional<AppSettings> decode(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    Decoder d(object);
    AppSettings s{
        d.string("saveFolder"),
        d.option("format", OutputFormat::pdf),
        d.option("colour", ColourMode::colour),
        d.option("source", ScanSource::flatbed),
        d.option("paper", PaperSize::a4),
        d.integer("dpi"),
        d.integer("jpegQuality"),
        d.string("fileNamePattern"),
        d.string("lastDeviceId"),
        d.boolean("openAfterSave"),
        d.boolean("clearPagesAfterSave"),
        d.option("emailMethod", EmailMethod::mailClient),
        d.string("defaultRecipient"),
        d.string("emailSubject"),
        d.string("emailBody"),
        d.string("smtpHost"),
        d.integer("smtpPort"),
        d.boolean("smtpUseTLS"),
        d.string("smtpUser"),
        d.string("fromName"),
        d.string("fromAddress"),
        d.optionalBoolean("ocrEnabled", AppSettings{}.ocrEnabled),
        d.optionalString("ocrLanguage", AppSettings{}.ocrLanguage),
    };
    if (d.failed()) {
        return std::nullopt;
    }
    return s;
}

QJsonObject encode(const AppSettings& s) {
    QJsonObject o;
    o.insert(QStringLiteral("saveFolder"), s.saveFolder);
    o.insert(QStringLiteral("format"), rawValue(s.format));
    o.insert(QStringLiteral("colour"), rawValue(s.colour));
    o.insert(QStringLiteral("source"), rawValue(s.source));
    o.insert(QStringLiteral("paper"), rawValue(s.paper));
    o.insert(QStringLiteral("dpi"), static_cast<qint64>(s.dpi));
    o.insert(QStringLiteral("jpegQuality"), static_cast<qint64>(s.jpegQuality));
    o.insert(QStringLiteral("fileNamePattern"), s.fileNamePattern);
    o.insert(QStringLiteral("lastDeviceId"), s.lastDeviceId);
    o.insert(QStringLiteral("openAfterSave"), s.openAfterSave);
    o.insert(QStringLiteral("clearPagesAfterSave"), s.clearPagesAfterSave);
    o.insert(QStringLiteral("emailMethod"), rawValue(s.emailMethod));
    o.insert(QStringLiteral("defaultRecipient"), s.defaultRecipient);
    o.insert(QStringLiteral("emailSubject"), s.emailSubject);
    o.insert(QStringLiteral("emailBody"), s.emailBody);
    o.insert(QStringLiteral("smtpHost"), s.smtpHost);
    o.insert(QStringLiteral("smtpPort"), static_cast<qint64>(s.smtpPort));
    o.insert(QStringLiteral("smtpUseTLS"), s.smtpUseTLS);
    o.insert(QStringLiteral("smtpUser"), s.smtpUser);
    o.insert(QStringLiteral("fromName"), s.fromName);
    o.insert(QStringLiteral("fromAddress"), s.fromAddress);
    o.insert(QStringLiteral("ocrEnabled"), s.ocrEnabled);
    o.insert(QStringLiteral("ocrLanguage"), s.ocrLanguage);
    return o;
}

} // namespace

AppSettings AppSettings::defaults() {
    return AppSettings{
        defaultSaveFolder().toLocalFile(),
        OutputFormat::pdf,
        ColourMode::colour,
        ScanSource::flatbed,
        PaperSize::a4,
        300,
        85,
        QStringLiteral("Scan_{yyyy-MM-dd_HHmmss}"),
        QString(),
        true,
        true,
        EmailMethod::mailClient,
        QString(),
        QStringLiteral("Scanned document"),
        QStringLiteral("Please find the scanned document attached."),
        QString(),
        587,
        true,
        QString(),
        QString(),
        QString(),
    };
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
    std::optional<AppSettings> settings = decode(file.readAll());
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
    // QJsonObject keeps its keys sorted, so the document lists them by name.
    const QByteArray bytes = QJsonDocument(encode(*this)).toJson(QJsonDocument::Indented);
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
