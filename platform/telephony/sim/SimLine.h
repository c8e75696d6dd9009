// A simulated line: a LineDevice whose caller is driven from C++ (tests) or from a scenario file.
// Every driving function is thread-safe and reports through the layer like a real line would.
#pragma once

#include "LineProvider.h"
#include "SimWaveDevice.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kalvo::sim {

struct SimScenarioEvent;

using kalvo::telephony::CallId;
using kalvo::telephony::RequestId;

// What a sim line is configured with (telephony.conf keys of a sim line).
struct SimLineSettings
{
    kalvo::telephony::LineCaps caps;
    bool autoComplete = true;  // answer/drop/make complete at once; otherwise they wait for completeRequest
    bool realTimeAudio = true; // wave devices run at 20 ms per 160 frames, or as fast as read
    std::string scenarioPath;  // played from the moment the line is first opened
    std::string cannotTalk;    // why the line cannot carry a conversation; empty: it can
};

class SimLine : public kalvo::telephony::LineDevice
{
public:
    // A request the line has not completed (with autoComplete off).
    struct PendingRequest
    {
        RequestId request;
        enum class Kind { Answer, Drop, MakeCall } kind;
        CallId call;
    };

    SimLine(SimLineSettings settings, std::vector<SimScenarioEvent> scenario,
            kalvo::telephony::LineEventSink& events);
    ~SimLine() override;

    // ---- LineDevice ----
    kalvo::telephony::LineCaps caps() const override { return m_settings.caps; }
    bool canTalk(std::string& reason) const override
    {
        reason = m_settings.cannotTalk;
        return reason.empty();
    }
    void open() override;
    void close() override;
    LONG answer(CallId call, RequestId request) override;
    LONG drop(CallId call, RequestId request) override;
    LONG makeCall(CallId call, const std::string& address, RequestId request) override;
    LONG generateDigits(CallId call, const std::string& digits, DWORD mode, DWORD durationMs) override;
    LONG monitorDigits(CallId call, DWORD modes) override;
    void deallocate(CallId call) override;
    kalvo::telephony::LineWaveIds waveDevices() const override;

    // ---- The caller's side ----
    // Offers a new call (LINE_CALLSTATE OFFERING, then LINE_CALLINFO CALLERID); an absent number or
    // name is "not known". @return the call, which becomes the current call.
    CallId offerCall(std::optional<std::string> number, std::optional<std::string> name);
    // Rings the current offered call once more (counts 1, 2, ...), times times.
    void ring(int times = 1);
    // Sends the current call's information again (LINE_CALLINFO CALLERID).
    void resendCallInfo();
    // Replaces the caller id of the current call and sends LINE_CALLINFO.
    void setCallerId(std::optional<std::string> number, std::optional<std::string> name);
    // The caller hangs up: DISCONNECTED (NORMAL); the application then drops the call to IDLE.
    // With goIdle the line also ends the call itself (IDLE follows at once).
    void hangUp(bool goIdle = false);
    // The called party of an outgoing call answers: CONNECTED.
    void remoteAnswer();
    // The caller keys digits (LINE_MONITORDIGITS where monitored).
    void sendDigits(const std::string& digits);
    // Completes a pending request with result (0 or LINEERR_); success takes effect as with autoComplete.
    bool completeRequest(RequestId request, LONG result);
    std::vector<PendingRequest> pendingRequests() const;
    void setAutoComplete(bool on);

    // ---- State seen by tests ----
    CallId currentCall() const;
    DWORD callState(CallId call) const; // 0 when unknown
    DWORD monitoredDigitModes(CallId call) const;
    std::string generatedDigits() const; // every digit lineGenerateDigits sent, in order
    std::string dialledAddress() const;  // the address of the last lineMakeCall

    // ---- Audio ----
    std::vector<int16_t> playedToCaller() const; // what the wave-out device sent while connected
    void clearPlayedToCaller();
    void queueCallerAudio(const std::vector<int16_t>& frames); // the caller's voice (wave in)
    bool queueCallerWav(const std::string& path, std::string& error);
    size_t pendingCallerAudio() const;
    void setRealTimeAudio(bool realTime);

private:
    struct SimCall
    {
        DWORD state = 0;
        kalvo::telephony::CallData data;
        DWORD rings = 0;
        DWORD monitorModes = 0;
    };
    // The call with this id, or null; the caller holds the lock.
    SimCall* callLocked(CallId call);
    // Completes a request now, or keeps it for the test to complete. @return 0.
    LONG requestLocked(const PendingRequest& request, bool completeNow);
    void setStateLocked(CallId call, DWORD state, DWORD mode = 0);
    void applyLocked(const PendingRequest& request, LONG result);
    void runScenario();
    void updateConnectedLocked();

    SimLineSettings m_settings;
    std::vector<SimScenarioEvent> m_scenario;
    kalvo::telephony::LineEventSink& m_events;
    std::shared_ptr<SimWaveDevice> m_waveIn;
    std::shared_ptr<SimWaveDevice> m_waveOut;
    DWORD m_waveInId;
    DWORD m_waveOutId;

    mutable std::mutex m_mutex;
    std::map<CallId, SimCall> m_calls;
    CallId m_current = 0;
    std::vector<PendingRequest> m_pending;
    std::string m_generated;
    std::string m_dialled;

    std::mutex m_scenarioMutex;
    std::condition_variable m_scenarioWake;
    bool m_scenarioStop = false;
    std::thread m_scenarioThread;
};

} // namespace kalvo::sim
