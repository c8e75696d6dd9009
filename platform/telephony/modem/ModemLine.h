// One modem line device: owns the port's thread (ModemSession), the line's wave devices and a mirror
// of its call, and turns the layer's commands into messages for that thread.
#pragma once

#include "LineProvider.h"
#include "ModemSettings.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kalvo::modem {

class ModemWaveDevice;

class ModemLine : public kalvo::telephony::LineDevice
{
public:
    enum class Phase { None, Offering, Connected };

    // A command for the port's thread.
    struct Command
    {
        enum class Type { Answer, Drop, Stop };
        Type type = Type::Stop;
        kalvo::telephony::CallId call = 0;
        kalvo::telephony::RequestId request = 0;
    };

    ModemLine(const kalvo::telephony::LineConfig& config, ModemSettings settings,
              kalvo::telephony::LineEventSink& events);
    ~ModemLine() override;

    kalvo::telephony::LineCaps caps() const override;
    void open() override;
    void close() override;
    LONG answer(kalvo::telephony::CallId call, kalvo::telephony::RequestId request) override;
    LONG drop(kalvo::telephony::CallId call, kalvo::telephony::RequestId request) override;
    // An answering line places no calls and sends no digits.
    LONG makeCall(kalvo::telephony::CallId call, const std::string& address,
                  kalvo::telephony::RequestId request) override;
    LONG generateDigits(kalvo::telephony::CallId call, const std::string& digits, DWORD mode,
                        DWORD durationMs) override;
    kalvo::telephony::LineWaveIds waveDevices() const override;
    // Out of service while the port is missing or its modem unfit; reason says why.
    bool inService(std::string& reason) const override;
    // The modem's port and "ready" while it takes calls.
    std::string reachAddress() const override;
    // Until the first set-up after open() has succeeded or failed.
    bool opening() const override;
    // False, with why, once the modem has said it has no full-duplex voice (AT+VTR).
    bool canTalk(std::string& reason) const override;

    // For the port's thread.
    kalvo::telephony::LineEventSink& events() { return m_events; }
    const ModemSettings& settings() const { return m_settings; }
    const std::string& name() const { return m_name; }
    ModemWaveDevice& waveOut() { return *m_waveOut; }
    ModemWaveDevice& waveIn() { return *m_waveIn; }
    int wakeFd() const { return m_wakeFd; }
    // Drains the wake-up descriptor.
    void drainWake();
    // Takes the next command; false when none waits.
    bool takeCommand(Command& out);
    // The line is being closed: waits on the modem may be given up.
    bool stopping() const;
    void setPhase(kalvo::telephony::CallId call, Phase phase);
    // The port's state after a set-up attempt or a loss: in service, or not with a reason.
    void setService(bool inService, const std::string& reason);
    // What set-up (or a refused AT+VTR) found out about full-duplex voice; unknown until then.
    enum class Duplex { Unknown, Yes, No };
    void setDuplex(Duplex duplex);

    // Why the line cannot talk, as the program shows it.
    static constexpr const char* kNoDuplexReason =
        "This modem cannot send and receive voice at the same time";

    // A missing or unfit modem is tried again this often.
    static constexpr unsigned kRetryMs = 10000;

private:
    void wake();
    // Wave out may start unless the modem would have to stop listening to a recording for it.
    bool mayStartOutput() const;
    LONG post(Command command);

    kalvo::telephony::LineEventSink& m_events;
    ModemSettings m_settings;
    std::string m_name;
    DWORD m_deviceId;
    std::shared_ptr<ModemWaveDevice> m_waveOut;
    std::shared_ptr<ModemWaveDevice> m_waveIn;
    DWORD m_waveOutId;
    DWORD m_waveInId;
    int m_wakeFd = -1;

    mutable std::mutex m_mutex;
    enum class RunState { Stopped, Starting, InService, OutOfService } m_runState = RunState::Stopped;
    std::string m_reason;
    Duplex m_duplex = Duplex::Unknown;
    std::deque<Command> m_commands;
    kalvo::telephony::CallId m_call = 0;
    Phase m_phase = Phase::None;
    bool m_answerPosted = false; // the offered call is being answered
    std::thread m_thread;
};

} // namespace kalvo::modem
