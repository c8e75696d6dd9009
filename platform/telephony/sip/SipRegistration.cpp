// SIP account registration.
#include "SipRegistration.h"

#include "SipEngine.h"
#include "SipWarnings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kalvo::sip {

namespace {
constexpr const char* kLost = "registration lost, direct calls still work";
}

SipRegistration::SipRegistration(SipEngine& engine)
    : m_engine(engine), m_resolver(engine.dns()), m_nat(engine, [this] { lost(); })
{
    tmr_init(&m_retry);
    tmr_init(&m_refresh);
    const SipSettings& settings = m_engine.line().settings();
    // The domain is the registrar's host without scheme, port or parameters.
    SipAddress registrar;
    SipAddress::parse(settings.registrar, registrar);
    m_domain = registrar.uriHost();
    m_aor = "sip:" + settings.user + "@" + m_domain;
    SipAddress::parse(settings.outboundProxy.empty() ? settings.registrar : settings.outboundProxy, m_hop);
    if (!settings.stunServer.empty())
        m_nat.startStun(settings.stunServer);
}

SipRegistration::~SipRegistration()
{
    tmr_cancel(&m_retry);
    tmr_cancel(&m_refresh);
    m_request = static_cast<struct sip_request*>(mem_deref(m_request));
    if (m_registered)
        unbind();
    mem_deref(m_dialog);
    mem_deref(m_auth);
}

void SipRegistration::start()
{
    // The first hop is looked up anew at every start: a server that moved is found again.
    tmr_cancel(&m_refresh);
    m_resolver.resolve(m_hop, SipResolver::serviceFor(m_hop, m_engine.line().settings().transport),
                       [this](int err, const std::vector<struct sa>& found) {
                           if (!err) {
                               m_engine.firstHopFound(found);
                               begin();
                               return;
                           }
                           reportProblem("registration failed: cannot resolve " + m_hop.host);
                           ++m_failures;
                           const uint64_t seconds = std::min(1800u, 15u << std::min(m_failures, 6u));
                           tmr_start(&m_retry, seconds * 1000, onAgain, this);
                       });
}

void SipRegistration::begin()
{
    const SipSettings& settings = m_engine.line().settings();
    const std::string registrar = settings.registrarUri();
    const std::string route = m_engine.route();
    const char* routes[1] = {route.c_str()};
    tmr_cancel(&m_refresh);
    m_request = static_cast<struct sip_request*>(mem_deref(m_request));
    m_dialog = static_cast<struct sip_dialog*>(mem_deref(m_dialog));
    m_auth = static_cast<struct sip_auth*>(mem_deref(m_auth));
    m_nat.stop();
    m_authCalls = 0;
    m_expires = settings.expires;
    const char* name = settings.displayName.empty() ? nullptr : settings.displayName.c_str();
    int err = sip_dialog_alloc(&m_dialog, registrar.c_str(), m_aor.c_str(), name, m_aor.c_str(),
                               route.empty() ? nullptr : routes, route.empty() ? 0 : 1);
    if (!err)
        err = sip_auth_alloc(&m_auth, onAuth, this, false);
    if (!err)
        err = send();
    if (err) {
        std::fprintf(stderr, "kalvo sip: cannot register %s at %s: %s\n", m_aor.c_str(), registrar.c_str(),
                     std::strerror(err));
        tmr_start(&m_retry, settings.registerRetryMs, onRetry, this);
    }
}

int SipRegistration::send()
{
    return sip_drequestf(&m_request, m_engine.stack(), true, "REGISTER", m_dialog, 0, m_auth, onSend,
                         onResponse, this, "Content-Length: 0\r\n\r\n");
}

int SipRegistration::onSend(enum sip_transp tp, const struct sa* src, const struct sa*, struct mbuf* mb,
                            void* arg)
{
    auto* self = static_cast<SipRegistration*>(arg);
    // Behind a router the registrar must hand calls to the router's address, not the line's own.
    struct sa contact = *src;
    const struct sa* seen = self->m_engine.publicAddress();
    if (seen && sa_af(seen) == sa_af(src)) {
        contact = *seen;
        if (!self->m_engine.publicPortMapped() || tp != SIP_TRANSP_UDP)
            sa_set_port(&contact, sa_port(src));
    }
    char uri[256];
    re_snprintf(uri, sizeof uri, "sip:%s@%J%s", self->m_engine.line().settings().user.c_str(), &contact,
                sip_transp_param(tp));
    self->m_contact = uri;
    int err = mbuf_printf(mb, "Contact: <%s>;expires=%u\r\n", uri, self->m_expires);
    if (!self->m_staleContact.empty() && self->m_staleContact != self->m_contact)
        err |= mbuf_printf(mb, "Contact: <%s>;expires=0\r\n", self->m_staleContact.c_str());
    return err;
}

