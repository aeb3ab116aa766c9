#include "model/EmailController.h"

#include "email/EmailService.h"
#include "email/MessageSize.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const QString nothingToEmailMessage = QStringLiteral("Scan or add a page before emailing.");

// The saved files still there, in order.
QList<QUrl> existingFiles(const QList<QUrl>& urls) {
    QList<QUrl> existing;
    for (const QUrl& url : urls) {
        if (QFileInfo::exists(url.toLocalFile())) {
            existing << url;
        }
    }
    return existing;
}

// The size of the message the sheet would send with its first values.
Result<qint64, EmailService::Failure> defaultMessageSize(const AppSettings& settings,
                                                         const QList<QUrl>& files) {
    const QString subject =
        settings.emailSubject.isEmpty() ? EmailService::defaultSubject : settings.emailSubject;
    return EmailService::messageSize(settings, settings.defaultRecipient, subject,
                                     settings.emailBody, files);
}

} // namespace

EmailController::EmailController(SettingsController& settings, const PageDocument& document,
                                 SaveController& saving, QObject* parent)
    : QObject(parent), settings_(settings), document_(document), saving_(saving) {}

void EmailController::setSheetVisible(bool visible) {
    const bool shown = visible && !sheetVisible_;
    sheetVisible_ = visible;
    Q_EMIT sheetVisibleChanged();
    if (shown) {
        measureAttachments();
    } else if (!visible) {
        measuring_.cancel();
    }
}

void EmailController::measureAttachments() {
    measuring_.cancel();
    showAttachmentSize(std::nullopt);
    const AppSettings& settings = settings_.settings();
    if (document_.isEmpty()) {
        const QList<QUrl> files = existingFiles(saving_.lastSavedFiles());
        const auto bytes = defaultMessageSize(settings, files);
        showAttachmentSize(bytes && !files.isEmpty()
                               ? std::optional<Measured>(Measured{bytes.value(), files.size()})
                               : std::nullopt);
        return;
    }
    // The pages are saved for real, as Send will save them, and measured.
    measuring_ = Job<std::optional<Measured>>::run(
        this,
        [save = saving_.currentSave(), settings](const JobContext<>&) -> std::optional<Measured> {
            const QTemporaryDir folder;
            if (!folder.isValid()) {
                return std::nullopt;
            }
            const auto saved = save.save(QUrl::fromLocalFile(folder.path()));
            if (!saved) {
                return std::nullopt;
            }
            const auto bytes = defaultMessageSize(settings, saved.value());
            if (!bytes) {
                return std::nullopt;
            }
            return Measured{bytes.value(), saved.value().size()};
        },
        [this](const std::optional<Measured>& measured) { showAttachmentSize(measured); });
}

void EmailController::showAttachmentSize(const std::optional<Measured>& measured) {
    attachmentSize_ = measured ? QStringLiteral("%1 file(s), %2")
                                     .arg(measured->files)
                                     .arg(MessageSize::text(measured->bytes))
                               : QString();
    overCommonLimit_ = measured && measured->bytes > MessageSize::commonLimit;
    Q_EMIT attachmentSizeChanged();
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
        attachments = existingFiles(saving_.lastSavedFiles());
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
