#pragma once

#include "Result.h"
#include "email/EmailFailure.h"
#include "email/ProcessResult.h"
#include "settings/AppSettings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Gets saved scan files to the user's correspondents: over SMTP through the
// system's curl tool, or as a draft in the desktop mail client. Stateless.
//
// SMTP goes through the system's /usr/bin/curl (curl from PATH only where
// that is missing); xdg-email is looked up on PATH when called. Child
// processes inherit this process's environment.
namespace EmailService {

using Failure = EmailFailure;

inline const QString defaultSubject = QStringLiteral("Scanned document");
inline const QString draftAttachedStatus =
    QStringLiteral("Draft opened in your mail client with the scan attached.");
inline const QString draftByHandStatus = QStringLiteral(
    "Draft opened in your mail client. Attach the file from the file manager window that just "
    "opened.");

// Renders the message and uploads it with curl to the SMTP server of
// `settings`, logging in as settings.smtpUser with the password from the
// keyring (handed to curl on its standard input with the server's URL,
// never on its command line).
// `recipients` is the recipient text as typed. Succeeds when the server
// accepted the mail; a server that refuses the message for its size (reply
// 552, whether to the size announced before the data or after it, and
// whether or not it then closes the connection) gives tooLarge with the
// size of the message sent. Blocks until curl exits (at most about 20 s to connect
// and 300 s in all); it uses no GUI object and may run on any thread, but
// never call it on the GUI thread.
Result<void, Failure> sendViaSMTP(const AppSettings& settings, const QString& recipients,
                                  const QString& subject, const QString& body,
                                  const QList<QUrl>& attachments);

// The size in bytes of the message sendViaSMTP would send with these
// arguments, as the server receives it: headers included, the text and the
// files base64-encoded. Reads only the files' sizes; fails as sending would
// when a file cannot be opened. Checks nothing else (no server, sender or
// recipient needed).
Result<qint64, Failure> messageSize(const AppSettings& settings, const QString& recipients,
                                    const QString& subject, const QString& body,
                                    const QList<QUrl>& attachments);

// Hands a draft with every attachment to the desktop mail client through
// xdg-email and returns draftAttachedStatus. When xdg-email is missing or
// fails, opens a mailto: link instead, shows the first attachment in the
// file manager and returns draftByHandStatus. Never fails. GUI thread only:
// it waits a few seconds at most for xdg-email, keeping the windows painted.
QString openInMailClient(const QString& recipients, const QString& subject, const QString& body,
                         const QList<QUrl>& attachments);

// Tests only: sendViaSMTP runs `program` instead of the system's curl; an
// empty text goes back to the system's. Set it before any send starts.
void setCurlProgramForTesting(const QString& program);

// Runs `executable` with `arguments`, with fresh pipes for its standard
// input, output and error; writes `standardInput` (if any) and closes the
// input, then collects both outputs and waits for the exit. Fails only when
// the program cannot be started. Blocks the calling thread.
Result<ProcessResult, Failure> run(const QString& executable, const QStringList& arguments,
                                   const std::optional<QString>& standardInput = std::nullopt);

} // namespace EmailService
