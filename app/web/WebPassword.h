// The web page's password, kept only as a salted PBKDF2-SHA256 hash in an owner-only file of the
// program folder's Web/ ("Web/password").
#pragma once

#include <QByteArray>
#include <QString>

namespace WebPassword {

constexpr int kShortest = 8;

// "<program folder>/Web/password".
QString filePath(const QString& webFolder);
// Stores a new password (at least kShortest characters) as a fresh salt and hash, written whole to
// an owner-only file. @return an empty text, else why it was not stored.
QString store(const QString& webFolder, const QByteArray& password);
// True when a password was set.
bool isSet(const QString& webFolder);
// Compares password with the stored hash in constant time. False when none is stored or the file
// is damaged.
bool matches(const QString& webFolder, const QByteArray& password);

} // namespace WebPassword
