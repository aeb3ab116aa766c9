#include "email/MailMessage.h"

#include <QFile>
#include <QLocale>
#include <QUuid>

#include <algorithm>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype lineLength = 76;
const QString crlf = QStringLiteral("\r\n");

bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isPlainAscii(const QString& value) {
    for (const QChar c : value) {
        if (c.unicode() >= 0x80 || isControl(c.unicode())) {
            return false;
        }
    }
    return true;
}

// Base64 folded into lines of 76 characters joined by CR LF.
QByteArray foldedBase64(const QByteArray& bytes) {
    const QByteArray encoded = bytes.toBase64();
    QByteArray folded;
    folded.reserve(encoded.size() + encoded.size() / lineLength * 2 + 2);
    for (qsizetype start = 0; start < encoded.size(); start += lineLength) {
        if (start > 0) {
            folded += "\r\n";
        }
        folded += encoded.mid(start, lineLength);
    }
    return folded;
}

// "Mon, 06 Jan 2025 14:03:09 +0100": English names whatever the user's
// locale, in the system's time zone.
QString formatDate(const QDateTime& date) {
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat formatter(icu::UnicodeString(u"EEE, dd MMM yyyy HH:mm:ss Z"),
                                    icu::Locale("en_US_POSIX"), status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString text;
        formatter.format(static_cast<UDate>(date.toMSecsSinceEpoch()), text);
        return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
    }
    // Without ICU's data: the same form from Qt's C locale.
    const QDateTime local = date.toLocalTime();
    const int offset = local.offsetFromUtc() / 60;
    const int magnitude = offset < 0 ? -offset : offset;
    return QLocale::c().toString(local, u"ddd, dd MMM yyyy HH:mm:ss "_s) +
           (offset < 0 ? u'-' : u'+') +
           u"%1%2"_s.arg(magnitude / 60, 2, 10, QChar(u'0'))
               .arg(magnitude % 60, 2, 10, QChar(u'0'));
}

// A display name as it may stand before "<address>": names with characters
// that have a meaning in an address list (a comma, a dot, quotes...) are
// quoted so the name stays one mailbox; names that are not plain ASCII
// become an encoded word.
QString displayName(const QString& name) {
    if (!isPlainAscii(name)) {
        return MailMessage::encodeHeader(name);
    }
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    bool needsQuotes = false;
    for (const QChar c : name) {
        needsQuotes = needsQuotes || specials.contains(c);
    }
    if (!needsQuotes) {
        return name;
    }
    QString escaped = name;
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + escaped + u'"';
}

