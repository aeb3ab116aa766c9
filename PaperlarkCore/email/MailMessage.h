#pragma once

#include "Result.h"
#include "email/EmailFailure.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// One outgoing e-mail and its rendering as a multipart/mixed Internet
// message: a base64 text part and one base64 part per attached file. A plain
// value; aggregate initialisation takes the fields in this order. The
// attached files are read only while rendering.
struct MailMessage {
    QString fromName; // may be empty
    QString fromAddress;
    QStringList recipients; // already split and trimmed
    QString subject;        // unencoded
    QString body;
    QList<QUrl> attachments; // file URLs, attached in this order

    bool operator==(const MailMessage&) const = default;

    // The addresses of a recipient line as typed: cut at every comma and
    // semicolon, each piece trimmed, empty pieces dropped. Addresses are not
    // checked, and line breaks do not separate.
    static QStringList splitRecipients(const QString& text);

    // The value unchanged when it is printable ASCII; otherwise (any
    // non-ASCII or control character, line breaks included) one RFC 2047
    // encoded word "=?UTF-8?B?...?=" covering the whole value, so no value
    // can ever break a header line.
    static QString encodeHeader(const QString& value);

    // The text cut into consecutive pieces of `length` characters (at least
    // 1), joined by CR LF, with no line break after the last piece.
    static QString wrap(const QString& text, qsizetype length);

    // The MIME type for the file's extension, case-insensitively;
    // "application/octet-stream" for anything unknown.
    static QString mimeType(const QUrl& file);

    // The complete message with CR LF line ends, stamped with `date` in the
    // system's time zone and a fresh message identifier. Fails, producing
    // nothing, when an attachment cannot be read.
    Result<QByteArray, EmailFailure> render(const QString& boundary, const QDateTime& date) const;

    // The number of bytes render() gives with this boundary, from the
    // attachments' sizes on disk, without reading them. Fails as render()
    // does when an attachment cannot be opened.
    Result<qint64, EmailFailure> renderedSize(const QString& boundary) const;

    // The length of `bytes` bytes in base64 folded into lines of 76
    // characters joined by CR LF, as the message carries them.
    static qint64 base64Size(qint64 bytes);
};
