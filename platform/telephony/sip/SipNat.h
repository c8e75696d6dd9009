// Keeps a registered account reachable from behind a home router: keep-alives that hold the
// router's mapping open (a CRLF ping on TCP and TLS, OPTIONS to the registrar on UDP), notice of a
// registrar that stopped answering them, and the public address the registrar sees the line at.
#pragma once

#include "Re.h"
#include "SipResolver.h"

#include <functional>
#include <string>

namespace kalvo::sip {

class SipEngine;

class SipNat
{
public:
    // lost is called (on the SIP thread) when the keep-alives find the registrar gone.
    SipNat(SipEngine& engine, std::function<void()> lost);
    ~SipNat();
    SipNat(const SipNat&) = delete;
    SipNat& operator=(const SipNat&) = delete;

    // A success response to REGISTER: learns the public address and starts the keep-alives.
    void registered(const struct sip_msg* msg);
    // Stops the keep-alives (the registration is gone or being renewed from scratch).
    void stop();
    // Asks the STUN server (host[:port], numeric or a name) for the line's public address, once its
    // name is resolved and then at every keep-alive; a failure is said on standard error.
    void startStun(const std::string& server);

    // The address and port the registrar saw the response's request come from, as its Via says
    // (received and rport); false when the Via does not say or names the address sent from.
    static bool publicAddressFromVia(const struct sip_msg* msg, struct sa& out);

private:
    static void onTimer(void* arg);
    static void onPing(int err, const struct sip_msg* msg, void* arg);
    static void onKeepalive(int err, void* arg);
    static void onMapped(int err, const struct sa* mapped, void* arg);
    void learn(const struct sip_msg* msg);
    void ping();
    int askStun(const struct sa& server);

    SipEngine& m_engine;
    std::function<void()> m_lost;
    struct sip_keepalive* m_connectionKeepalive = nullptr;
    struct sip_request* m_ping = nullptr;
    struct tmr m_timer;
    uint32_t m_cseq = 0;
    std::string m_callId;
    struct udp_sock* m_stunSocket = nullptr;
    struct stun_keepalive* m_stun = nullptr;
    SipResolver m_stunResolver;
};

} // namespace kalvo::sip
