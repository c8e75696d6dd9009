// The account of a SIP line: registration with digest authentication, refreshed before expiry.
// Two rejected attempts in a row stop it (reported as out of service); it tries again later.
#pragma once

#include "Re.h"
#include "SipNat.h"

#include <string>

namespace kalvo::sip {

class SipEngine;

class SipRegistration
{
public:
    explicit SipRegistration(SipEngine& engine);
    ~SipRegistration();
    SipRegistration(const SipRegistration&) = delete;
    SipRegistration& operator=(const SipRegistration&) = delete;

    // Starts registering.
    void start();
    // The address of record, sip:user@domain.
    std::string aor() const { return m_aor; }
    // The domain of the account (the registrar's host).
    std::string domain() const { return m_domain; }
    // True while the registrar holds our binding.
    bool registered() const { return m_registered; }

private:
    static void onResponse(int err, const struct sip_msg* msg, void* arg);
    static int onAuth(char** user, char** password, const char* realm, void* arg);
    static void onRetry(void* arg);
    static void onAgain(void* arg);
    void response(int err, const struct sip_msg* msg);
    // The keep-alives found the registrar gone: say so and register anew.
    void lost();
    // Out of service with problem as the reason, once per problem.
    void reportProblem(const std::string& problem);

    SipEngine& m_engine;
    std::string m_aor;
    std::string m_domain;
    struct sipreg* m_reg = nullptr;
    struct tmr m_retry;
    unsigned m_rejections = 0;
    unsigned m_authCalls = 0;
    bool m_registered = false;
    bool m_reported = false;
    std::string m_problem;
    SipNat m_nat; // what was last reported, empty while registered
};

} // namespace kalvo::sip
