// The TLS side of a line: the context its SIP-over-TLS transport uses, the authorities it trusts
// (the system's and tls_ca), its own certificate when it listens, and the check of the registrar's
// certificate against the registrar's host name, with the reason in words when the check fails.
#pragma once

#include "Re.h"
#include "SipSettings.h"

#include <string>

struct x509_store_ctx_st;

namespace kalvo::sip {

class SipTls
{
public:
    SipTls() = default;
    ~SipTls();
    SipTls(const SipTls&) = delete;
    SipTls& operator=(const SipTls&) = delete;

    // Makes the context for settings; host is the name the server's certificate must carry.
    // @return 0 or an errno value, with why set.
    int setup(const SipSettings& settings, const std::string& host, std::string& why);
    struct tls* context() const { return m_tls; }

    // Why the last server certificate was refused, in words; empty when none was. Taken once.
    std::string takeFailure();

private:
    static int onVerify(int preverified, ::x509_store_ctx_st* store);

    struct tls* m_tls = nullptr;
    std::string m_failure;
};

} // namespace kalvo::sip
