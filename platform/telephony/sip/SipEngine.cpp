// The SIP stack of a line: listeners, out-of-dialog requests and command dispatch.
#include "SipEngine.h"

#include "SipCall.h"
#include "SipHeaders.h"
#include "SipRegistration.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace kalvo::sip {

using namespace kalvo::telephony;

namespace {
constexpr const char* kAllow = "Allow: INVITE, ACK, BYE, CANCEL, OPTIONS, INFO\r\n";
}

SipEngine::SipEngine(SipLine& line) : m_line(line)
{
    tmr_init(&m_reaper);
}

SipEngine::~SipEngine()
{
    tmr_cancel(&m_reaper);
    m_call.reset();
    m_ended.reset();
    m_registration.reset();
    for (auto& resolver : m_peerResolvers)
        resolver.reset(); // their queries go before the name servers' client
    mem_deref(m_listener);
    mem_deref(m_screen);
    if (m_sessionSocket)
        sipsess_close_all(m_sessionSocket);
    mem_deref(m_sessionSocket);
    if (m_sip)
        sip_close(m_sip, true);
    mem_deref(m_sip);
    mem_deref(m_dns);
}

int SipEngine::start(std::string& why)
{
    const SipSettings& settings = m_line.settings();
    // Name servers are only needed for accounts and calls that name a host; their absence is no error.
    struct sa servers[4];
    uint32_t serverCount = 4;
    char domain[128] = "";
    if (dns_srv_get(domain, sizeof domain, servers, &serverCount) == 0 && serverCount > 0)
        dnsc_alloc(&m_dns, nullptr, servers, serverCount);

    int err = sip_alloc(&m_sip, m_dns, 32, 32, 32, "Kalvo", nullptr, nullptr);
    if (err) {
        why = "cannot create the SIP stack";
        return err;
    }
    struct sa laddr;
    err = sa_set_str(&laddr, settings.listenHost.c_str(), settings.listenPort);
    if (err) {
        why = "bad listen address " + settings.listenAddress();
        return err;
    }
    struct tls* tls = nullptr;
    uint16_t tlsPort = 0;
    if (settings.transport == SipSettings::Transport::Tls) {
        const std::string host = settings.registrar.empty() && settings.outboundProxy.empty()
                                     ? settings.listenHost
                                     : settings.firstHopHost();
        err = m_tls.setup(settings, host, why);
        if (err)
            return err;
        if (!settings.tlsVerify)
            std::fprintf(stderr,
                         "kalvo sip: line \"%s\" does not check the registrar's TLS certificate "
                         "(tls_verify = no): anyone between it and %s can read and change its calls\n",
                         m_line.name().c_str(), host.c_str());
        tls = m_tls.context();
        // Without a certificate of its own the line cannot serve TLS: its transport then takes
        // any free port, for the connections it makes itself.
        tlsPort = settings.tlsCert.empty() ? 0 : settings.tlsPort();
    }
    err = addTransports(laddr, settings.tcp, tls, tlsPort);
    if (err) {
        why = "cannot listen on " + settings.listenAddress() + ": " + std::strerror(err);
        return err;
    }
    // Listeners are asked in the order they were added: the screen first, the catch-all last.
    err = sip_listen(&m_screen, m_sip, true, onScreen, this);
    if (!err)
        err = sipsess_listen(&m_sessionSocket, m_sip, 32, onConnect, this);
    if (!err)
        err = sip_listen(&m_listener, m_sip, true, onRequest, this);
    if (err) {
        why = "cannot listen for sessions";
        return err;
    }
    resolveTrustedPeers();
    if (!settings.registrar.empty()) {
        m_registration = std::make_unique<SipRegistration>(*this);
        m_registration->start();
    }
    return 0;
}

namespace {

struct TransportWalk
{
    struct sip* sip;
    struct sa wildcard;
    bool tcp;
    struct tls* tls;
    uint16_t tlsPort;
    int added = 0;
    int lastError = ENOENT;
};

int addTransportsOn(struct sip* sip, const struct sa& laddr, bool tcp, struct tls* tls, uint16_t tlsPort)
{
    int err = sip_transp_add(sip, SIP_TRANSP_UDP, &laddr);
    if (!err && tcp)
        err = sip_transp_add(sip, SIP_TRANSP_TCP, &laddr);
    if (!err && tls) {
        struct sa tlsAddr = laddr;
        sa_set_port(&tlsAddr, tlsPort);
        err = sip_transp_add(sip, SIP_TRANSP_TLS, &tlsAddr, tls);
    }
    return err;
}

bool addInterfaceTransport(const char*, const struct sa* addr, void* arg)
{
    auto* walk = static_cast<TransportWalk*>(arg);
    if (sa_af(addr) != sa_af(&walk->wildcard) || sa_is_linklocal(addr))
        return false;
    struct sa local = *addr;
    sa_set_port(&local, sa_port(&walk->wildcard));
    int err = addTransportsOn(walk->sip, local, walk->tcp, walk->tls, walk->tlsPort);
    if (err)
        walk->lastError = err;
    else
        ++walk->added;
    return false;
}

} // namespace

