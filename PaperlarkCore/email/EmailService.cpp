#include "email/EmailService.h"
#include "settings/HorizontalSpace.h"

#include "email/MailMessage.h"
#include "settings/Keychain.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <QUuid>

#include <memory>

namespace {

// How long openInMailClient waits for xdg-email before it takes the
// still-running tool (some mail clients run in its foreground) as success.
constexpr int mailClientWaitMs = 5000;

QString newUuidText() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control) {
            return true;
        }
    }
    return false;
}

// The program's full path from PATH, or `fallback` when PATH has none.
QString findProgram(const QString& name, const QString& fallback = {}) {
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? fallback : found;
}

// A value inside double quotes in a curl configuration: nothing in it can
// end the quotes or the line, so it cannot start another option.
QString quotedForCurlConfig(const QString& value) {
    QString escaped;
    escaped.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'"':
            escaped += QStringLiteral("\\\"");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\v':
            escaped += QStringLiteral("\\v");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString strictUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

// The user's temporary folder. Qt gives an empty path when TMPDIR names a
// folder that does not exist; the message must not land in the working
// folder then.
QString temporaryFolder() {
    const QString folder = QDir::tempPath();
    return folder.isEmpty() ? QStringLiteral("/tmp") : folder;
}

// The rendered message on disk for the length of one send: created new (never
// over an existing file), readable by the user only, and removed when this
// object goes away, whatever happened in between.
class TemporaryMessageFile {
public:
    TemporaryMessageFile()
        : path_(QDir(temporaryFolder())
                    .filePath(QStringLiteral("paperlark-") + newUuidText() +
                              QStringLiteral(".eml"))) {}
    TemporaryMessageFile(const TemporaryMessageFile&) = delete;
    TemporaryMessageFile& operator=(const TemporaryMessageFile&) = delete;
    ~TemporaryMessageFile() {
        if (created_) {
            QFile::remove(path_);
        }
    }

    const QString& path() const { return path_; }

    Result<void, EmailFailure> write(const QByteArray& bytes) {
        QFile file(path_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                       QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            return failure(file);
        }
        created_ = true;
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            return failure(file);
        }
        file.close();
        if (file.error() != QFileDevice::NoError) {
            return failure(file);
        }
        return {};
    }

private:
    EmailFailure failure(const QFile& file) const {
        return EmailFailure::file(
            QStringLiteral("The message could not be written to the temporary file \"%1\" (%2).")
                .arg(path_, file.errorString()));
    }

    QString path_;
    bool created_ = false;
};

// The server's URL goes to curl on its standard input (see curlConfiguration).
QStringList curlArguments(const AppSettings& settings, const QString& sender,
                          const QStringList& recipients, const QString& messagePath) {
    const bool implicitTls = settings.smtpPort == 465;
    QStringList arguments{
        QStringLiteral("--silent"),          QStringLiteral("--show-error"),
        QStringLiteral("--mail-from"),       sender,
        QStringLiteral("--upload-file"),     messagePath,
        QStringLiteral("--connect-timeout"), QStringLiteral("20"),
        QStringLiteral("--max-time"),        QStringLiteral("300"),
    };
    for (const QString& recipient : recipients) {
        arguments << QStringLiteral("--mail-rcpt") << recipient;
    }
    if (!implicitTls && settings.smtpUseTLS) {
        arguments << QStringLiteral("--ssl-reqd");
    }
    arguments << QStringLiteral("--config") << QStringLiteral("-");
    return arguments;
}

// curl's configuration on standard input: the server's URL and the login,
// if there is one; so the password never shows on a command line. curl's
// user option splits "user:password" at the first colon, so a user name with
// a colon goes into the URL instead, percent-encoded with its password (curl
// takes no control characters there, which the user option allows).
QString curlConfiguration(const AppSettings& settings) {
    const bool implicitTls = settings.smtpPort == 465;
    QString login;
    QString userLine;
    if (!settings.smtpUser.isEmpty()) {
        const QString password = Keychain::get(settings.smtpUser);
        if (settings.smtpUser.contains(u':')) {
            login = QString::fromLatin1(QUrl::toPercentEncoding(settings.smtpUser) + ':' +
                                        QUrl::toPercentEncoding(password) + '@');
        } else {
            userLine = QStringLiteral("user = \"") + quotedForCurlConfig(settings.smtpUser) + u':' +
                       quotedForCurlConfig(password) + QStringLiteral("\"\n");
        }
    }
    const QString url = (implicitTls ? QStringLiteral("smtps") : QStringLiteral("smtp")) +
                        QStringLiteral("://") + login + settings.smtpHost + u':' +
                        QString::number(settings.smtpPort);
    // The server's last reply code goes to standard output, so that a
    // refusal can be told apart from other failures (curl's own text for a
    // refusal after the data says only "Weird server reply").
    return QStringLiteral("url = \"") + quotedForCurlConfig(url) + QStringLiteral("\"\n") +
           userLine + QStringLiteral("write-out = \"%{response_code}\"\n");
}

