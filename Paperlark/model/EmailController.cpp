#include "model/EmailController.h"

#include "email/EmailService.h"

#include <QFileInfo>

namespace {

const QString nothingToEmailMessage = QStringLiteral("Scan or add a page before emailing.");

} // namespace

EmailController::EmailController(SettingsController& settings, const PageDocument& document,
                                 SaveController& saving, QObject* parent)
    : QObject(parent), settings_(settings), document_(document), saving_(saving) {}

void EmailController::setSheetVisible(bool visible) {
    sheetVisible_ = visible;
    Q_EMIT sheetVisibleChanged();
}

bool EmailController::hasSomethingToSend() const {
    return !document_.isEmpty() || !saving_.lastSavedFiles().isEmpty();
}

void EmailController::begin() {
    if (!hasSomethingToSend()) {
        Q_EMIT failed(nothingToEmailMessage);
        return;
    }
    setSheetVisible(true);
}

void EmailController::send(const QString& recipients, const QString& subject, const QString& body,
                           EmailMethod method) {
    QList<QUrl> attachments;
    if (document_.isEmpty()) {
        for (const QUrl& url : saving_.lastSavedFiles()) {
            if (QFileInfo::exists(url.toLocalFile())) {
                attachments << url;
            }
        }
    } else {
        // A PDF waits for the text of pages still being recognised, as Save does.
        if (saving_.whenTextIsReady([=, this] { send(recipients, subject, body, method); })) {
            return;
        }
        std::optional<QList<QUrl>> saved = saving_.saveCurrentPages();
        if (!saved) {
            return;
        }
        attachments = std::move(*saved);
    }
    if (attachments.isEmpty()) {
        Q_EMIT failed(nothingToEmailMessage);
        return;
    }

    settings_.edit([&](AppSettings& s) {
        s.defaultRecipient = recipients;
        s.emailSubject = subject;
        s.emailBody = body;
        s.emailMethod = method;
    });
    settings_.save();

    if (method == EmailMethod::mailClient) {
        Q_EMIT statusReported(
            EmailService::openInMailClient(recipients, subject, body, attachments));
        saving_.clearAfterSaving();
        return;
    }

    const QString savedFolder = QFileInfo(attachments.first().toLocalFile()).absolutePath();
    // The transfer gets its own copies and never touches the model.
    sending_ = Job<Sent>::run(
        this,
        [settings = settings_.settings(), recipients, subject, body,
         attachments](const JobContext<>&) {
            return EmailService::sendViaSMTP(settings, recipients, subject, body, attachments);
        },
        [this, recipients, savedFolder](const Sent& sent) {
            smtpFinished(sent, recipients, savedFolder);
        });
    Q_EMIT busyChanged();
    Q_EMIT statusReported(QStringLiteral("Sending email..."));
}

void EmailController::smtpFinished(const Sent& sent, const QString& recipients,
                                   const QString& savedFolder) {
    Q_EMIT busyChanged();
    if (sent) {
        Q_EMIT statusReported(QStringLiteral("Email sent to ") + recipients + u'.');
        saving_.clearAfterSaving();
        return;
    }
    Q_EMIT statusReported(QStringLiteral("Email failed."));
    Q_EMIT failed(sent.failure().description() +
                  QStringLiteral("\n\nThe scan was still saved to ") + savedFolder + u'.');
}
