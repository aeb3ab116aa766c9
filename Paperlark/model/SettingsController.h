#pragma once

#include "email/EmailService.h"
#include "model/Job.h"
#include "settings/AppSettings.h"

#include <QObject>
#include <QString>

#include <utility>

// The live settings, the only copy the application edits, with what is
// kept beside them: the settings file, the SMTP password in the keyring,
// and the SMTP test message. Used on the GUI thread only.
//
// Edits stay in memory until save() writes the file (the model's
// operations and the settings window's closing do).
class SettingsController : public QObject {
    Q_OBJECT

public:
    // Loads the settings file (defaults when it is missing or unusable).
    explicit SettingsController(QObject* parent = nullptr);

    const AppSettings& settings() const { return settings_; }
    // Replaces the settings in memory; changed() follows, also for an equal
    // record.
    void set(AppSettings settings);
    // Edits the settings in memory in place, then notifies once.
    template <typename Edit> void edit(Edit&& change) {
        std::forward<Edit>(change)(settings_);
        Q_EMIT changed();
    }
    // Writes the settings file (failures are dropped).
    void save() const;

    // The keyring's password for the SMTP user name as it is now: empty
    // when none is stored or there is no user name.
    QString smtpPassword() const;
    // Stores the password for the SMTP user name as it is now; an empty
    // password removes it; without a user name nothing is stored.
    void setSmtpPassword(const QString& password) const;

    // Sends a short message through the SMTP settings as they are now
    // (saved or not; the password as the keyring holds it) to the default
    // recipient, or, when that is empty, the from address. Reports
    // "Enter a recipient or from address first." when both are empty;
    // otherwise "Sending..." at once, then "Test message sent to <target>."
    // or the failure's description once the transfer, in the background,
    // ends. Tests may overlap; each reports its own end.
    void sendTestMessage();

    static const QString testSubject;
    static const QString testBody;

Q_SIGNALS:
    void changed();
    // A line about the latest SMTP test.
    void testMessageReported(const QString& text);

private:
    AppSettings settings_;
};
