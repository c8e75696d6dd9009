// The thread of one modem line: opens and sets up the port (again every 10 s while it is missing),
// turns rings, caller ID and <DLE> events into the line's call states and notifications, and
// streams the wave devices' audio through AT+VTX and AT+VRX.
#pragma once

#include "CallerId.h"
#include "ModemChannel.h"
#include "ModemLine.h"
#include "ModemSetup.h"
#include "SerialPort.h"

#include <chrono>
#include <optional>
#include <vector>

namespace kalvo::modem {

class ModemSession
{
public:
    explicit ModemSession(ModemLine& line);
    // Runs until the line closes.
    void run();

    // A caller who stops ringing for this long has given up.
    static constexpr std::chrono::milliseconds kRingGap{8000};
    // Playback stays this far ahead of the modem's playing, inside its buffer.
    static constexpr size_t kLeadSamples = 1600;
    static constexpr size_t kChunkSamples = 160;

private:
    using Clock = std::chrono::steady_clock;
    // Duplex: AT+VTR, both at once (the owner talks with the caller).
    enum class Stream { None, Receive, Transmit, Duplex };

    bool connect(std::string& why);
    void serve();
    bool handleCommands();
    void waitForRetry();

    // Call handling (ModemCall.cpp).
    void onLine(const std::string& line);
    void onEvent(char code);
    void ring();
    void tickCall();
    void answer(const ModemLine::Command& command);
    void drop(const ModemLine::Command& command);
    void endCall(DWORD disconnectMode, bool hangUp);
    void hangUp();
    kalvo::telephony::CallData callData() const;

    // Voice streams (ModemVoice.cpp).
    void onAudio(const uint8_t* bytes, size_t count);
    void tickVoice();
    bool startReceive();
    bool startTransmit();
    bool startDuplex();
    // The stream the wave devices call for now.
    Stream wantedStream() const;
    void stopStream();
    void pace();

    ModemLine& m_line;
    kalvo::telephony::LineEventSink& m_events;
    SerialPort m_port;
    std::optional<ModemChannel> m_channel;
    ModemProfile m_profile;
    bool m_stop = false;

    // The call.
    kalvo::telephony::CallId m_call = 0;
    ModemLine::Phase m_phase = ModemLine::Phase::None;
    DWORD m_ringCount = 0;
    Clock::time_point m_lastRing;
    bool m_ignoreRings = false; // dropped while ringing: the rest of that call's rings
    CallerIdParser m_callerId;
    bool m_callerIdChanged = false;
    Clock::time_point m_callerIdAt;
    char m_hangUpEvent = 0; // the event that told us the far end is gone

    // The voice stream.
    Stream m_stream = Stream::None;
    Clock::time_point m_txStart;
    uint64_t m_txSent = 0;
    std::vector<uint8_t> m_rxPending;
    std::vector<int16_t> m_samples;
};

} // namespace kalvo::modem