QString& curlOverride() {
    static QString program;
    return program;
}

// The system's curl, whatever comes first on PATH (which may be a build with
// another set of trusted authorities); PATH only where the system has none.
QString curlProgram() {
    if (!curlOverride().isEmpty()) {
        return curlOverride();
    }
    const QString system = QStringLiteral("/usr/bin/curl");
    if (QFileInfo(system).isExecutable()) {
        return system;
    }
    return findProgram(QStringLiteral("curl"), system);
}

// Asks xdg-email for a draft; true when it reported success or is still
// busy with the mail client after a few seconds.
bool composeWithXdgEmail(const QStringList& addresses, const QString& subject, const QString& body,
                         const QList<QUrl>& attachments) {
    const QString program = findProgram(QStringLiteral("xdg-email"));
    if (program.isEmpty()) {
        return false;
    }
    // Qt hands arguments to the child as UTF-8; --utf8 tells xdg-email so.
    QStringList arguments{QStringLiteral("--utf8")};
    // xdg-email refuses an empty --subject or --body.
    if (!subject.isEmpty()) {
        arguments << QStringLiteral("--subject") << subject;
    }
    if (!body.isEmpty()) {
        arguments << QStringLiteral("--body") << body;
    }
    for (const QUrl& attachment : attachments) {
        arguments << QStringLiteral("--attach") << attachment.toLocalFile();
    }
    arguments << addresses;

    auto process = std::make_unique<QProcess>();
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted(-1)) {
        return false;
    }

    QCoreApplication* const application = QCoreApplication::instance();
    const bool onApplicationThread =
        application != nullptr && QThread::currentThread() == application->thread();
    const QDeadlineTimer deadline(mailClientWaitMs);
    while (!process->waitForFinished(50) && process->state() != QProcess::NotRunning) {
        if (!onApplicationThread) {
            continue;
        }
        if (deadline.hasExpired()) {
            // The mail client runs in the tool's foreground: leave it running
            // and let the application own the process until it ends.
            QProcess* const running = process.release();
            QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
            running->setParent(application);
            return true;
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

QUrl mailtoLink(const QStringList& addresses, const QString& subject, const QString& body) {
    const QByteArray encoded = QByteArrayLiteral("mailto:") +
                               QUrl::toPercentEncoding(addresses.join(u','), "@,") +
                               QByteArrayLiteral("?subject=") + QUrl::toPercentEncoding(subject) +
                               QByteArrayLiteral("&body=") + QUrl::toPercentEncoding(body);
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

// Shows the file selected in the file manager; when no file manager answers
// on the session bus, opens the folder that holds it instead.
void revealInFileManager(const QUrl& file) {
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) {
                             QDesktopServices::openUrl(folder);
                         }
                         finished->deleteLater();
                     });
}

// The message sendViaSMTP sends: from the configured sender, with the
// default subject for an empty one.
MailMessage composedMessage(const AppSettings& settings, const QString& sender,
                            const QStringList& addresses, const QString& subject,
                            const QString& body, const QList<QUrl>& attachments) {
    return {settings.fromName,
            sender,
            addresses,
            subject.isEmpty() ? EmailService::defaultSubject : subject,
            body,
            attachments};
}

QString senderAddress(const AppSettings& settings) {
    return settings.fromAddress.isEmpty() ? settings.smtpUser : settings.fromAddress;
}

QString newBoundary() {
    return QStringLiteral("Paperlark-") + newUuidText();
}

// RFC 5321: "Requested mail action aborted: exceeded storage allocation",
// the answer servers give to a message over their size limit, whether to
// the size announced with MAIL or once the data has come in.
constexpr int messageTooLargeReply = 552;

} // namespace

