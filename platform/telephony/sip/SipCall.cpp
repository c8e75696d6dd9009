// A SIP line call: session handlers, call states, rings and digits.
#include "SipCall.h"

#include "SipEngine.h"
#include "SipHeaders.h"
#include "SipMedia.h"
#include "SipRegistration.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kalvo::sip {

using namespace kalvo::telephony;
using Phase = SipLine::Phase;

namespace {

constexpr const char* kAllow = "Allow: INVITE, ACK, BYE, CANCEL, OPTIONS, INFO\r\n";
// How long an offered call waits for the program to let it ring (or refuse it) before the caller
// hears ringing anyway.
constexpr uint32_t kDecideMs = 2000;

// The local address the system routes towards remote (what a wildcard listener stands for).
bool localAddressToward(const struct sa& remote, struct sa& local)
{
    int fd = ::socket(sa_af(&remote), SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    bool ok = ::connect(fd, &remote.u.sa, remote.len) == 0;
    if (ok) {
        sa_init(&local, sa_af(&remote));
        socklen_t len = sizeof(local.u);
        ok = ::getsockname(fd, &local.u.sa, &len) == 0;
        local.len = len;
    }
    ::close(fd);
    return ok;
}

bool hasBody(const struct sip_msg* msg)
{
    return msg && msg->mb && mbuf_get_left(msg->mb) > 0;
}

} // namespace

SipCall::SipCall(SipEngine& engine, CallId id) : m_engine(engine), m_line(engine.line()), m_id(id)
{
    tmr_init(&m_ringTimer);
    tmr_init(&m_decideTimer);
}

SipCall::~SipCall()
{
    tmr_cancel(&m_ringTimer);
    tmr_cancel(&m_decideTimer);
    mem_deref(m_trying);
    mem_deref(m_invite);
    mem_deref(m_answerSdp);
    mem_deref(m_session);
}

bool SipCall::openMedia(const struct sa& local, bool secure)
{
    const SipSettings& settings = m_line.settings();
    SipMedia::Events events;
    events.digit = [this](char digit, DWORD mode) { reportDigit(digit, mode); };
    events.timeout = [this] {
        // Nothing heard for too long: the far end is gone without a BYE.
        m_session = static_cast<struct sipsess*>(mem_deref(m_session));
        end(LINEDISCONNECTMODE_UNAVAIL);
    };
    events.digitsDone = [this] { m_line.events().digitsGenerated(m_id, LINEGENERATETERM_DONE); };
    SipMedia::Options options;
    options.rtpTimeoutMs = settings.rtpTimeoutMs;
    options.jitterMin = settings.jitterMinFrames;
    options.jitterMax = settings.jitterMaxFrames;
    options.srtp = settings.srtp;
    options.secureSignalling = secure;
    m_media = std::make_unique<SipMedia>(m_line.waveOut(), m_line.waveIn(), events, options);
    struct sa bind;
    if (sa_set_str(&bind, settings.listenHost.c_str(), 0) != 0)
        return false;
    return m_media->open(bind, settings.rtpPortMin, settings.rtpPortMax, local) == 0;
}

bool SipCall::carries(const struct sip_msg* msg) const
{
    if (!m_session && m_invite)
        return pl_cmp(&msg->callid, &m_invite->callid) == 0;
    const struct sip_dialog* dialog = m_session ? sipsess_dialog(m_session) : nullptr;
    const char* callId = dialog ? sip_dialog_callid(dialog) : nullptr;
    return callId && pl_strcmp(&msg->callid, callId) == 0;
}

bool SipCall::acceptIncoming(const struct sip_msg* msg)
{
    struct sip* sip = m_engine.stack();
    // The SDP names the address the call arrived on, or the one routed to the caller when the
    // line listens on every address.
    struct sa local = msg->dst;
    if (!sa_isset(&local, SA_ADDR) && !localAddressToward(msg->src, local)) {
        sip_treply(nullptr, sip, msg, 500, "Server Internal Error");
        return false;
    }
    // A call through the account from behind a router names the address the registrar sees.
    const bool viaAccount = m_engine.trustedPeer(msg);
    if (viaAccount && m_engine.publicAddress()) {
        const uint16_t port = sa_port(&local);
        local = *m_engine.publicAddress();
        sa_set_port(&local, port);
    }
    if (!openMedia(local, msg->tp == SIP_TRANSP_TLS)) {
        sip_treply(nullptr, sip, msg, 503, "Service Unavailable");
        return false;
    }
    if (hasBody(msg) && !msg_ctype_cmp(&msg->ctyp, "application", "sdp")) {
        sip_treplyf(nullptr, nullptr, sip, msg, false, 415, "Unsupported Media Type",
                    "Accept: application/sdp\r\nContent-Length: 0\r\n\r\n");
        return false;
    }
    if (hasBody(msg) && (m_media->answerOffer(msg->mb, &m_answerSdp) != 0 || !m_media->audioOffered())) {
        sip_treply(nullptr, sip, msg, 488, "Not Acceptable Here");
        return false;
    }
    // 100 Trying at once; the caller hears ringing (180) only once the program lets the call ring,
    // so one it refuses gets its 603 with nothing before it.
    m_invite = static_cast<struct sip_msg*>(mem_ref(const_cast<struct sip_msg*>(msg)));
    if (sip_strans_alloc(&m_trying, sip, msg, onCancel, this) != 0 ||
        sip_treply(&m_trying, sip, msg, 100, "Trying") != 0) {
        sip_treply(&m_trying, sip, msg, 500, "Server Internal Error");
        return false;
    }
    tmr_start(&m_decideTimer, kDecideMs, onUndecided, this);

    CallData data = callDataFromInvite(msg, m_engine.trustedPeer(msg));
    LineEventSink& events = m_line.events();
    m_line.setPhase(0, Phase::Offering); // busy from here on, before the layer knows the id
    m_id = events.offerCall(data);
    setPhase(Phase::Offering);
    events.callInfo(m_id, data, LINECALLINFOSTATE_CALLERID);
    onRing(this);
    return true;
}

bool SipCall::dial(const std::string& address, RequestId request)
{
    const SipSettings& settings = m_line.settings();
    LineEventSink& events = m_line.events();
    SipRegistration* account = m_engine.registration();
    std::string uri = address;
    if (uri.rfind("sip:", 0) != 0 && uri.rfind("sips:", 0) != 0) {
        std::string full = "sip:";
        full += address;
        if (address.find('@') == std::string::npos && account) {
            full += '@';
            full += account->domain();
        }
        uri = std::move(full);
    }
    struct sip_addr target;
    struct pl uriPl;
    pl_set_str(&uriPl, uri.c_str());
    struct sa local;
    bool ok = sip_addr_decode(&target, &uriPl) == 0;
    if (ok) {
        struct sa listen;
        if (sa_set_str(&listen, settings.listenHost.c_str(), 0) == 0 && sa_isset(&listen, SA_ADDR)) {
            local = listen;
        } else {
            // A numeric host routes directly; a name goes the default way.
            struct sa remote;
            if (sa_set(&remote, &target.uri.host, target.uri.port ? target.uri.port : 5060) != 0 ||
                !localAddressToward(remote, local))
                ok = net_default_source_addr_get(AF_INET, &local) == 0;
        }
    }
    // Through the outbound proxy, or the registrar when the account is on TCP or TLS.
    const std::string route = m_engine.route();
    const bool viaRoute = !route.empty();
    const char* routes[1] = {route.c_str()};
    struct mbuf* offer = nullptr;
    if (ok)
        ok = openMedia(local, viaRoute && settings.transport == SipSettings::Transport::Tls) &&
             m_media->makeOffer(&offer) == 0;
    std::string from;
    if (account) {
        from = account->aor();
    } else {
        char host[64] = "";
        if (ok)
            sa_ntop(&local, host, sizeof host);
        from = "sip:kalvo@" + std::string(host);
    }
    if (ok) {
        const char* name = settings.displayName.empty() ? nullptr : settings.displayName.c_str();
        ok =
            sipsess_connect(&m_session, m_engine.sessionSocket(), uri.c_str(), name, from.c_str(),
                            account ? settings.user.c_str() : "kalvo", viaRoute ? routes : nullptr,
                            viaRoute ? 1 : 0, "application/sdp", offer, onAuth, this, false, onOffer,
                            onAnswer, onProgress, onEstablished, onInfo, nullptr, onClose, this, kAllow) == 0;
    }
    mem_deref(offer);
    if (!ok) {
        m_ended = true;
        m_line.setPhase(m_id, Phase::None);
        events.completeRequest(request, LINEERR_INVALADDRESS);
        return false;
    }
    setPhase(Phase::Outgoing);
    events.completeRequest(request, 0);
    events.callState(m_id, LINECALLSTATE_DIALING);
    events.callState(m_id, LINECALLSTATE_PROCEEDING);
    return true;
}

void SipCall::setPhase(Phase phase)
{
    m_phase = phase;
    m_line.setPhase(m_id, phase);
}

void SipCall::onRing(void* arg)
{
    auto* self = static_cast<SipCall*>(arg);
    if (self->m_phase != Phase::Offering)
        return;
    self->m_line.events().ring(++self->m_ringCount);
    tmr_start(&self->m_ringTimer, self->m_line.settings().ringIntervalMs, onRing, self);
}

void SipCall::answer(RequestId request)
{
    LineEventSink& events = m_line.events();
    if (m_phase != Phase::Offering) {
        events.completeRequest(request, LINEERR_INVALCALLSTATE);
        return;
    }
    tmr_cancel(&m_ringTimer);
    // An INVITE without SDP gets our offer in the 200; the answer comes with the ACK.
    if (!m_answerSdp && m_media->makeOffer(&m_answerSdp) != 0) {
        events.completeRequest(request, LINEERR_OPERATIONFAILED);
        return;
    }
    // A call the program never let ring is answered straight away, without 180.
    int err = m_session ? sipsess_answer(m_session, 200, "OK", m_answerSdp, kAllow)
                        : startSession(200, "OK", m_answerSdp);
    m_answerSdp = static_cast<struct mbuf*>(mem_deref(m_answerSdp));
    if (err) {
        events.completeRequest(request, LINEERR_OPERATIONFAILED);
        return;
    }
    setPhase(Phase::Answering);
    events.completeRequest(request, 0);
}

int SipCall::startSession(uint16_t scode, const char* reason, struct mbuf* sdp)
{
    tmr_cancel(&m_decideTimer);
    // The session's own transaction takes the INVITE over from here on.
    m_trying = static_cast<struct sip_strans*>(mem_deref(m_trying));
    return sipsess_accept(&m_session, m_engine.sessionSocket(), m_invite, scode, reason, "kalvo",
                          "application/sdp", sdp, onAuth, this, false, onOffer, onAnswer, onEstablished,
                          onInfo, nullptr, onClose, this, kAllow);
}

void SipCall::accept(RequestId request)
{
    LineEventSink& events = m_line.events();
    if (m_phase != Phase::Offering || m_session) {
        events.completeRequest(request, m_phase == Phase::Offering ? 0 : LINEERR_INVALCALLSTATE);
        return;
    }
    if (startSession(180, "Ringing", nullptr) != 0) {
        events.completeRequest(request, LINEERR_OPERATIONFAILED);
        return;
    }
    events.completeRequest(request, 0);
    events.callState(m_id, LINECALLSTATE_ACCEPTED);
}

void SipCall::onUndecided(void* arg)
{
    // A program that never says lets the call ring all the same.
    auto* self = static_cast<SipCall*>(arg);
    if (self->m_phase == Phase::Offering && !self->m_session &&
        self->startSession(180, "Ringing", nullptr) != 0)
        self->refuse(500, "Server Internal Error");
}

void SipCall::onCancel(void* arg)
{
    // The caller gave up before the call rang.
    auto* self = static_cast<SipCall*>(arg);
    self->refuse(487, "Request Terminated");
}

void SipCall::refuse(uint16_t scode, const char* reason)
{
    if (m_session)
        sipsess_reject(m_session, scode, reason, nullptr);
    else if (m_trying)
        sip_treply(&m_trying, m_engine.stack(), m_invite, scode, reason);
    m_session = static_cast<struct sipsess*>(mem_deref(m_session));
    end(LINEDISCONNECTMODE_NORMAL);
}

void SipCall::drop(RequestId request)
{
    if (m_phase == Phase::Offering && !m_session && m_trying) {
        m_line.events().completeRequest(request, 0);
        refuse(603, "Decline");
        return;
    }
    if (m_phase == Phase::Offering)
        sipsess_reject(m_session, 603, "Decline", nullptr);
    // Releasing the session sends BYE on an established one, CANCEL on one still being placed.
    m_session = static_cast<struct sipsess*>(mem_deref(m_session));
    m_line.events().completeRequest(request, 0);
    end(LINEDISCONNECTMODE_NORMAL);
}

void SipCall::terminate()
{
    if (m_ended)
        return;
    if (m_phase == Phase::Offering && !m_session && m_trying)
        sip_treply(&m_trying, m_engine.stack(), m_invite, 480, "Temporarily Unavailable");
    else if (m_phase == Phase::Offering)
        sipsess_reject(m_session, 480, "Temporarily Unavailable", nullptr);
    m_session = static_cast<struct sipsess*>(mem_deref(m_session));
    end(LINEDISCONNECTMODE_NORMAL);
}

void SipCall::generateDigits(const std::string& digits, DWORD durationMs)
{
    LineEventSink& events = m_line.events();
    // A new request cancels one still running, as a line does.
    if (m_media->cancelDigits())
        events.digitsGenerated(m_id, LINEGENERATETERM_CANCEL);
    if (!m_media->generateDigits(digits, durationMs))
        events.digitsGenerated(m_id, LINEGENERATETERM_CANCEL);
}

void SipCall::monitorDigits(DWORD modes)
{
    m_media->setInbandDetection((modes & LINEDIGITMODE_DTMF) != 0);
}

void SipCall::reportDigit(char digit, DWORD mode)
{
    if (m_phase == Phase::Connected)
        m_line.events().digit(m_id, digit, mode);
}

int SipCall::onOffer(struct mbuf** descp, const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipCall*>(arg);
    // A re-INVITE (hold, session refresh): answer its offer, or offer anew when it has none.
    if (hasBody(msg))
        return self->m_media->answerOffer(msg->mb, descp);
    return self->m_media->makeOffer(descp);
}

int SipCall::onAnswer(const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipCall*>(arg);
    if (!hasBody(msg))
        return 0;
    return self->m_media->takeAnswer(msg->mb);
}

void SipCall::onProgress(const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipCall*>(arg);
    if (msg->scode == 180 || msg->scode == 183)
        self->m_line.events().callState(self->m_id, LINECALLSTATE_RINGBACK);
    if (hasBody(msg))
        self->m_media->takeAnswer(msg->mb);
}

void SipCall::onEstablished(const struct sip_msg*, void* arg)
{
    auto* self = static_cast<SipCall*>(arg);
    self->setPhase(Phase::Connected);
    self->m_media->start();
    self->m_line.events().callState(self->m_id, LINECALLSTATE_CONNECTED);
}

void SipCall::onInfo(struct sip* sip, const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipCall*>(arg);
    char digit = infoDigit(msg);
    if (!digit && !hasBody(msg)) {
        sip_reply(sip, msg, 200, "OK");
        return;
    }
    if (!digit) {
        sip_reply(sip, msg, 415, "Unsupported Media Type");
        return;
    }
    sip_reply(sip, msg, 200, "OK");
    self->reportDigit(digit, LINEDIGITMODE_DTMF);
    self->reportDigit(digit, LINEDIGITMODE_DTMFEND);
}

void SipCall::onClose(int err, const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipCall*>(arg);
    DWORD mode = LINEDISCONNECTMODE_NORMAL;
    if (msg && !msg->req) {
        // An outgoing call that failed: its final response tells why.
        if (msg->scode == 486 || msg->scode == 600)
            mode = LINEDISCONNECTMODE_BUSY;
        else if (msg->scode == 603)
            mode = LINEDISCONNECTMODE_REJECT;
        else if (msg->scode == 404 || msg->scode == 484)
            mode = LINEDISCONNECTMODE_BADADDRESS;
        else if (msg->scode == 408 || msg->scode == 480)
            mode = LINEDISCONNECTMODE_NOANSWER;
        else
            mode = LINEDISCONNECTMODE_UNAVAIL;
    } else if (err == ETIMEDOUT) {
        mode = LINEDISCONNECTMODE_UNREACHABLE;
    }
    self->m_session = static_cast<struct sipsess*>(mem_deref(self->m_session));
    self->end(mode);
}

int SipCall::onAuth(char** user, char** password, const char*, void* arg)
{
    auto* self = static_cast<SipCall*>(arg);
    const SipSettings& settings = self->m_line.settings();
    if (settings.password.empty())
        return EAUTH;
    int err = str_dup(user, settings.authUser.c_str());
    if (!err)
        err = str_dup(password, settings.password.c_str());
    return err;
}

void SipCall::end(DWORD disconnectMode)
{
    if (m_ended)
        return;
    m_ended = true;
    tmr_cancel(&m_ringTimer);
    if (m_media)
        m_media->stop();
    bool offered = m_phase != Phase::None;
    setPhase(Phase::None);
    if (offered && m_id != 0) {
        LineEventSink& events = m_line.events();
        events.callState(m_id, LINECALLSTATE_DISCONNECTED, disconnectMode);
        events.callState(m_id, LINECALLSTATE_IDLE);
    }
    m_engine.callEnded(this);
}

} // namespace kalvo::sip
