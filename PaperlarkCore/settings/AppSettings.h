#pragma once

#include "settings/ColourMode.h"
#include "settings/EmailMethod.h"
#include "settings/OutputFormat.h"
#include "settings/PaperSize.h"
#include "settings/ScanSource.h"
#include "settings/SettingKey.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

// Every stored setting, one line each: X(type, name, default, presence), as
// SettingKey.h describes. A new setting is one line here (addedLater, at the
// end) and its control in the settings window.
// clang-format off
#define PAPERLARK_APP_SETTINGS(X)                                                                  \
    X(QString,      saveFolder,          AppSettings::defaultSaveFolder().toLocalFile(), required) \
    X(OutputFormat, format,              OutputFormat::pdf,                              required) \
    X(ColourMode,   colour,              ColourMode::colour,                             required) \
    X(ScanSource,   source,              ScanSource::flatbed,                            required) \
    X(PaperSize,    paper,               PaperSize::a4,                                  required) \
    X(std::int64_t, dpi,                 300,                                            required) \
    X(std::int64_t, jpegQuality,         85,                                             required) \
    X(QString,      fileNamePattern,     QStringLiteral("Scan_{yyyy-MM-dd_HHmmss}"),     required) \
    X(QString,      lastDeviceId,        QString(),                                      required) \
    X(bool,         openAfterSave,       true,                                           required) \
    X(bool,         clearPagesAfterSave, true,                                           required) \
    X(EmailMethod,  emailMethod,         EmailMethod::mailClient,                        required) \
    X(QString,      defaultRecipient,    QString(),                                      required) \
    X(QString,      emailSubject,        QStringLiteral("Scanned document"),             required) \
    X(QString,      emailBody,   QStringLiteral("Please find the scanned document attached."), required) \
    X(QString,      smtpHost,            QString(),                                      required) \
    X(std::int64_t, smtpPort,            587,                                            required) \
    X(bool,         smtpUseTLS,          true,                                           required) \
    X(QString,      smtpUser,            QString(),                                      required) \
    X(QString,      fromName,            QString(),                                      required) \
    X(QString,      fromAddress,         QString(),                                      required) \
    X(bool,         ocrEnabled,          false,                                          addedLater) \
    X(QString,      ocrLanguage,         QStringLiteral("eng"),                          addedLater) \
    X(bool,         compactPdfs,         true,                                           addedLater) \
    X(bool,         straightenScans,     true,                                           addedLater) \
    X(bool,         turnScansUpright,    true,                                           addedLater)
// clang-format on

// The user's choices that persist between runs, stored as settings.json.
// A plain value: aggregate initialisation is the memberwise constructor, in
// the order of the list above, and AppSettings{} holds every default.
// saveFolder is a plain file-system path; lastDeviceId the scanner last in
// use; jpegQuality a percentage; ocrLanguage a Tesseract language code;
// compactPdfs whether colour and grey pages of a PDF may be made compact;
// straightenScans and turnScansUpright apply to each scanned page as it
// arrives. The SMTP password is not part of the record (see smtpPassword).
struct AppSettings {
    PAPERLARK_SETTINGS_RECORD(AppSettings, PAPERLARK_APP_SETTINGS)

    bool operator==(const AppSettings&) const = default;

    // The record used when there is no usable settings file: AppSettings{}.
    static AppSettings defaults();

    // Reads the settings file (settingsURL() when no URL is given). Never fails:
    // anything unreadable or invalid yields defaults(), and the file is left
    // alone. A saveFolder of blanks only reads as the default save folder.
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
