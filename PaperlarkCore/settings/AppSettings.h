#pragma once

#include "settings/ColourMode.h"
#include "settings/EmailMethod.h"
#include "settings/OutputFormat.h"
#include "settings/PaperSize.h"
#include "settings/ScanSource.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

// The user's choices that persist between runs, stored as settings.json.
// A plain value: aggregate initialisation is the memberwise constructor,
// in this field order. The SMTP password is not part of it (see smtpPassword).
struct AppSettings {
    QString saveFolder;
    OutputFormat format;
    ColourMode colour;
    ScanSource source;
    PaperSize paper;
    std::int64_t dpi;
    std::int64_t jpegQuality;
    QString fileNamePattern;
    QString lastDeviceId;
    bool openAfterSave;
    bool clearPagesAfterSave;
    EmailMethod emailMethod;
    QString defaultRecipient;
    QString emailSubject;
    QString emailBody;
    QString smtpHost;
    std::int64_t smtpPort;
    bool smtpUseTLS;
    QString smtpUser;
    QString fromName;
    QString fromAddress;
    // Added later: files written before they existed load them as these
    // defaults, so they come last and may be left out of an initialiser.
    bool ocrEnabled = false;                     // make PDFs searchable
    QString ocrLanguage = QStringLiteral("eng"); // Tesseract language code

    bool operator==(const AppSettings&) const = default;

    // The record used when there is no usable settings file.
    static AppSettings defaults();

    // Reads the settings file (settingsURL() when no URL is given). Never fails:
    // anything unreadable or invalid yields defaults(), and the file is left alone.
    static AppSettings load(const std::optional<QUrl>& url = std::nullopt);

    // Writes the record atomically (settingsURL() when no URL is given), as
    // pretty-printed JSON with sorted keys. Failures are silently dropped.
    void save(const std::optional<QUrl>& url = std::nullopt) const;

    // The SMTP password of smtpUser, kept in the keyring and never in the
    // record or the settings file. Reading gives the empty string when none
    // is stored; setting an empty password removes it; with an empty
    // smtpUser nothing is read or stored.
    QString smtpPassword() const;
    void setSmtpPassword(const QString& password) const;

    // saveFolder as a file URL, taken literally ("~" is not expanded); the
    // default save folder when saveFolder is empty.
    QUrl saveFolderURL() const;

    // ~/.config/Paperlark
    static QUrl settingsFolder();
    // ~/.config/Paperlark/settings.json
    static QUrl settingsURL();
    // ~/Documents/Scans
    static QUrl defaultSaveFolder();
};
