// The SIP side of one line, on its SIP thread: the stack and its listeners, the current call, the
// account registration, and the commands the line passes in.
#pragma once

#include "Re.h"
#include "SipConnections.h"
#include "SipFloodGuard.h"
#include "SipLine.h"
#include "SipResolver.h"
#include "SipTls.h"
#include "SipWarnings.h"

#include <memory>
#include <string>
#include <vector>

namespace kalvo::sip {

class SipCall;
class SipRegistration;

class SipEngine
{
public:
    explicit SipEngine(SipLine& line);
    ~SipEngine();
    SipEngine(const SipEngine&) = delete;
    SipEngine& operator=(const SipEngine&) = delete;

    // Starts listening (and registering). @return 0 or an errno value, with why set.
    int start(std::string& why);
    // Ends the call (BYE or a final response) and closes the stack; the loop is then cancelled.
    void stop();
    // Runs one command of the line.
    void execute(const SipLine::Command& command);

    // For calls: the stack, the session socket, the line.
    struct sip* stack() { return m_sip; }
    struct sipsess_sock* sessionSocket() { return m_sessionSocket; }
    SipLine& line() { return m_line; }
    SipRegistration* registration() { return m_registration.get(); }
    // A call ended: it is freed once the current libre callback has returned.
    void callEnded(SipCall* call);
    // True when msg came from the account's registrar or the outbound proxy, whose asserted
    // caller identity may then be believed.
    bool trustedPeer(const struct sip_msg* msg) const;
    SipWarnings& warnings() { return m_warnings; }
    const SipFloodGuard& floodGuard() const { return m_guard; }
    // The address the registrar sees the line at, when it differs from the line's own (behind a
    // router); null until learned. Its port is the router's for the line's SIP messages only when
    // portMapped (learned from the registrar over UDP); STUN's port belongs to its own socket.
    const struct sa* publicAddress() const { return m_hasPublic ? &m_public : nullptr; }
    bool publicPortMapped() const { return m_publicPortMapped; }
    // A new public address: the account registers again with it in its Contact.
    void setPublicAddress(const struct sa& address, bool portMapped);
    // Sends small messages on msg's TCP or TLS connection at once: waiting for the peer's delayed
    // acknowledgement holds an answer back by tens of milliseconds.
    static void sendPromptly(const struct sip_msg* msg);
    // The route of the line's requests: the outbound proxy, else the registrar on TCP or TLS, at the
    // address found for its name once it is known; empty to send requests straight.
    std::string route() const { return m_route.empty() ? m_line.settings().route() : m_route; }
    // The first hop (outbound proxy, else registrar) was found at these addresses.
    void firstHopFound(const std::vector<struct sa>& found);
    // The address family the line listens in.
    int family() const;
    struct dnsc* dns() { return m_dns; }
    // Why the registrar's TLS certificate was refused, in words (empty when it was not). Taken once.
    std::string takeTlsFailure() { return m_tls.takeFailure(); }

private:
    static void onConnect(const struct sip_msg* msg, void* arg);
    static bool onRequest(const struct sip_msg* msg, void* arg);
    static bool onScreen(const struct sip_msg* msg, void* arg);
    void resolveTrustedPeers();
    static void onReap(void* arg);
    void incoming(const struct sip_msg* msg);
    int addTransports(const struct sa& laddr, bool tcp, struct tls* tls, uint16_t tlsPort);

    SipLine& m_line;
    struct dnsc* m_dns = nullptr;
    struct sip* m_sip = nullptr;
    struct sipsess_sock* m_sessionSocket = nullptr;
    struct sip_lsnr* m_listener = nullptr;
    struct sip_lsnr* m_screen = nullptr; // sees every request before the session layer
    std::vector<struct sa> m_trustedPeers;
    std::unique_ptr<SipResolver> m_peerResolvers[2]; // the registrar's and the outbound proxy's
    std::string m_route;
    SipWarnings m_warnings;
    SipFloodGuard m_guard;
    SipConnections m_connections;
    SipTls m_tls;
    struct sa m_public;
    bool m_hasPublic = false;
    bool m_publicPortMapped = false;
    std::unique_ptr<SipCall> m_call;
    std::unique_ptr<SipCall> m_ended; // kept until the callback that ended it has returned
    std::unique_ptr<SipRegistration> m_registration;
    struct tmr m_reaper;
};

} // namespace kalvo::sip
