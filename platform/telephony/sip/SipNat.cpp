// Keep-alives and the public address of a registered SIP account.
#include "SipNat.h"

#include "SipEngine.h"

#include <cstdio>
#include <cstring>

namespace kalvo::sip {

SipNat::SipNat(SipEngine& engine, std::function<void()> lost)
    : m_engine(engine), m_lost(std::move(lost)), m_stunResolver(engine.dns())
{
    tmr_init(&m_timer);
    char id[40];
    re_snprintf(id, sizeof id, "%016llx@kalvo", static_cast<unsigned long long>(rand_u64()));
    m_callId = id;
}

SipNat::~SipNat()
{
    stop();
    mem_deref(m_stun);
    mem_deref(m_stunSocket);
}

void SipNat::startStun(const std::string& server)
{
    SipAddress address;
    if (!SipAddress::parse(server, address))
        return;
    m_stunResolver.resolve(
        address, SipResolver::Service::Stun, [this, server](int err, const std::vector<struct sa>& found) {
            if (!err)
                err = askStun(SipResolver::pick(found, m_engine.family()));
            if (err)
                std::fprintf(stderr, "kalvo sip: cannot ask the STUN server %s: %s\n", server.c_str(),
                             err == EDESTADDRREQ ? "cannot resolve its name" : std::strerror(err));
        });
}

int SipNat::askStun(const struct sa& dst)
{
    struct sa local;
    if (sa_set_str(&local, m_engine.line().settings().listenHost.c_str(), 0) != 0)
        sa_init(&local, sa_af(&dst));
    int err = udp_listen(&m_stunSocket, &local, nullptr, nullptr);
    if (!err)
        err = stun_keepalive_alloc(&m_stun, IPPROTO_UDP, m_stunSocket, 0, &dst, nullptr, onMapped, this);
    if (!err) {
        const unsigned interval = m_engine.line().settings().keepaliveSeconds;
        stun_keepalive_enable(m_stun, interval ? interval : 30);
    }
    return err;
}

void SipNat::onMapped(int err, const struct sa* mapped, void* arg)
{
    auto* self = static_cast<SipNat*>(arg);
    struct sa local;
    if (err || !mapped || udp_local_get(self->m_stunSocket, &local) != 0)
        return;
    // The same address as the socket's own: no router in between.
    if (sa_cmp(mapped, &local, SA_ADDR))
        return;
    if (self->m_engine.publicAddress() && sa_cmp(self->m_engine.publicAddress(), mapped, SA_ADDR))
        return;
    char text[64];
    re_snprintf(text, sizeof text, "%j", mapped);
    std::fprintf(
        stderr, "kalvo sip: the STUN server sees this line at %s; calls through the account name it\n", text);
    self->m_engine.setPublicAddress(*mapped, false);
}

void SipNat::stop()
{
    tmr_cancel(&m_timer);
    m_connectionKeepalive = static_cast<struct sip_keepalive*>(mem_deref(m_connectionKeepalive));
    m_ping = static_cast<struct sip_request*>(mem_deref(m_ping));
}

bool SipNat::publicAddressFromVia(const struct sip_msg* msg, struct sa& out)
{
    struct pl received, rport;
    const bool hasReceived = msg_param_decode(&msg->via.params, "received", &received) == 0;
    const bool hasPort = msg_param_decode(&msg->via.params, "rport", &rport) == 0 && pl_u32(&rport) > 0;
    if (!hasReceived && !hasPort)
        return false;
    out = msg->via.addr;
    if (hasReceived && sa_set(&out, &received, sa_port(&msg->via.addr)) != 0)
        return false;
    if (hasPort)
        sa_set_port(&out, static_cast<uint16_t>(pl_u32(&rport)));
    return !sa_cmp(&out, &msg->via.addr, SA_ALL);
}

void SipNat::learn(const struct sip_msg* msg)
{
    struct sa seen;
    if (!publicAddressFromVia(msg, seen))
        return;
    // A connection's port is its own business: only another address means a router in between.
    if (msg->tp != SIP_TRANSP_UDP && sa_cmp(&seen, &msg->via.addr, SA_ADDR))
        return;
    if (m_engine.publicAddress() && sa_cmp(m_engine.publicAddress(), &seen, SA_ALL))
        return;
    char text[64];
    re_snprintf(text, sizeof text, "%J", &seen);
    std::fprintf(stderr,
                 "kalvo sip: the registrar sees this line at %s; calls through it name that address\n", text);
    m_engine.setPublicAddress(seen, msg->tp == SIP_TRANSP_UDP);
}

void SipNat::registered(const struct sip_msg* msg)
{
    learn(msg);
    const unsigned interval = m_engine.line().settings().keepaliveSeconds;
    if (interval == 0 || m_connectionKeepalive || tmr_isrunning(&m_timer))
        return;
    if (msg->tp == SIP_TRANSP_TCP || msg->tp == SIP_TRANSP_TLS) {
        // The stack pings the connection with CRLF and hears the registrar's CRLF back.
        if (sip_keepalive_start(&m_connectionKeepalive, m_engine.stack(), msg, interval, onKeepalive, this) ==
            0)
            return;
    }
    tmr_start(&m_timer, interval * 1000ull, onTimer, this);
}

void SipNat::onTimer(void* arg)
{
    static_cast<SipNat*>(arg)->ping();
}

void SipNat::ping()
{
    const unsigned interval = m_engine.line().settings().keepaliveSeconds;
    tmr_start(&m_timer, interval * 1000ull, onTimer, this);
    if (m_ping)
        return; // the last one is still out
    const SipSettings& settings = m_engine.line().settings();
    const std::string target = settings.registrarUri();
    const std::string routeText = m_engine.route();
    struct uri route;
    struct pl routePl;
    pl_set_str(&routePl, routeText.c_str());
    const bool routed = !routeText.empty() && uri_decode(&route, &routePl) == 0;
    SipAddress registrar;
    SipAddress::parse(settings.registrar, registrar);
    const std::string aor = "sip:" + settings.user + "@" + registrar.uriHost();
    sip_requestf(&m_ping, m_engine.stack(), true, "OPTIONS", target.c_str(), routed ? &route : nullptr,
                 nullptr, nullptr, onPing, this,
                 "To: <%s>\r\nFrom: <%s>;tag=%016llx\r\nCall-ID: %s\r\nCSeq: %u OPTIONS\r\n"
                 "Content-Length: 0\r\n\r\n",
                 target.c_str(), aor.c_str(), static_cast<unsigned long long>(rand_u64()), m_callId.c_str(),
                 ++m_cseq);
}

void SipNat::onPing(int err, const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipNat*>(arg);
    self->m_ping = static_cast<struct sip_request*>(mem_deref(self->m_ping));
    // Any answer, even a refusal, shows the way to the registrar open.
    if (!err && msg) {
        self->learn(msg);
        return;
    }
    self->stop();
    self->m_lost();
}

void SipNat::onKeepalive(int err, void* arg)
{
    if (!err)
        return;
    auto* self = static_cast<SipNat*>(arg);
    self->stop();
    self->m_lost();
}

} // namespace kalvo::sip