void SipRegistration::contactChanged()
{
    if (!m_dialog)
        return; // the next REGISTER names the new address anyway
    if (m_request) {
        m_moved = true; // once the one under way is answered
        return;
    }
    if (m_registered)
        m_staleContact = m_contact;
    tmr_start(&m_refresh, 0, onRefresh, this);
}

void SipRegistration::onRefresh(void* arg)
{
    auto* self = static_cast<SipRegistration*>(arg);
    if (int err = self->send())
        self->transaction(err, nullptr);
}

void SipRegistration::backOff()
{
    ++m_failures;
    const uint64_t seconds = std::min(1800u, 30u << std::min(m_failures, 6u));
    tmr_start(&m_refresh, seconds * (500 + rand_u16() % 501), onRefresh, this);
}

namespace {

struct Unbinding
{
    char* contact;
};

void unbindingGone(void* arg)
{
    mem_deref(static_cast<Unbinding*>(arg)->contact);
}

int unbindingSend(enum sip_transp, const struct sa*, const struct sa*, struct mbuf* mb, void* arg)
{
    return mbuf_printf(mb, "Contact: <%s>;expires=0\r\n", static_cast<Unbinding*>(arg)->contact);
}

void unbindingDone(int, const struct sip_msg*, void* arg)
{
    mem_deref(arg);
}

} // namespace

void SipRegistration::unbind()
{
    // The answer comes (or the stack gives up) after this object is gone: what the request needs
    // lives with it. A fresh challenge is not answered; the binding then expires by itself.
    auto* unbinding = static_cast<Unbinding*>(mem_zalloc(sizeof(Unbinding), unbindingGone));
    if (!unbinding || str_dup(&unbinding->contact, m_contact.c_str()) != 0) {
        mem_deref(unbinding);
        return;
    }
    if (sip_drequestf(nullptr, m_engine.stack(), true, "REGISTER", m_dialog, 0, m_auth, unbindingSend,
                      unbindingDone, unbinding, "Content-Length: 0\r\n\r\n") != 0)
        mem_deref(unbinding);
}

void SipRegistration::onRetry(void* arg)
{
    auto* self = static_cast<SipRegistration*>(arg);
    self->m_rejections = 0;
    self->start();
}

void SipRegistration::onAgain(void* arg)
{
    static_cast<SipRegistration*>(arg)->start();
}

int SipRegistration::onAuth(char** user, char** password, const char*, void* arg)
{
    auto* self = static_cast<SipRegistration*>(arg);
    // Asked again within one attempt means the credentials were refused: end the attempt here
    // instead of letting the stack repeat them.
    if (++self->m_authCalls > 1)
        return EAUTH;
    const SipSettings& settings = self->m_engine.line().settings();
    int err = str_dup(user, settings.authUser.c_str());
    if (!err)
        err = str_dup(password, settings.password.c_str());
    return err;
}

void SipRegistration::onResponse(int err, const struct sip_msg* msg, void* arg)
{
    static_cast<SipRegistration*>(arg)->transaction(err, msg);
}

namespace {

struct Granted
{
    const std::string* contact;
    uint32_t seconds;
};

bool grantedFor(const struct sip_hdr* hdr, const struct sip_msg*, void* arg)
{
    auto* granted = static_cast<Granted*>(arg);
    struct sip_addr address;
    struct pl expires;
    if (sip_addr_decode(&address, &hdr->val) != 0 || pl_strcmp(&address.auri, granted->contact->c_str()) != 0)
        return false;
    if (msg_param_decode(&address.params, "expires", &expires) == 0)
        granted->seconds = pl_u32(&expires);
    return true;
}

} // namespace

