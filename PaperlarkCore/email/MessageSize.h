#pragma once

#include <QString>

// How the size of an e-mail is told to the user: in megabytes of a million
// bytes, the unit mail servers state their limits in.
namespace MessageSize {

// Most mail servers accept messages up to this size, as they receive them
// (attachments base64-encoded, headers included); many refuse larger ones.
inline constexpr qint64 commonLimit = 20'000'000;
inline const QString overCommonLimitText =
    QStringLiteral("Many mail servers refuse messages over 20 MB.");

// "26.4 MB": one decimal place, rounded to the nearest tenth, but never
// "0.0 MB" for a message that has any bytes at all.
QString text(qint64 bytes);

} // namespace MessageSize
