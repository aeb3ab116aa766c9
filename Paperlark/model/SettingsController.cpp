#include "model/SettingsController.h"

#include "settings/Keychain.h"

const QString SettingsController::testSubject = QStringLiteral("Paperlark test message");
const QString SettingsController::testBody =
    QStringLiteral("This is a test message from Paperlark. Your SMTP settings work.");

SettingsController::SettingsController(QObject* parent)
    : QObject(parent), settings_(AppSettings::load()) {}

void SettingsController::set(AppSettings settings) {
    settings_ = std::move(settings);
    Q_EMIT changed();
}

void SettingsController::save() const {
    settings_.save();
}

QString SettingsController::smtpPassword() const {
    return Keychain::get(settings_.smtpUser);
}

void SettingsController::setSmtpPassword(const QString& password) const {
    Keychain::set(password, settings_.smtpUser);
}

void SettingsController::sendTestMessage() {
    const QString target =
        settings_.defaultRecipient.isEmpty() ? settings_.fromAddress : settings_.defaultRecipient;
    if (target.isEmpty()) {
        Q_EMIT testMessageReported(QStringLiteral("Enter a recipient or from address first."));
        return;
    }
    Q_EMIT testMessageReported(QStringLiteral("Sending..."));
    // The transfer blocks for as long as curl runs; it works on a copy of
    // the settings, so later edits do not change it.
    using Sent = Result<void, EmailService::Failure>;
    Job<Sent>::run(
        this,
        [settings = settings_, target](const JobContext<>&) {
            return EmailService::sendViaSMTP(settings, target, testSubject, testBody, {});
        },
        [this, target](const Sent& sent) {
            Q_EMIT testMessageReported(sent ? QStringLiteral("Test message sent to ") + target +
                                                  QStringLiteral(".")
                                            : sent.failure().description());
        });
}
