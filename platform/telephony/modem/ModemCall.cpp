// A modem line's call: rings, caller ID, answering, dropping and the far end hanging up.
#include "ModemSession.h"

#include "ModemWaveDevice.h"

namespace kalvo::modem {

using namespace kalvo::telephony;
using namespace std::chrono;
using Phase = ModemLine::Phase;
using Outcome = ModemChannel::Outcome;

namespace {

// Caller-ID lines come in one burst; it is reported once the burst is over.
constexpr milliseconds kCallerIdSettle{150};
// Caller ID sent before the first ring belongs to that ring only when it is this fresh.
constexpr milliseconds kCallerIdFresh{10000};

bool isDigitEvent(char code)
{
    return (code >= '0' && code <= '9') || code == '*' || code == '#' || (code >= 'A' && code <= 'D');
}

} // namespace

CallData ModemSession::callData() const
{
    CallData data;
    const CallerId& id = m_callerId.result();
    data.callerNumber = id.number;
    data.callerName = id.name;
    // Caller ID comes between the first and the second ring: once some came, or the second ring
    // did without it, nothing more will.
    const char why = id.absence();
    if (why == 'P')
        data.callerAbsence = LINECALLPARTYID_BLOCKED;
    else if (why == 'O')
        data.callerAbsence = LINECALLPARTYID_OUTOFAREA;
    else if (!id.empty() || m_ringCount >= 2)
        data.callerAbsence = LINECALLPARTYID_UNAVAIL;
    if (id.number)
        data.displayableAddress = *id.number;
    return data;
}

void ModemSession::onLine(const std::string& line)
{
    if (line.rfind("RING", 0) == 0) {
        ring();
        return;
    }
    if (m_callerId.takeLine(line)) {
        m_callerIdChanged = true;
        m_callerIdAt = Clock::now();
    }
}

void ModemSession::onEvent(char code)
{
    if (code == 'R') { // a ring, as some modems report it in voice mode
        ring();
        return;
    }
    if (m_phase != Phase::Connected)
        return;
    if (isDigitEvent(code)) {
        m_events.digit(m_call, code, LINEDIGITMODE_DTMF);
        m_events.digit(m_call, code, LINEDIGITMODE_DTMFEND);
        return;
    }
    // A silence event ('s', from a modem that ignored AT+VSD) ends nothing: the program decides
    // from the recorded level how long a silence may last.
    if (code == 'b' || code == 'd') {
        // The tone is the last thing heard: it does not belong in the message.
        m_line.waveIn().discardHeld();
        m_hangUpEvent = code;
    } else if (code == 'l') {
        m_hangUpEvent = code; // loop current lost: everything before it was the caller
    }
}

void ModemSession::ring()
{
    const auto now = Clock::now();
    if (m_ignoreRings && now - m_lastRing < kRingGap) {
        m_lastRing = now;
        return;
    }
    m_ignoreRings = false;
    if (m_phase == Phase::Connected)
        return;
    if (m_phase == Phase::None) {
        if (now - m_callerIdAt > kCallerIdFresh)
            m_callerId.clear();
        const CallData data = callData();
        m_line.setPhase(0, Phase::Offering); // busy from here on, before the layer knows the id
        const CallId id = m_events.offerCall(data);
        if (id == 0) {
            m_line.setPhase(0, Phase::None);
            return;
        }
        m_call = id;
        m_phase = Phase::Offering;
        m_ringCount = 0;
        m_callerIdChanged = false;
        m_line.setPhase(id, Phase::Offering);
        m_events.callInfo(id, data, LINECALLINFOSTATE_CALLERID);
    }
    m_lastRing = now;
    ++m_ringCount;
    if (m_ringCount == 2 && m_callerId.result().empty() && !m_callerIdChanged)
        m_events.callInfo(m_call, callData(), LINECALLINFOSTATE_CALLERID); // none came
    m_events.ring(m_ringCount);
}

void ModemSession::tickCall()
{
    const auto now = Clock::now();
    if (m_phase == Phase::Offering) {
        if (m_callerIdChanged && now - m_callerIdAt >= kCallerIdSettle) {
            m_callerIdChanged = false;
            m_events.callInfo(m_call, callData(), LINECALLINFOSTATE_CALLERID);
        }
        if (now - m_lastRing > kRingGap)
            endCall(LINEDISCONNECTMODE_NORMAL, false); // the caller gave up
    } else if (m_phase == Phase::Connected && m_hangUpEvent) {
        endCall(LINEDISCONNECTMODE_NORMAL, true);
    }
}

void ModemSession::answer(const ModemLine::Command& command)
{
    if (m_phase != Phase::Offering || command.call != m_call) {
        m_events.completeRequest(command.request, LINEERR_INVALCALLSTATE);
        return;
    }
    ModemChannel::Reply reply = m_channel->command("AT+VLS=1", seconds(10));
    if (reply.outcome == Outcome::Error) {
        m_profile.voiceLineSelect = false;
        reply = m_channel->command("ATA", seconds(30));
    }
    if (reply.outcome != Outcome::Ok && reply.outcome != Outcome::Connect) {
        m_events.completeRequest(command.request, LINEERR_OPERATIONFAILED);
        return;
    }
    m_events.completeRequest(command.request, 0);
    m_phase = Phase::Connected;
    m_hangUpEvent = 0;
    m_line.setPhase(m_call, Phase::Connected);
    m_events.callState(m_call, LINECALLSTATE_CONNECTED);
}

void ModemSession::drop(const ModemLine::Command& command)
{
    if (m_phase == Phase::None || command.call != m_call) {
        m_events.completeRequest(command.request, LINEERR_INVALCALLHANDLE);
        return;
    }
    // A modem cannot refuse a ringing call: the rest of its rings are ignored instead.
    if (m_phase == Phase::Offering)
        m_ignoreRings = true;
    m_events.completeRequest(command.request, 0);
    endCall(LINEDISCONNECTMODE_NORMAL, m_phase == Phase::Connected);
}

void ModemSession::hangUp()
{
    stopStream();
    if (m_channel->command("AT+VLS=0", seconds(5)).outcome == Outcome::Error)
        m_channel->command("ATH", seconds(5));
}

void ModemSession::endCall(DWORD disconnectMode, bool hangUpModem)
{
    if (hangUpModem && m_channel && !m_channel->gone())
        hangUp();
    m_stream = Stream::None;
    m_line.waveIn().setHoldBack(true);
    if (m_channel)
        m_channel->setReceiving(false);
    const CallId call = m_call;
    const bool offered = m_phase != Phase::None;
    m_phase = Phase::None;
    m_call = 0;
    m_hangUpEvent = 0;
    m_callerId.clear();
    m_callerIdChanged = false;
    m_line.setPhase(0, Phase::None);
    if (offered && call != 0) {
        m_events.callState(call, LINECALLSTATE_DISCONNECTED, disconnectMode);
        m_events.callState(call, LINECALLSTATE_IDLE);
    }
}

} // namespace kalvo::modem
