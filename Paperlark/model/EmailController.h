#pragma once

#include "model/Job.h"
#include "model/PageDocument.h"
#include "model/SaveController.h"
#include "model/SettingsController.h"
#include "settings/EmailMethod.h"

#include <QObject>
#include <QString>

#include <optional>

// E-mailing the document: whether the e-mail sheet is shown, and Send,
// which saves the pages first (through the SaveController) and hands the
// files to the desktop mail client or to an SMTP transfer in the background.
// While the sheet is shown it tells how large the message would be. The
// texts are those of ScannerViewModel::beginEmail() and sendEmail(). Used on
// the GUI thread only.
class EmailController : public QObject {
    Q_OBJECT

public:
    // Everything given must outlive the controller.
    EmailController(SettingsController& settings, const PageDocument& document,
                    SaveController& saving, QObject* parent = nullptr);

    bool sheetVisible() const { return sheetVisible_; }
    void setSheetVisible(bool visible);
    // What Send would attach, each time the sheet is shown: "N file(s), X MB",
    // X the size of the message as the server receives it (attachments
    // encoded, headers included, addressed as the e-mail defaults are). Pages
    // not saved yet are saved as Send would save them, into a temporary folder
    // in the background; until that is done, and when it fails, the text is
    // empty.
    const QString& attachmentSize() const { return attachmentSize_; }
    // That message is larger than most mail servers accept.
    bool overCommonLimit() const { return overCommonLimit_; }

    // While an SMTP transfer runs.
    bool busy() const { return sending_.isRunning(); }

    // Pages or files saved earlier to send.
    bool hasSomethingToSend() const;
    void begin();
    void send(const QString& recipients, const QString& subject, const QString& body,
              EmailMethod method);

Q_SIGNALS:
    void sheetVisibleChanged();
    void busyChanged();
    void attachmentSizeChanged();
    void statusReported(const QString& status);
    void failed(const QString& message);

private:
    // The message's size and how many files it carries.
    struct Measured {
        qint64 bytes = 0;
        qsizetype files = 0;
    };
    void measureAttachments();
    void showAttachmentSize(const std::optional<Measured>& measured);

    using Sent = Result<void, EmailService::Failure>;
    void smtpFinished(const Sent& sent, const QString& recipients, const QString& savedFolder);

    SettingsController& settings_;
    const PageDocument& document_;
    SaveController& saving_;
    bool sheetVisible_ = false;
    QString attachmentSize_;
    bool overCommonLimit_ = false;
    Job<std::optional<Measured>> measuring_;
    Job<Sent> sending_;
};
