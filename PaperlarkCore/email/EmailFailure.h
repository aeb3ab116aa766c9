#pragma once

#include <QString>

#include <utility>

// Why an e-mail could not be sent. description() is the one sentence shown
// to the user unchanged.
class EmailFailure {
public:
    enum class Kind {
        smtp,         // the transfer failed; the message text says why
        noServer,     // no SMTP host configured
        noSender,     // neither a from address nor a user name configured
        noRecipient,  // the recipient text holds no address
        noMailClient, // no mail client could be opened
        file,         // an attachment or the temporary message file failed
        launch,       // the transfer program could not be started
        tooLarge,     // the server refused the message for its size
    };

    EmailFailure() = default;

    static EmailFailure smtp(const QString& message);
    static EmailFailure noServer();
    static EmailFailure noSender();
    static EmailFailure noRecipient();
    static EmailFailure noMailClient();
    // The file system's or the process launcher's own error text, passed on.
    static EmailFailure file(const QString& description);
    static EmailFailure launch(const QString& description);
    // `bytes`: the size of the message as it was sent.
    static EmailFailure tooLarge(qint64 bytes);

    Kind kind() const { return kind_; }
    // The payload of smtp, file and launch; empty for the other kinds.
    const QString& message() const { return message_; }
    // The size of the refused message, for tooLarge; 0 for the other kinds.
    qint64 bytes() const { return bytes_; }

    QString description() const;

    bool operator==(const EmailFailure&) const = default;

private:
    EmailFailure(Kind kind, QString message, qint64 bytes = 0)
        : kind_(kind), message_(std::move(message)), bytes_(bytes) {}

    Kind kind_ = Kind::smtp;
    QString message_;
    qint64 bytes_ = 0;
};
