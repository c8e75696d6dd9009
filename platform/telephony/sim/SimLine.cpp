// The simulated line: calls, requests, digits, audio and the scenario player.
#include "SimLine.h"

#include "SimScenario.h"
#include "WavFile.h"
#include "WaveDeviceTable.h"

#include <chrono>
#include <cstdio>

namespace kalvo::sim {

using namespace kalvo::telephony;
using kalvo::wave::WaveDeviceTable;
using kalvo::wave::WaveDirection;

SimLine::SimLine(SimLineSettings settings, std::vector<SimScenarioEvent> scenario, LineEventSink& events)
    : m_settings(std::move(settings)), m_scenario(std::move(scenario)), m_events(events),
      m_waveIn(std::make_shared<SimWaveDevice>(m_settings.caps.name + " (wave in)", WaveDirection::In)),
      m_waveOut(std::make_shared<SimWaveDevice>(m_settings.caps.name + " (wave out)", WaveDirection::Out))
{
    m_waveIn->setRealTime(m_settings.realTimeAudio);
    m_waveOut->setRealTime(m_settings.realTimeAudio);
    m_waveInId = WaveDeviceTable::instance().addLineDevice(m_waveIn);
    m_waveOutId = WaveDeviceTable::instance().addLineDevice(m_waveOut);
}

SimLine::~SimLine()
{
    close();
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::In, m_waveInId);
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::Out, m_waveOutId);
    m_waveIn->stop();
    m_waveOut->stop();
}

void SimLine::open()
{
    if (m_scenario.empty())
        return;
    std::lock_guard lock(m_scenarioMutex);
    if (m_scenarioThread.joinable())
        return;
    m_scenarioStop = false;
    m_scenarioThread = std::thread([this] { runScenario(); });
}

void SimLine::close()
{
    std::thread thread;
    {
        std::lock_guard lock(m_scenarioMutex);
        m_scenarioStop = true;
        thread = std::move(m_scenarioThread);
    }
    m_scenarioWake.notify_all();
    if (thread.joinable())
        thread.join();
}

void SimLine::runScenario()
{
    auto start = std::chrono::steady_clock::now();
    for (const SimScenarioEvent& ev : m_scenario) {
        {
            std::unique_lock lock(m_scenarioMutex);
            auto when = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>(ev.at));
            if (m_scenarioWake.wait_until(lock, when, [this] { return m_scenarioStop; }))
                return;
        }
        switch (ev.kind) {
        case SimScenarioEvent::Kind::Offer:
            offerCall(ev.number, ev.name);
            break;
        case SimScenarioEvent::Kind::Ring:
            ring(ev.count);
            break;
        case SimScenarioEvent::Kind::CallInfo:
            resendCallInfo();
            break;
        case SimScenarioEvent::Kind::Audio: {
            std::string error;
            if (!queueCallerWav(ev.text, error))
                std::fprintf(stderr, "telephony: sim: %s\n", error.c_str());
            break;
        }
        case SimScenarioEvent::Kind::Digits:
            sendDigits(ev.text);
            break;
        case SimScenarioEvent::Kind::HangUp:
            hangUp();
            break;
        case SimScenarioEvent::Kind::RemoteAnswer:
            remoteAnswer();
            break;
        }
    }
}

void SimLine::updateConnectedLocked()
{
    bool connected = false;
    for (const auto& [id, call] : m_calls)
        connected |= call.state == LINECALLSTATE_CONNECTED;
    m_waveIn->setConnected(connected);
    m_waveOut->setConnected(connected);
}

SimLine::SimCall* SimLine::callLocked(CallId call)
{
    const auto it = m_calls.find(call);
    return it == m_calls.end() ? nullptr : &it->second;
}

void SimLine::setStateLocked(CallId call, DWORD state, DWORD mode)
{
    auto it = m_calls.find(call);
    if (it == m_calls.end())
        return;
    it->second.state = state;
    m_events.callState(call, state, mode);
    updateConnectedLocked();
}

