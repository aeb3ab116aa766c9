#include "email/EmailFailure.h"

#include "email/MessageSize.h"

EmailFailure EmailFailure::smtp(const QString& message) {
    return {Kind::smtp, message};
}

EmailFailure EmailFailure::noServer() {
    return {Kind::noServer, {}};
}

EmailFailure EmailFailure::noSender() {
    return {Kind::noSender, {}};
}

EmailFailure EmailFailure::noRecipient() {
    return {Kind::noRecipient, {}};
}

EmailFailure EmailFailure::noMailClient() {
    return {Kind::noMailClient, {}};
}

EmailFailure EmailFailure::file(const QString& description) {
    return {Kind::file, description};
}

EmailFailure EmailFailure::launch(const QString& description) {
    return {Kind::launch, description};
}

EmailFailure EmailFailure::tooLarge(qint64 bytes) {
    return {Kind::tooLarge, {}, bytes};
}

QString EmailFailure::description() const {
    switch (kind_) {
    case Kind::smtp:
    case Kind::file:
    case Kind::launch:
        return message_;
    case Kind::noServer:
        return QStringLiteral(
            "No SMTP server is configured. Open Settings and fill in the email section.");
    case Kind::noSender:
        return QStringLiteral(
            "No 'from' address is configured. Open Settings and fill in the email section.");
    case Kind::noRecipient:
        return QStringLiteral("Enter at least one recipient address.");
    case Kind::noMailClient:
        return QStringLiteral("No mail client could be opened.");
    case Kind::tooLarge:
        return QStringLiteral("The mail server refused the message because it is too large (%1).")
            .arg(MessageSize::text(bytes_));
    }
    return message_;
}
