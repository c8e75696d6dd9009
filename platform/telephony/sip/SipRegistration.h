// The account of a SIP line: registration with digest authentication, refreshed before expiry.
// Two rejected attempts in a row stop it (reported as out of service); it tries again later.
// The Contact names the address the registrar sees the line at once that is known (behind a
// router), and the binding moves with it when it changes.
#pragma once

#include "Re.h"
#include "SipAddress.h"
#include "SipNat.h"
#include "SipResolver.h"

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

    // Starts registering: finds the first hop, then registers.
    void start();
    // The address of record, sip:user@domain.
    std::string aor() const { return m_aor; }
    // The domain of the account (the registrar's host).
    std::string domain() const { return m_domain; }
    // True while the registrar holds our binding.
    bool registered() const { return m_registered; }
    // The public address changed: register again so calls through the registrar find the line.
    void contactChanged();

private:
    static void onResponse(int err, const struct sip_msg* msg, void* arg);
    static int onSend(enum sip_transp tp, const struct sa* src, const struct sa* dst, struct mbuf* mb,
                      void* arg);
    static int onAuth(char** user, char** password, const char* realm, void* arg);
    static void onRetry(void* arg);
    static void onAgain(void* arg);
    static void onRefresh(void* arg);
    // Registers once the first hop's address is known.
    void begin();
    // Sends REGISTER in the current dialog. @return 0 or an errno value.
    int send();
    void transaction(int err, const struct sip_msg* msg);
    // Tries again later, waiting longer after each failure in a row.
    void backOff();
    // Removes the binding as the line stops, without waiting for the answer.
    void unbind();
    void response(int err, const struct sip_msg* msg);
    // The keep-alives found the registrar gone: say so and register anew.
    void lost();
    // Out of service with problem as the reason, once per problem.
    void reportProblem(const std::string& problem);

    SipEngine& m_engine;
    std::string m_aor;
    std::string m_domain;
    struct sip_dialog* m_dialog = nullptr;
    struct sip_auth* m_auth = nullptr;
    struct sip_request* m_request = nullptr;
    std::string m_contact;      // the Contact URI of the last REGISTER
    std::string m_staleContact; // a binding at an address the line is no longer seen at
    uint32_t m_expires = 0;
    unsigned m_failures = 0; // in a row, for the back-off
    bool m_moved = false;    // the public address changed while a REGISTER was under way
    struct tmr m_retry;
    struct tmr m_refresh;
    unsigned m_rejections = 0;
    unsigned m_authCalls = 0;
    bool m_registered = false;
    bool m_reported = false;
    std::string m_problem; // what was last reported, empty while registered
    SipAddress m_hop;      // where requests go first: the outbound proxy, else the registrar
    SipResolver m_resolver;
    SipNat m_nat;
};

} // namespace kalvo::sip
