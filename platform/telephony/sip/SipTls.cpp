// TLS context and server certificate check of a SIP line.
#include "SipTls.h"

#include <cstring>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

namespace kalvo::sip {

namespace {

// What a person can act on: the certificate's dates, its host, or who signed it.
std::string failureInWords(int error)
{
    switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "the registrar's certificate has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "the registrar's certificate is not valid yet";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "the registrar's certificate is for another host";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return "the registrar's certificate is from an unknown authority";
    default:
        return std::string("the registrar's certificate was refused: ") +
               X509_verify_cert_error_string(error);
    }
}

bool readable(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

SipTls::~SipTls()
{
    mem_deref(m_tls);
}

int SipTls::setup(const SipSettings& settings, const std::string& host, std::string& why)
{
    int err = tls_alloc(&m_tls, TLS_METHOD_SSLV23, nullptr, nullptr);
    if (err) {
        why = "cannot create the TLS context";
        return err;
    }
    SSL_CTX* ctx = tls_openssl_context(m_tls);
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    if (!settings.tlsCert.empty()) {
        if (SSL_CTX_use_certificate_chain_file(ctx, settings.tlsCert.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx, settings.tlsKey.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(ctx) != 1) {
            why = "cannot use the TLS certificate " + settings.tlsCert + " with its key " + settings.tlsKey;
            return EINVAL;
        }
    }
    SSL_CTX_set_default_verify_paths(ctx);
    if (!settings.tlsCa.empty()) {
        if (!readable(settings.tlsCa) ||
            SSL_CTX_load_verify_locations(ctx, settings.tlsCa.c_str(), nullptr) != 1) {
            why = "cannot read the TLS authority file " + settings.tlsCa;
            return ENOENT;
        }
    }
    if (!settings.tlsVerify) {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
        return 0;
    }
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1)
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    SSL_CTX_set_app_data(ctx, this);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, onVerify);
    return 0;
}

int SipTls::onVerify(int preverified, ::x509_store_ctx_st* store)
{
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    // Callers connecting to the line's own TLS listener are not asked for certificates.
    if (!ssl || SSL_is_server(ssl))
        return 1;
    if (!preverified) {
        auto* self = static_cast<SipTls*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
        if (self && self->m_failure.empty())
            self->m_failure = failureInWords(X509_STORE_CTX_get_error(store));
    }
    return preverified;
}

std::string SipTls::takeFailure()
{
    std::string failure;
    failure.swap(m_failure);
    return failure;
}

} // namespace kalvo::sip
