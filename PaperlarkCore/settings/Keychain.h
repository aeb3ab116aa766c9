#pragma once

#include <QString>

// The SMTP password in the desktop keyring (Secret Service), one item per
// account under the fixed service name below. Nothing here reports an
// error: a missing, locked or unreadable keyring reads as "no password", and
// a write that fails leaves the keyring as it was. Every call is synchronous
// and may be made from any thread.
namespace Keychain {

inline const QString service = QStringLiteral("tessel.Paperlark.smtp");

// The stored password of `account`, or the empty string when there is none,
// the keyring cannot be read or the stored bytes are not UTF-8. An empty
// account is never looked up.
QString get(const QString& account);

// Stores `password` for `account`, replacing the one stored before. An empty
// password removes the item; an empty account does nothing.
void set(const QString& password, const QString& account);

// Deletes the item of `account`, if there is one.
void remove(const QString& account);

} // namespace Keychain
