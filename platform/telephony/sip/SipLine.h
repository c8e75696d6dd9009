// One SIP line device: owns the line's SIP/media thread (libre's event loop), its wave devices and a
// mirror of its call state, and turns the layer's commands into messages for that thread.
#pragma once

#include "LineProvider.h"
#include "SipSettings.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct mqueue;
struct tmr;

namespace kalvo::sip {

class SipWaveDevice;
class SipEngine;

class SipLine : public kalvo::telephony::LineDevice
{
public:
    // Where a call of the line stands, as the commands need to know it.
    enum class Phase { None, Offering, Answering, Connected, Outgoing };

    // A command for the SIP thread.
    struct Command
    {
        enum class Type { Accept, Answer, Drop, MakeCall, Digits, Monitor, Stop };
        Command() = default;
        Command(Type type_, kalvo::telephony::CallId call_, kalvo::telephony::RequestId request_ = 0,
                std::string text_ = {}, DWORD mode_ = 0, DWORD durationMs_ = 0)
            : type(type_), call(call_), request(request_), text(std::move(text_)), mode(mode_),
              durationMs(durationMs_)
        {
        }
        Type type = Type::Stop;
        kalvo::telephony::CallId call = 0;
        kalvo::telephony::RequestId request = 0;
        std::string text;
        DWORD mode = 0;
        DWORD durationMs = 0;
    };

    SipLine(const kalvo::telephony::LineConfig& config, SipSettings settings,
            kalvo::telephony::LineEventSink& events);
    ~SipLine() override;

    kalvo::telephony::LineCaps caps() const override;
    void open() override;
    void close() override;
    LONG accept(kalvo::telephony::CallId call, kalvo::telephony::RequestId request) override;
    LONG answer(kalvo::telephony::CallId call, kalvo::telephony::RequestId request) override;
    LONG drop(kalvo::telephony::CallId call, kalvo::telephony::RequestId request) override;
    LONG makeCall(kalvo::telephony::CallId call, const std::string& address,
                  kalvo::telephony::RequestId request) override;
    LONG generateDigits(kalvo::telephony::CallId call, const std::string& digits, DWORD mode,
                        DWORD durationMs) override;
    LONG monitorDigits(kalvo::telephony::CallId call, DWORD modes) override;
    kalvo::telephony::LineWaveIds waveDevices() const override;
    // Out of service while the listener waits for its next try; the reason is startError().
    bool inService(std::string& reason) const override;
    // The registered account's address, or sip:kalvo@ the listening address (a listener on every
    // interface names this host's first network address).
    std::string reachAddress() const override;

    // For the SIP thread: the sink, the settings, the wave devices and the call mirror.
    kalvo::telephony::LineEventSink& events() { return m_events; }
    const SipSettings& settings() const { return m_settings; }
    const std::string& name() const { return m_name; }
    // For the SIP thread: what keeps the account from being registered (empty once it is), and
    // reported as the line being out of service with that reason.
    void setAccountProblem(const std::string& problem);
    SipWaveDevice& waveOut() { return *m_waveOut; }
    SipWaveDevice& waveIn() { return *m_waveIn; }
    void setPhase(kalvo::telephony::CallId call, Phase phase);
    // True while the line has a call, also one reserved by makeCall and not yet placed.
    bool busy() const;

    // True once open() has the SIP listener running (for tests and the tool).
    bool listening() const;
    // Why the line last failed to start listening (empty while it listens or is closed).
    std::string startError() const;

    // A line that cannot listen (port taken, address gone) tries again this often.
    static constexpr unsigned kStartRetryMs = 10000;

private:
    void run();
    static void onWake(int id, void* data, void* arg);
    static void onRetryStart(void* arg);
    bool startEngine(bool first);
    void takeCommands();
    LONG post(Command command);
    // Posts a command for the offered call once its id is known. @return 0 or LINEERR_.
    LONG offeredCommand(Command::Type type, kalvo::telephony::CallId call,
                        kalvo::telephony::RequestId request);
    LONG checkCall(kalvo::telephony::CallId call, bool needConnected) const;
    void awaitOfferId(std::unique_lock<std::mutex>& lock) const;

    kalvo::telephony::LineEventSink& m_events;
    SipSettings m_settings;
    std::string m_name;
    DWORD m_deviceId;
    std::shared_ptr<SipWaveDevice> m_waveOut;
    std::shared_ptr<SipWaveDevice> m_waveIn;
    DWORD m_waveOutId;
    DWORD m_waveInId;

    mutable std::mutex m_mutex;
    std::condition_variable m_started;
    mutable std::condition_variable m_phaseChanged;
    // Waiting: the thread runs but the listener could not start yet; it retries by itself.
    enum class RunState { Stopped, Starting, Running, Waiting, Failed } m_runState = RunState::Stopped;
    std::string m_startError;
    std::string m_accountProblem;
    std::string m_notice;             // said with every report of being in service
    struct mqueue* m_queue = nullptr; // set while the thread's loop runs
    std::deque<Command> m_commands;
    kalvo::telephony::CallId m_call = 0;
    Phase m_phase = Phase::None;
    std::thread m_thread;
    SipEngine* m_engine = nullptr; // lives on the SIP thread
    // SIP thread only: the engine while it runs or is being started, and the retry timer.
    std::unique_ptr<SipEngine> m_ownedEngine;
    struct tmr* m_retryTimer = nullptr;
};

} // namespace kalvo::sip
