#include "model/ScannerViewModel.h"

#include "email/EmailService.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

// E-mail: "Save & email..." and the sheet's Send.

namespace {

const QString nothingToEmailMessage = QStringLiteral("Scan or add a page before emailing.");

} // namespace

void ScannerViewModel::beginEmail() {
    if (pages_.isEmpty() && lastSavedFiles_.isEmpty()) {
        setErrorMessage(nothingToEmailMessage);
        return;
    }
    setEmailSheetVisible(true);
}

void ScannerViewModel::sendEmail(const QString& recipients, const QString& subject,
                                 const QString& body, EmailMethod method) {
    QList<QUrl> attachments;
    if (pages_.isEmpty()) {
        for (const QUrl& url : std::as_const(lastSavedFiles_)) {
            if (QFileInfo::exists(url.toLocalFile())) {
                attachments << url;
            }
        }
    } else {
        // A PDF waits for the text of pages still being recognised, as Save does.
        if (waitForText([=, this] { sendEmail(recipients, subject, body, method); })) {
            return;
        }
        std::optional<QList<QUrl>> saved = saveCurrentPages();
        if (!saved) {
            return;
        }
        attachments = std::move(*saved);
    }
    if (attachments.isEmpty()) {
        setErrorMessage(nothingToEmailMessage);
        return;
    }

    editSettings([&](AppSettings& s) {
        s.defaultRecipient = recipients;
        s.emailSubject = subject;
        s.emailBody = body;
        s.emailMethod = method;
    });
    settings_.save();

    if (method == EmailMethod::mailClient) {
        setStatus(EmailService::openInMailClient(recipients, subject, body, attachments));
        finishEmail();
        return;
    }

    setBusy(true);
    setStatus(QStringLiteral("Sending email..."));
    const QString savedFolder = QFileInfo(attachments.first().toLocalFile()).absolutePath();
    // The transfer gets its own copies and never touches the model; the
    // watcher belongs to the model, so the outcome is dropped if the model
    // is gone by then.
    auto* watcher = new QFutureWatcher<std::optional<QString>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, recipients, savedFolder] {
        watcher->deleteLater();
        smtpSendFinished(watcher->result(), recipients, savedFolder);
    });
    watcher->setFuture(
        QtConcurrent::run([settings = settings_, recipients, subject, body,
                           attachments = std::move(attachments)]() -> std::optional<QString> {
            const auto sent =
                EmailService::sendViaSMTP(settings, recipients, subject, body, attachments);
            if (sent) {
                return std::nullopt;
            }
            return sent.failure().description();
        }));
}

void ScannerViewModel::smtpSendFinished(const std::optional<QString>& failure,
                                        const QString& recipients, const QString& savedFolder) {
    setBusy(false);
    if (!failure) {
        setStatus(QStringLiteral("Email sent to ") + recipients + u'.');
        finishEmail();
        return;
    }
    setStatus(QStringLiteral("Email failed."));
    setErrorMessage(*failure + QStringLiteral("\n\nThe scan was still saved to ") + savedFolder +
                    u'.');
}

void ScannerViewModel::finishEmail() {
    if (pages_.isEmpty() || !settings_.clearPagesAfterSave) {
        return;
    }
    clearPages(false);
    setFileName(freshFileName());
}