int SipEngine::addTransports(const struct sa& laddr, bool tcp, struct tls* tls, uint16_t tlsPort)
{
    if (!sa_is_any(&laddr))
        return addTransportsOn(m_sip, laddr, tcp, tls, tlsPort);
    // The stack binds each transport to one address: a wildcard listener becomes one transport per
    // interface address, so replies and SDP carry the address a request arrived on.
    TransportWalk walk{m_sip, laddr, tcp, tls, tlsPort};
    net_if_apply(addInterfaceTransport, &walk);
    return walk.added > 0 ? 0 : walk.lastError;
}

void SipEngine::stop()
{
    if (m_call)
        m_call->terminate();
    m_call.reset();
    m_ended.reset();
    m_registration.reset();
}

void SipEngine::execute(const SipLine::Command& command)
{
    using Type = SipLine::Command::Type;
    LineEventSink& events = m_line.events();
    if (command.type == Type::MakeCall) {
        auto call = std::make_unique<SipCall>(*this, command.call);
        if (m_call) {
            events.completeRequest(command.request, LINEERR_CALLUNAVAIL);
            return;
        }
        m_call = std::move(call);
        if (!m_call->dial(command.text, command.request))
            callEnded(m_call.get());
        return;
    }
    if (!m_call || m_call->id() != command.call) {
        // The call ended between the command and its turn here.
        if (command.type == Type::Answer || command.type == Type::Drop || command.type == Type::Accept)
            events.completeRequest(command.request, LINEERR_INVALCALLHANDLE);
        return;
    }
    switch (command.type) {
    case Type::Accept:
        m_call->accept(command.request);
        break;
    case Type::Answer:
        m_call->answer(command.request);
        break;
    case Type::Drop:
        m_call->drop(command.request);
        break;
    case Type::Digits:
        m_call->generateDigits(command.text, command.durationMs);
        break;
    case Type::Monitor:
        m_call->monitorDigits(command.mode);
        break;
    default:
        break;
    }
}

void SipEngine::setPublicAddress(const struct sa& address, bool portMapped)
{
    m_public = address;
    m_hasPublic = true;
    m_publicPortMapped = portMapped;
    if (m_registration)
        m_registration->contactChanged();
}

