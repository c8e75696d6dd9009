// The web password's hash file.
#include "WebPassword.h"

#include "PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>

namespace {
// About a tenth of a second on a small computer; a guess costs an attacker the same.
constexpr int kIterations = 210000;
constexpr int kSaltBytes = 16, kHashBytes = 32;

QByteArray derive(const QByteArray& password, const QByteArray& salt, int iterations)
{
    QByteArray out(kHashBytes, '\0');
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()),
                          iterations, EVP_sha256(), kHashBytes,
                          reinterpret_cast<unsigned char*>(out.data())) != 1)
        return {};
    return out;
}
} // namespace

QString WebPassword::filePath(const QString& webFolder)
{
    return webFolder + "/password";
}

QString WebPassword::store(const QString& webFolder, const QByteArray& password)
{
    if (QString::fromUtf8(password).size() < kShortest)
        return QStringLiteral("the password must have at least %1 characters").arg(kShortest);
    QByteArray salt(kSaltBytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltBytes) != 1)
        return QStringLiteral("no random numbers for the salt");
    const QByteArray hash = derive(password, salt, kIterations);
    if (hash.isEmpty())
        return QStringLiteral("the hash could not be made");
    const QByteArray text = "pbkdf2-sha256$" + QByteArray::number(kIterations) + "$" + salt.toBase64() + "$" +
                            hash.toBase64() + "\n";
    if (!QDir().mkpath(webFolder))
        return "cannot make the folder " + webFolder;
    ::chmod(QFile::encodeName(webFolder).constData(), 0700);
    if (!PrivateFiles::writeWhole(filePath(webFolder), text))
        return "cannot write " + filePath(webFolder);
    return {};
}

bool WebPassword::isSet(const QString& webFolder)
{
    return QFile::exists(filePath(webFolder));
}

bool WebPassword::matches(const QString& webFolder, const QByteArray& password)
{
    QFile file(filePath(webFolder));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> parts = file.read(4096).trimmed().split('$');
    if (parts.size() != 4 || parts[0] != "pbkdf2-sha256")
        return false;
    bool ok = false;
    const int iterations = parts[1].toInt(&ok);
    const QByteArray salt = QByteArray::fromBase64(parts[2]);
    const QByteArray stored = QByteArray::fromBase64(parts[3]);
    if (!ok || iterations < 1000 || iterations > 10000000 || stored.size() != kHashBytes)
        return false;
    const QByteArray hash = derive(password, salt, iterations);
    return hash.size() == kHashBytes && CRYPTO_memcmp(hash.constData(), stored.constData(), kHashBytes) == 0;
}