// A file name inside a quoted MIME parameter: backslashes and quotes are
// escaped and control characters replaced, so no name can end the
// parameter or the header line.
QString quotedParameter(const QString& name) {
    QString escaped;
    escaped.reserve(name.size() + 2);
    for (const QChar c : name) {
        if (c == u'\\' || c == u'"') {
            escaped += u'\\';
            escaped += c;
        } else if (isControl(c.unicode())) {
            escaped += u'_';
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

QStringList MailMessage::splitRecipients(const QString& text) {
    QStringList addresses;
    QString separated = text;
    separated.replace(u';', u',');
    for (const QString& piece : separated.split(u',')) {
        const QString address = piece.trimmed();
        if (!address.isEmpty()) {
            addresses << address;
        }
    }
    return addresses;
}

QString MailMessage::encodeHeader(const QString& value) {
    if (isPlainAscii(value)) {
        return value;
    }
    return QStringLiteral("=?UTF-8?B?") + QString::fromLatin1(value.toUtf8().toBase64()) +
           QStringLiteral("?=");
}

QString MailMessage::wrap(const QString& text, qsizetype length) {
    length = std::max<qsizetype>(length, 1);
    QString wrapped;
    wrapped.reserve(text.size() + text.size() / length * 2 + 2);
    qsizetype inLine = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (inLine == length) {
            wrapped += crlf;
            inLine = 0;
        }
        wrapped += text[i];
        // A surrogate pair is one character and is never cut.
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            wrapped += text[++i];
        }
        ++inLine;
    }
    return wrapped;
}

QString MailMessage::mimeType(const QUrl& file) {
    const QString name = file.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    if (extension == u"pdf") {
        return QStringLiteral("application/pdf");
    }
    if (extension == u"jpg" || extension == u"jpeg") {
        return QStringLiteral("image/jpeg");
    }
    if (extension == u"png") {
        return QStringLiteral("image/png");
    }
    if (extension == u"tif" || extension == u"tiff") {
        return QStringLiteral("image/tiff");
    }
    return QStringLiteral("application/octet-stream");
}

namespace {

// Everything before the body's base64 lines.
QByteArray messageHead(const MailMessage& message, const QString& boundary, const QString& date,
                       const QString& messageId) {
    const QString sender = message.fromName.isEmpty() ? message.fromAddress
                                                      : displayName(message.fromName) + u" <"_s +
                                                            message.fromAddress + u'>';
    QString head;
    head += u"From: "_s + sender + crlf;
    head += u"To: "_s + message.recipients.join(QStringLiteral(", ")) + crlf;
    head += u"Subject: "_s + MailMessage::encodeHeader(message.subject) + crlf;
    head += u"Date: "_s + date + crlf;
    head += u"Message-ID: <"_s + messageId + u"@paperlark>"_s + crlf;
    head += u"MIME-Version: 1.0"_s + crlf;
    head += u"X-Mailer: Paperlark"_s + crlf;
    head += u"Content-Type: multipart/mixed; boundary=\""_s + boundary + u'"' + crlf;
    head += crlf;
    head += u"This is a multi-part message in MIME format."_s + crlf;
    head += crlf;
    head += u"--"_s + boundary + crlf;
    head += u"Content-Type: text/plain; charset=UTF-8"_s + crlf;
    head += u"Content-Transfer-Encoding: base64"_s + crlf;
    head += crlf;
    return head.toUtf8();
}

// The headers of one attachment's part, before its base64 lines.
QByteArray partHead(const QUrl& attachment, const QString& boundary) {
    const QString name = quotedParameter(attachment.fileName());
    QString part;
    part += u"--"_s + boundary + crlf;
    part += u"Content-Type: "_s + MailMessage::mimeType(attachment) + u"; name=\""_s + name + u'"' +
            crlf;
    part += u"Content-Transfer-Encoding: base64"_s + crlf;
    part += u"Content-Disposition: attachment; filename=\""_s + name + u'"' + crlf;
    part += crlf;
    return part.toUtf8();
}

QByteArray closingLine(const QString& boundary) {
    return (u"--"_s + boundary + u"--"_s + crlf).toUtf8();
}

QString newMessageId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

EmailFailure unreadable(const QString& path, const QString& reason) {
    return EmailFailure::file(
        QStringLiteral("The file \"%1\" could not be read (%2).").arg(path, reason));
}

// A part's base64 lines and the blank line that ends the part.
constexpr qsizetype partEnd = 4;

} // namespace

qint64 MailMessage::base64Size(qint64 bytes) {
    const qint64 encoded = (bytes + 2) / 3 * 4;
    const qint64 lines = (encoded + lineLength - 1) / lineLength;
    return lines == 0 ? 0 : encoded + 2 * (lines - 1);
}

Result<qint64, EmailFailure> MailMessage::renderedSize(const QString& boundary) const {
    qint64 size =
        messageHead(*this, boundary, formatDate(QDateTime::currentDateTime()), newMessageId())
            .size();
    size += base64Size(body.toUtf8().size()) + partEnd;
    for (const QUrl& attachment : attachments) {
        const QString path = attachment.toLocalFile();
        // Opened as render() opens it, so that what cannot be sent cannot be measured either.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return unreadable(path, file.errorString());
        }
        size += partHead(attachment, boundary).size() + base64Size(file.size()) + partEnd;
    }
    return size + closingLine(boundary).size();
}

Result<QByteArray, EmailFailure> MailMessage::render(const QString& boundary,
                                                     const QDateTime& date) const {
    QByteArray message = messageHead(*this, boundary, formatDate(date), newMessageId());
    message += foldedBase64(body.toUtf8());
    message += "\r\n\r\n";

    for (const QUrl& attachment : attachments) {
        const QString path = attachment.toLocalFile();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return unreadable(path, file.errorString());
        }
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            return unreadable(path, file.errorString());
        }
        message += partHead(attachment, boundary);
        message += foldedBase64(bytes);
        message += "\r\n\r\n";
    }

    message += closingLine(boundary);
    return message;
}