void SipEngine::sendPromptly(const struct sip_msg* msg)
{
    if (msg->tp != SIP_TRANSP_TCP && msg->tp != SIP_TRANSP_TLS)
        return;
    struct tcp_conn* connection = sip_msg_tcpconn(msg);
    const int fd = connection ? tcp_conn_fd(connection) : -1;
    const int on = 1;
    if (fd >= 0)
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void SipEngine::callEnded(SipCall* call)
{
    if (m_call.get() != call)
        return;
    m_ended = std::move(m_call);
    m_connections.setCall(nullptr);
    tmr_start(&m_reaper, 0, onReap, this);
}

void SipEngine::onReap(void* arg)
{
    static_cast<SipEngine*>(arg)->m_ended.reset();
}

void SipEngine::onConnect(const struct sip_msg* msg, void* arg)
{
    static_cast<SipEngine*>(arg)->incoming(msg);
}

void SipEngine::incoming(const struct sip_msg* msg)
{
    // One call per line: the caller hears busy and the line reports nothing.
    m_ended.reset(); // a call that ended in an earlier callback may go now
    if (m_call || m_line.busy()) {
        // Stateless: a retransmitted INVITE is refused again, and a busy line holds no memory
        // for callers it cannot take.
        sip_reply(m_sip, msg, 486, "Busy Here");
        return;
    }
    m_call = std::make_unique<SipCall>(*this, 0);
    if (!m_call->acceptIncoming(msg))
        m_call.reset(); // it has answered the request with an error itself
    else
        m_connections.setCall(msg);
}

bool SipEngine::onScreen(const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipEngine*>(arg);
    sendPromptly(msg);
    // The call's own requests (ACK, BYE, CANCEL, re-INVITE) pass; everything else is a stranger's
    // and must fit the budget of its source, or it is dropped unanswered.
    const bool ofCall = self->m_call && self->m_call->carries(msg);
    self->m_connections.seen(msg, self->trustedPeer(msg));
    if (!ofCall) {
        const bool invite = pl_strcmp(&msg->met, "INVITE") == 0;
        if (!self->m_guard.admit(msg->src, invite)) {
            char source[64] = "";
            re_snprintf(source, sizeof source, "%j", &msg->src);
            const SipFloodGuard::Limits limits;
            self->m_warnings.warn(invite ? "invite flood" : "flood",
                                  std::string(invite ? "dropping INVITEs from " : "dropping requests from ") +
                                      source + " beyond its budget of " +
                                      std::to_string(int(invite ? limits.inviteRate : limits.sourceRate)) +
                                      " a second");
            return true;
        }
    }
    const char* fault = requestFault(msg);
    if (!fault)
        return false;
    // Such a request could never be completed (an INVITE without To is never acknowledged), so it
    // is refused before it can hold the line.
    if (pl_strcmp(&msg->met, "ACK") != 0)
        sip_reply(self->m_sip, msg, 400, fault);
    char source[64] = "";
    re_snprintf(source, sizeof source, "%J", &msg->src);
    self->m_warnings.warn("bad request",
                          std::string("refused a request from ") + source + " (" + fault +
                              "): " + SipWarnings::escape(std::string_view(msg->met.p, msg->met.l)));
    return true;
}

bool SipEngine::onRequest(const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipEngine*>(arg);
    if (pl_strcmp(&msg->met, "OPTIONS") == 0) {
        // Out-of-dialog requests are answered statelessly: a flood of them holds no transactions.
        sip_replyf(self->m_sip, msg, 200, "OK", "%sAccept: application/sdp\r\nContent-Length: 0\r\n\r\n",
                   kAllow);
        return true;
    }
    // Everything else nobody took is answered here, so the stack never prints network text itself.
    if (pl_strcmp(&msg->met, "ACK") == 0)
        return true;
    if (pl_strcmp(&msg->met, "CANCEL") == 0 || pl_strcmp(&msg->met, "BYE") == 0 ||
        pl_strcmp(&msg->met, "INFO") == 0)
        sip_reply(self->m_sip, msg, 481, "Call/Transaction Does Not Exist");
    else
        sip_replyf(self->m_sip, msg, 501, "Not Implemented", "%sContent-Length: 0\r\n\r\n", kAllow);
    char source[64] = "";
    re_snprintf(source, sizeof source, "%J", &msg->src);
    self->m_warnings.warn("unhandled request",
                          std::string("unhandled request from ") + source + ": " +
                              SipWarnings::escape(std::string_view(msg->met.p, msg->met.l)));
    return true;
}

void SipEngine::resolveTrustedPeers()
{
    // The registrar and the outbound proxy vouch for the callers they pass on: their address and,
    // over UDP, the port they send from (the one their URI names), since other programs may share
    // their address.
    const SipSettings& settings = m_line.settings();
    const std::string* servers[2] = {&settings.registrar, &settings.outboundProxy};
    for (size_t i = 0; i < 2; ++i) {
        SipAddress server;
        if (servers[i]->empty() || !SipAddress::parse(*servers[i], server))
            continue;
        m_peerResolvers[i] = std::make_unique<SipResolver>(m_dns);
        m_peerResolvers[i]->resolve(server, SipResolver::serviceFor(server, settings.transport),
                                    [this](int err, const std::vector<struct sa>& found) {
                                        if (!err)
                                            m_trustedPeers.insert(m_trustedPeers.end(), found.begin(),
                                                                  found.end());
                                    });
    }
}

int SipEngine::family() const
{
    struct sa listen;
    return sa_set_str(&listen, m_line.settings().listenHost.c_str(), 0) == 0 ? sa_af(&listen) : AF_UNSPEC;
}

void SipEngine::firstHopFound(const std::vector<struct sa>& found)
{
    // The line's transports are in the family it listens in: a name with addresses of both
    // families (localhost) is reached in that one.
    const struct sa& address = SipResolver::pick(found, family());
    const SipSettings& settings = m_line.settings();
    SipAddress hop;
    SipAddress::parse(settings.outboundProxy.empty() ? settings.registrar : settings.outboundProxy, hop);
    m_route.clear();
    // A numeric hop is reached as written; a name is asked for once, and the requests go to the
    // address found while their URIs keep the name (the TLS check too).
    if (hop.numeric())
        return;
    const auto transport = SipResolver::serviceFor(hop, settings.transport);
    const char* param = transport == SipResolver::Service::SipTls   ? ";transport=tls"
                        : transport == SipResolver::Service::SipTcp ? ";transport=tcp"
                                                                    : "";
    char route[128];
    re_snprintf(route, sizeof route, "sip:%J%s;lr", &address, param);
    m_route = route;
}

bool SipEngine::trustedPeer(const struct sip_msg* msg) const
{
    for (const struct sa& peer : m_trustedPeers)
        if (sa_cmp(&peer, &msg->src, SA_ADDR) &&
            (msg->tp != SIP_TRANSP_UDP || sa_port(&peer) == sa_port(&msg->src)))
            return true;
    return false;
}

} // namespace kalvo::sip
