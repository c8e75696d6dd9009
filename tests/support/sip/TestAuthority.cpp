// A test certificate authority on the OpenSSL library.
#include "TestAuthority.h"

#include <cstdio>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace kalvo::sip::test {

namespace {

EVP_PKEY* newKey()
{
    return EVP_EC_gen("P-256");
}

void writePem(const std::string& path, EVP_PKEY* key, X509* cert)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return;
    if (key)
        PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
    if (cert)
        PEM_write_X509(file, cert);
    std::fclose(file);
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value)) {
        X509_add_ext(cert, ext, -1);
        X509_EXTENSION_free(ext);
    }
}

X509* newCertificate(EVP_PKEY* key, const std::string& commonName, long serial, long fromDays, long toDays)
{
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), toDays * 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    return cert;
}

} // namespace

TestAuthority::TestAuthority(std::string folder) : m_folder(std::move(folder))
{
    EVP_PKEY* key = newKey();
    X509* cert = newCertificate(key, "Kalvo test authority", 1, -1, 365);
    X509_set_issuer_name(cert, X509_get_subject_name(cert));
    addExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign");
    X509_sign(cert, key, EVP_sha256());
    writePem(caFile(), nullptr, cert);
    m_key = key;
    m_cert = cert;
}

TestAuthority::~TestAuthority()
{
    EVP_PKEY_free(static_cast<EVP_PKEY*>(m_key));
    X509_free(static_cast<X509*>(m_cert));
}

std::string TestAuthority::issue(const std::string& name, const std::string& host, long fromDays, long toDays)
{
    static long serial = 100;
    auto* caCert = static_cast<X509*>(m_cert);
    EVP_PKEY* key = newKey();
    X509* cert = newCertificate(key, host, ++serial, fromDays, toDays);
    X509_set_issuer_name(cert, X509_get_subject_name(caCert));
    const bool ip = host.find_first_not_of("0123456789.") == std::string::npos;
    addExtension(cert, caCert, NID_subject_alt_name, ((ip ? "IP:" : "DNS:") + host).c_str());
    addExtension(cert, caCert, NID_basic_constraints, "CA:FALSE");
    addExtension(cert, caCert, NID_ext_key_usage, "serverAuth,clientAuth");
    X509_sign(cert, static_cast<EVP_PKEY*>(m_key), EVP_sha256());
    const std::string certFile = m_folder + "/" + name + ".crt";
    writePem(certFile, nullptr, cert);
    writePem(keyFile(name), key, nullptr);
    X509_free(cert);
    EVP_PKEY_free(key);
    return certFile;
}

} // namespace kalvo::sip::test
