#pragma once

#include "model/Job.h"
#include "model/PageDocument.h"
#include "model/SaveController.h"
#include "model/SettingsController.h"
#include "settings/EmailMethod.h"

#include <QObject>
#include <QString>

// E-mailing the document: whether the e-mail sheet is shown, and Send,
// which saves the pages first (through the SaveController) and hands the
// files to the desktop mail client or to an SMTP transfer in the background.
// The texts are those of ScannerViewModel::beginEmail() and sendEmail().
// Used on the GUI thread only.
class EmailController : public QObject {
    Q_OBJECT

public:
    // Everything given must outlive the controller.
    EmailController(SettingsController& settings, const PageDocument& document,
                    SaveController& saving, QObject* parent = nullptr);

    bool sheetVisible() const { return sheetVisible_; }
    void setSheetVisible(bool visible);
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
    void statusReported(const QString& status);
    void failed(const QString& message);

private:
    using Sent = Result<void, EmailService::Failure>;
    void smtpFinished(const Sent& sent, const QString& recipients, const QString& savedFolder);

    SettingsController& settings_;
    const PageDocument& document_;
    SaveController& saving_;
    bool sheetVisible_ = false;
    Job<Sent> sending_;
};