void SipRegistration::transaction(int err, const struct sip_msg* msg)
{
    if (msg)
        SipEngine::sendPromptly(msg);
    if (!err && msg && msg->scode < 200)
        return;
    if (!err && msg && (msg->scode == 401 || msg->scode == 407)) {
        // Answered once per attempt; a second challenge means the credentials were refused.
        sip_auth_reset(m_auth);
        if (sip_auth_authenticate(m_auth, msg) == 0 && send() == 0)
            return;
    } else if (!err && msg && msg->scode == 423) {
        const struct sip_hdr* least = sip_msg_hdr(msg, SIP_HDR_MIN_EXPIRES);
        if (least && pl_u32(&least->val) > m_expires) {
            m_expires = pl_u32(&least->val);
            if (send() == 0)
                return;
        }
    }
    if (!err && msg && msg->scode >= 200 && msg->scode < 300) {
        m_failures = 0;
        m_staleContact.clear();
        // The registrar may grant less time than asked: refresh before its expiry, not ours.
        Granted granted{&m_contact, m_expires};
        if (!sip_msg_hdr_apply(msg, true, SIP_HDR_CONTACT, grantedFor, &granted) && pl_isset(&msg->expires))
            granted.seconds = pl_u32(&msg->expires);
        tmr_start(&m_refresh, std::max<uint64_t>(granted.seconds, 1) * 900, onRefresh, this);
        if (m_moved) {
            m_moved = false;
            m_staleContact = m_contact;
            tmr_start(&m_refresh, 0, onRefresh, this);
        }
    } else if (err || !msg || (msg->scode != 401 && msg->scode != 403 && msg->scode != 407)) {
        backOff();
    }
    response(err, msg);
}

void SipRegistration::response(int err, const struct sip_msg* msg)
{
    auto& events = m_engine.line().events();
    // A refused certificate shows as a failed connection: its reason comes from the TLS check.
    const std::string tlsFailure = m_engine.takeTlsFailure();
    if (!err && msg && msg->scode >= 200 && msg->scode < 300) {
        m_rejections = 0;
        m_authCalls = 0; // the next refresh may be challenged anew
        m_registered = true;
        m_nat.registered(msg);
        if (!m_reported || !m_problem.empty()) {
            std::fprintf(stderr, "kalvo sip: registered %s\n", m_aor.c_str());
            m_problem.clear();
            m_engine.line().setAccountProblem({});
            events.lineState(LINEDEVSTATE_INSERVICE);
            m_reported = true;
        }
        return;
    }
    bool rejected = !err && msg && (msg->scode == 401 || msg->scode == 403 || msg->scode == 407);
    if (!rejected) {
        // Network trouble or a server error: tried again later, waiting longer after each failure.
        if (!tlsFailure.empty())
            reportProblem("registration refused: " + tlsFailure);
        else if (m_registered || m_problem == kLost)
            reportProblem(kLost); // until it is back
        else if (err)
            reportProblem(std::string("registration failed (") + std::strerror(err) +
                          "), direct calls still work");
        else if (msg)
            reportProblem("registration failed (" + std::to_string(msg->scode) + " " +
                          SipWarnings::escape(std::string_view(msg->reason.p, msg->reason.l)) +
                          "), direct calls still work");
        return;
    }
    if (++m_rejections < 2) {
        // One more attempt at once with a fresh challenge, once this callback has returned.
        tmr_start(&m_retry, 0, onAgain, this);
        return;
    }
    // Wrong credentials do not get better by repeating them: stop, say so, try again much later.
    const SipSettings& settings = m_engine.line().settings();
    const std::string reason = SipWarnings::escape(std::string_view(msg->reason.p, msg->reason.l));
    std::fprintf(stderr, "kalvo sip: registration of %s rejected twice (%u %s); next try in %u s\n",
                 m_aor.c_str(), msg->scode, reason.c_str(), settings.registerRetryMs / 1000);
    tmr_cancel(&m_refresh);
    m_dialog = static_cast<struct sip_dialog*>(mem_deref(m_dialog));
    reportProblem("registration rejected (" + std::to_string(msg->scode) + " " + reason +
                  "), direct calls still work");
    tmr_start(&m_retry, settings.registerRetryMs, onRetry, this);
}

void SipRegistration::lost()
{
    if (m_registered)
        reportProblem(kLost);
    m_registered = false;
    // Registering anew finds a new way through a router; the stack waits longer after each failure.
    tmr_start(&m_retry, 0, onAgain, this);
}

void SipRegistration::reportProblem(const std::string& problem)
{
    m_registered = false;
    if (problem == m_problem)
        return; // said once per cause, not at every retry
    m_problem = problem;
    m_reported = true;
    std::fprintf(stderr, "kalvo sip: %s: %s\n", m_aor.c_str(), problem.c_str());
    m_engine.line().setAccountProblem(problem);
    m_engine.line().events().lineState(LINEDEVSTATE_OUTOFSERVICE);
}

} // namespace kalvo::sip