void SimLine::applyLocked(const PendingRequest& p, LONG result)
{
    if (p.request != 0)
        m_events.completeRequest(p.request, result);
    auto it = m_calls.find(p.call);
    if (it == m_calls.end())
        return;
    if (result != 0) {
        // A failed call attempt leaves nothing behind.
        if (p.kind == PendingRequest::Kind::MakeCall)
            setStateLocked(p.call, LINECALLSTATE_IDLE);
        return;
    }
    switch (p.kind) {
    case PendingRequest::Kind::Answer:
        if (it->second.state == LINECALLSTATE_OFFERING || it->second.state == LINECALLSTATE_ACCEPTED)
            setStateLocked(p.call, LINECALLSTATE_CONNECTED);
        break;
    case PendingRequest::Kind::Drop:
        if (it->second.state != LINECALLSTATE_DISCONNECTED && it->second.state != LINECALLSTATE_IDLE)
            setStateLocked(p.call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
        if (it->second.state != LINECALLSTATE_IDLE)
            setStateLocked(p.call, LINECALLSTATE_IDLE);
        break;
    case PendingRequest::Kind::MakeCall:
        setStateLocked(p.call, LINECALLSTATE_DIALING);
        setStateLocked(p.call, LINECALLSTATE_PROCEEDING);
        break;
    }
}

LONG SimLine::answer(CallId call, RequestId request)
{
    std::lock_guard lock(m_mutex);
    SimCall* const found = callLocked(call);
    if (!found)
        return LINEERR_INVALCALLHANDLE;
    if (found->state != LINECALLSTATE_OFFERING && found->state != LINECALLSTATE_ACCEPTED)
        return LINEERR_INVALCALLSTATE;
    return requestLocked({request, PendingRequest::Kind::Answer, call}, m_settings.autoComplete);
}

LONG SimLine::drop(CallId call, RequestId request)
{
    std::lock_guard lock(m_mutex);
    SimCall* const found = callLocked(call);
    if (!found)
        return LINEERR_INVALCALLHANDLE;
    if (found->state == LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE;
    // The layer's own drops (request 0, on close and shutdown) never wait.
    return requestLocked({request, PendingRequest::Kind::Drop, call},
                         m_settings.autoComplete || request == 0);
}

LONG SimLine::requestLocked(const PendingRequest& request, bool completeNow)
{
    if (completeNow)
        applyLocked(request, 0);
    else
        m_pending.push_back(request);
    return 0;
}

LONG SimLine::makeCall(CallId call, const std::string& address, RequestId request)
{
    std::lock_guard lock(m_mutex);
    SimCall& c = m_calls[call];
    c.state = LINECALLSTATE_IDLE;
    c.data.origin = LINECALLORIGIN_OUTBOUND;
    c.data.calledNumber = address;
    m_current = call;
    m_dialled = address;
    PendingRequest p{request, PendingRequest::Kind::MakeCall, call};
    if (m_settings.autoComplete)
        applyLocked(p, 0);
    else
        m_pending.push_back(p);
    return 0;
}

LONG SimLine::generateDigits(CallId call, const std::string& digits, DWORD, DWORD)
{
    std::lock_guard lock(m_mutex);
    if (!m_calls.count(call))
        return LINEERR_INVALCALLHANDLE;
    m_generated += digits;
    m_events.digitsGenerated(call, LINEGENERATETERM_DONE);
    return 0;
}

LONG SimLine::monitorDigits(CallId call, DWORD modes)
{
    std::lock_guard lock(m_mutex);
    SimCall* const found = callLocked(call);
    if (!found)
        return LINEERR_INVALCALLHANDLE;
    found->monitorModes = modes;
    return 0;
}

void SimLine::deallocate(CallId call)
{
    std::lock_guard lock(m_mutex);
    m_calls.erase(call);
    if (m_current == call)
        m_current = 0;
}

LineWaveIds SimLine::waveDevices() const
{
    return LineWaveIds{m_waveInId, m_waveOutId};
}

CallId SimLine::offerCall(std::optional<std::string> number, std::optional<std::string> name)
{
    std::lock_guard lock(m_mutex);
    CallData data;
    data.mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
    data.origin = LINECALLORIGIN_EXTERNAL;
    data.callerAbsence = LINECALLPARTYID_UNAVAIL; // the scripted caller is known from the start
    // A line without caller identification never knows who calls.
    if (m_settings.caps.callerIdFlags) {
        data.callerNumber = std::move(number);
        data.callerName = std::move(name);
    }
    CallId id = m_events.offerCall(data);
    if (id == 0)
        return 0;
    SimCall& c = m_calls[id];
    c.state = LINECALLSTATE_OFFERING;
    c.data = data;
    m_current = id;
    m_events.callInfo(id, data, LINECALLINFOSTATE_CALLERID);
    return id;
}

void SimLine::ring(int times)
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(m_current);
    if (it == m_calls.end() || it->second.state != LINECALLSTATE_OFFERING)
        return;
    for (int i = 0; i < times; ++i)
        m_events.ring(++it->second.rings);
}

void SimLine::resendCallInfo()
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(m_current);
    if (it != m_calls.end())
        m_events.callInfo(m_current, it->second.data, LINECALLINFOSTATE_CALLERID);
}