Result<qint64, EmailFailure> EmailService::messageSize(const AppSettings& settings,
                                                       const QString& recipients,
                                                       const QString& subject, const QString& body,
                                                       const QList<QUrl>& attachments) {
    return composedMessage(settings, senderAddress(settings),
                           MailMessage::splitRecipients(recipients), subject, body, attachments)
        .renderedSize(newBoundary());
}

Result<void, EmailFailure> EmailService::sendViaSMTP(const AppSettings& settings,
                                                     const QString& recipients,
                                                     const QString& subject, const QString& body,
                                                     const QList<QUrl>& attachments) {
    if (HorizontalSpace::trimmed(settings.smtpHost).isEmpty()) {
        return Failure::noServer();
    }
    const QString from = senderAddress(settings);
    if (HorizontalSpace::trimmed(from).isEmpty()) {
        return Failure::noSender();
    }
    const QStringList addresses = MailMessage::splitRecipients(recipients);
    if (addresses.isEmpty()) {
        return Failure::noRecipient();
    }
    // A line break in an address would end the header line or the SMTP
    // command it is written into.
    if (hasControlCharacter(from)) {
        return Failure::smtp(QStringLiteral(
            "The email could not be sent because the sender address contains a line break or "
            "another control character."));
    }
    for (const QString& address : addresses) {
        if (hasControlCharacter(address)) {
            return Failure::smtp(QStringLiteral(
                "The email could not be sent because a recipient address contains a line break "
                "or another control character."));
        }
    }

    const MailMessage message =
        composedMessage(settings, from, addresses, subject, body, attachments);
    const Result<QByteArray, EmailFailure> rendered =
        message.render(newBoundary(), QDateTime::currentDateTime());
    if (!rendered) {
        return rendered.failure();
    }

    TemporaryMessageFile messageFile;
    if (const Result<void, EmailFailure> written = messageFile.write(rendered.value()); !written) {
        return written.failure();
    }

    const Result<ProcessResult, EmailFailure> outcome =
        run(curlProgram(), curlArguments(settings, from, addresses, messageFile.path()),
            curlConfiguration(settings));
    if (!outcome) {
        return outcome.failure();
    }
    const ProcessResult& result = outcome.value();
    if (result.exitStatus == 0) {
        return {};
    }
    if (result.outputText.trimmed() == QString::number(messageTooLargeReply)) {
        return Failure::tooLarge(rendered.value().size());
    }
    const QString reason =
        result.errorText.isEmpty()
            ? QStringLiteral("curl exited with status %1.").arg(result.exitStatus)
            : result.errorText;
    return Failure::smtp(QStringLiteral("The email could not be sent. ") + reason);
}

void EmailService::setCurlProgramForTesting(const QString& program) {
    curlOverride() = program;
}

QString EmailService::openInMailClient(const QString& recipients, const QString& subject,
                                       const QString& body, const QList<QUrl>& attachments) {
    const QStringList addresses = MailMessage::splitRecipients(recipients);
    if (composeWithXdgEmail(addresses, subject, body, attachments)) {
        return draftAttachedStatus;
    }
    const QUrl link = mailtoLink(addresses, subject, body);
    if (link.isValid()) {
        QDesktopServices::openUrl(link);
    }
    if (!attachments.isEmpty()) {
        revealInFileManager(attachments.first());
    }
    return draftByHandStatus;
}

Result<ProcessResult, EmailFailure> EmailService::run(const QString& executable,
                                                      const QStringList& arguments,
                                                      const std::optional<QString>& standardInput) {
    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(-1)) {
        return Failure::launch(QStringLiteral("The program \"%1\" could not be started (%2).")
                                   .arg(executable, process.errorString()));
    }
    if (standardInput) {
        process.write(standardInput->toUtf8());
    }
    process.closeWriteChannel();
    process.waitForFinished(-1);

    ProcessResult result;
    result.exitStatus = process.exitCode();
    if (process.exitStatus() == QProcess::CrashExit && result.exitStatus == 0) {
        result.exitStatus = -1;
    }
    result.outputText = strictUtf8(process.readAllStandardOutput());
    result.errorText = strictUtf8(process.readAllStandardError()).trimmed();
    return result;
}
