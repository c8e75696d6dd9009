// SIP account registration.
#include "SipRegistration.h"

#include "SipEngine.h"
#include "SipWarnings.h"

#include <cstdio>
#include <cstring>

namespace kalvo::sip {

namespace {
constexpr const char* kLost = "registration lost, direct calls still work";
}

SipRegistration::SipRegistration(SipEngine& engine) : m_engine(engine), m_nat(engine, [this] { lost(); })
{
    tmr_init(&m_retry);
    const SipSettings& settings = m_engine.line().settings();
    // The domain is the registrar's host without scheme, port or parameters.
    std::string host = settings.registrar;
    if (auto colon = host.find(':'); colon != std::string::npos && host.compare(0, 3, "sip") == 0)
        host = host.substr(colon + 1);
    host = host.substr(0, host.find_first_of(";?>"));
    if (host.front() == '[') {
        host = host.substr(0, host.find(']') + 1);
    } else if (auto colon = host.find(':'); colon != std::string::npos) {
        host = host.substr(0, colon);
    }
    m_domain = host;
    m_aor = "sip:" + settings.user + "@" + m_domain;
    if (!settings.stunServer.empty())
        if (int err = m_nat.startStun(settings.stunServer))
            std::fprintf(stderr, "kalvo sip: cannot ask the STUN server %s: %s\n",
                         settings.stunServer.c_str(), std::strerror(err));
}

SipRegistration::~SipRegistration()
{
    tmr_cancel(&m_retry);
    mem_deref(m_reg); // unregisters when registered
}

void SipRegistration::start()
{
    const SipSettings& settings = m_engine.line().settings();
    const std::string registrar = settings.registrarUri();
    const std::string route = settings.route();
    const char* routes[1] = {route.c_str()};
    m_reg = static_cast<struct sipreg*>(mem_deref(m_reg));
    m_nat.stop();
    m_authCalls = 0;
    const char* name = settings.displayName.empty() ? nullptr : settings.displayName.c_str();
    int err =
        sipreg_register(&m_reg, m_engine.stack(), registrar.c_str(), m_aor.c_str(), name, m_aor.c_str(),
                        settings.expires, settings.user.c_str(), route.empty() ? nullptr : routes,
                        route.empty() ? 0 : 1, 0, onAuth, this, false, onResponse, this, nullptr, nullptr);
    if (err) {
        std::fprintf(stderr, "kalvo sip: cannot register %s at %s: %s\n", m_aor.c_str(), registrar.c_str(),
                     std::strerror(err));
        tmr_start(&m_retry, settings.registerRetryMs, onRetry, this);
    }
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
    static_cast<SipRegistration*>(arg)->response(err, msg);
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
        // Network trouble or a server error: the stack tries again by itself, waiting longer
        // after each failure.
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
    m_reg = static_cast<struct sipreg*>(mem_deref(m_reg));
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