void SimLine::setCallerId(std::optional<std::string> number, std::optional<std::string> name)
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(m_current);
    if (it == m_calls.end())
        return;
    it->second.data.callerNumber = std::move(number);
    it->second.data.callerName = std::move(name);
    m_events.callInfo(m_current, it->second.data, LINECALLINFOSTATE_CALLERID);
}

void SimLine::hangUp(bool goIdle)
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(m_current);
    if (it == m_calls.end())
        return;
    if (it->second.state != LINECALLSTATE_IDLE && it->second.state != LINECALLSTATE_DISCONNECTED)
        setStateLocked(m_current, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
    if (goIdle && it->second.state != LINECALLSTATE_IDLE)
        setStateLocked(m_current, LINECALLSTATE_IDLE);
}

void SimLine::remoteAnswer()
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(m_current);
    if (it != m_calls.end() &&
        (it->second.state == LINECALLSTATE_DIALING || it->second.state == LINECALLSTATE_PROCEEDING ||
         it->second.state == LINECALLSTATE_RINGBACK))
        setStateLocked(m_current, LINECALLSTATE_CONNECTED);
}

void SimLine::sendDigits(const std::string& digits)
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(m_current);
    if (it == m_calls.end() || it->second.state == LINECALLSTATE_IDLE)
        return;
    for (char c : digits)
        m_events.digit(m_current, c, LINEDIGITMODE_DTMF);
}

bool SimLine::completeRequest(RequestId request, LONG result)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->request == request) {
            PendingRequest p = *it;
            m_pending.erase(it);
            applyLocked(p, result);
            return true;
        }
    }
    return false;
}

std::vector<SimLine::PendingRequest> SimLine::pendingRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_pending;
}

void SimLine::setAutoComplete(bool on)
{
    std::lock_guard lock(m_mutex);
    m_settings.autoComplete = on;
}

CallId SimLine::currentCall() const
{
    std::lock_guard lock(m_mutex);
    return m_current;
}

DWORD SimLine::callState(CallId call) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(call);
    return it == m_calls.end() ? 0 : it->second.state;
}

DWORD SimLine::monitoredDigitModes(CallId call) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(call);
    return it == m_calls.end() ? 0 : it->second.monitorModes;
}

std::string SimLine::generatedDigits() const
{
    std::lock_guard lock(m_mutex);
    return m_generated;
}

std::string SimLine::dialledAddress() const
{
    std::lock_guard lock(m_mutex);
    return m_dialled;
}

std::vector<int16_t> SimLine::playedToCaller() const
{
    return m_waveOut->played();
}

void SimLine::clearPlayedToCaller()
{
    m_waveOut->clearPlayed();
}

void SimLine::queueCallerAudio(const std::vector<int16_t>& frames)
{
    m_waveIn->queueCallerAudio(frames);
}

bool SimLine::queueCallerWav(const std::string& path, std::string& error)
{
    std::vector<int16_t> frames;
    if (!readWav8kMono(path, frames, error))
        return false;
    m_waveIn->queueCallerAudio(frames);
    return true;
}

size_t SimLine::pendingCallerAudio() const
{
    return m_waveIn->pendingCallerAudio();
}

void SimLine::setRealTimeAudio(bool realTime)
{
    m_waveIn->setRealTime(realTime);
    m_waveOut->setRealTime(realTime);
}

} // namespace kalvo::sim
