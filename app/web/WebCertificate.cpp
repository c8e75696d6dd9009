// The web certificate, made with libssl (already linked for the SIP line's TLS), so no openssl
// program has to be installed or started.
#include "WebCertificate.h"

#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

namespace {
template <typename T, void (*Free)(T*)> struct Deleter
{
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

QByteArray bioText(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(size));
}

bool addExtension(X509* cert, int nid, const QByteArray& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
    if (!extension)
        return false;
    const bool ok = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return ok;
}

bool writeFile(const QString& path, const QByteArray& text, QFile::Permissions permissions)
{
    QFile file(path + ".tmp");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.setPermissions(permissions) ||
        file.write(text) != text.size() || !file.flush())
        return false;
    file.close();
    QFile::remove(path);
    return file.rename(path);
}
} // namespace

QString WebCertificate::ensure(const QString& webFolder, const QString& hostName)
{
    const QString certPath = webFolder + "/cert.pem", keyPath = webFolder + "/key.pem";
    if (QFile::exists(certPath) && QFile::exists(keyPath))
        return {};
    if (!QDir().mkpath(webFolder))
        return "cannot make the folder " + webFolder;
    ::chmod(QFile::encodeName(webFolder).constData(), 0700);
    KeyPtr key(EVP_EC_gen("P-256"));
    CertPtr cert(X509_new());
    if (!key || !cert)
        return QStringLiteral("no key could be made");
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        return QStringLiteral("no random numbers for the certificate");
    serial[0] &= 0x7f;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
    BN_free(number);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    const QByteArray commonName = "Kalvo " + hostName.toUtf8();
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.constData()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    QByteArray names = "DNS:localhost,IP:127.0.0.1";
    if (!hostName.isEmpty() && hostName != QLatin1String("localhost"))
        names += ",DNS:" + hostName.toUtf8() + ",DNS:" + hostName.toUtf8() + ".local";
    if (!addExtension(cert.get(), NID_subject_alt_name, names) ||
        !addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !addExtension(cert.get(), NID_ext_key_usage, "serverAuth") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        return QStringLiteral("the certificate could not be made");
    BioPtr certBio(BIO_new(BIO_s_mem())), keyBio(BIO_new(BIO_s_mem()));
    if (PEM_write_bio_X509(certBio.get(), cert.get()) != 1 ||
        PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return QStringLiteral("the certificate could not be written");
    if (!writeFile(keyPath, bioText(keyBio.get()), QFile::ReadOwner | QFile::WriteOwner))
        return "cannot write " + keyPath;
    if (!writeFile(certPath, bioText(certBio.get()),
                   QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther))
        return "cannot write " + certPath;
    return {};
}

bool WebCertificate::load(const QString& webFolder, QSslConfiguration& config, QString& why)
{
    QFile certFile(webFolder + "/cert.pem"), keyFile(webFolder + "/key.pem");
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        why = "cannot read the certificate or key in " + webFolder;
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyText = keyFile.readAll();
    QSslKey key(keyText, QSsl::Ec);
    if (key.isNull())
        key = QSslKey(keyText, QSsl::Rsa);
    if (chain.isEmpty() || key.isNull()) {
        why = "the certificate or key in " + webFolder + " is not a PEM certificate and key";
        return false;
    }
    config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    return true;
}

QString WebCertificate::fingerprint(const QString& webFolder)
{
    QFile file(webFolder + "/cert.pem");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QSslCertificate> chain = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (chain.isEmpty())
        return {};
    const QByteArray hex = chain.first().digest(QCryptographicHash::Sha256).toHex().toUpper();
    QString text;
    for (int i = 0; i < hex.size(); i += 2)
        text += (i ? ":" : "") + QString::fromLatin1(hex.mid(i, 2));
    return text;
}
