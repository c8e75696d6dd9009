// A voice modem on a pseudo-terminal for tests and benches: it answers the set-up commands (and
// refuses what the chosen model lacks), rings with caller ID, plays a caller's voice during AT+VRX
// at real-time pace, captures and decodes what is played during AT+VTX while modelling the modem's
// playback buffer, does both at once during AT+VTR (ended by <DLE>^) where the model has it, sends <DLE>
// events (keys, busy and dial tone, and silence as AT+VSD sets it: 5 s until told otherwise, as modems ship),
// and can be unplugged.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kalvo::modem::test {

// What kind of modem the simulator is.
struct ModemModel
{
    bool answersAt = true;         // false: the device never says anything
    bool garbage = false;          // it sends noise instead of answers
    bool voice = true;             // it has the voice class (AT+FCLASS=8)
    bool standardCallerId = true;  // AT+VCID=1; otherwise only the vendor form AT#CID=1
    bool lineSelect = true;        // AT+VLS=1 takes the line; otherwise ATA answers with VCON
    bool fullDuplex = true;        // AT+VTR plays and listens at once; otherwise it answers ERROR
    bool claimsFullDuplex = false; // without it, AT+VTR=? still answers OK (a modem that misreports)
    // As a common USB voice modem lists them.
    std::vector<std::string> formats = {"0,\"SIGNED PCM\",8,0,(7200,8000,11025),(0),(0)",
                                        "1,\"UNSIGNED PCM\",8,0,(7200,8000,11025),(0),(0)",
                                        "2,\"4-BIT ADPCM\",4,0,(8000),(0),(0)",
                                        "4,\"G.711U\",8,0,(8000),(0),(0)", "5,\"G.711A\",8,0,(8000),(0),(0)"};
    int answerDelayMs = 0;       // going off-hook takes this long
    int startUpMs = 0;           // says nothing for this long after the first command (still starting)
    bool noisyAnswer = false;    // line noise arrives before the answer's result code
    size_t bufferSamples = 8192; // the modelled playback buffer (about 1 s)
};

// One incoming call.
struct Caller
{
    int rings = 4;
    int ringIntervalMs = 400;
    std::vector<std::string> callerId;        // lines sent after the first ring
    std::vector<int16_t> voice;               // what the caller says from the moment the line is taken
    char endEvent = 0;                        // the <DLE> event sent when the voice is over ('b', 'd', 's')
    std::vector<std::pair<int, char>> events; // <DLE> events at milliseconds after the line was taken
};

// Caller-ID lines in the formatted form, and as a raw multiple- or single-data message (MESG).
std::vector<std::string> formattedCallerId(const std::string& number, const std::string& name);
std::vector<std::string> messageCallerId(const std::string& number, const std::string& name,
                                         bool single = false);

class ModemSimulator
{
public:
    explicit ModemSimulator(ModemModel model = {});
    ~ModemSimulator();
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    // The device path to configure: a link to the pseudo-terminal, like /dev/serial/by-id.
    std::string device() const { return m_link; }
    // Rings now.
    void call(Caller caller);
    // The device disappears (the link goes, the terminal closes) / comes back at the same path.
    void unplug();
    void replug();

    // The commands received so far, as sent.
    std::vector<std::string> commands() const;
    bool offHook() const;
    // Everything played during AT+VTX and AT+VTR, decoded to 16-bit samples.
    std::vector<int16_t> played() const;
    // True while AT+VTR runs.
    bool duplex() const;
    struct BufferStats
    {
        unsigned underruns = 0; // the modelled buffer ran dry while playing
        unsigned overflows = 0; // it filled up and held the sender back (clear-to-send off)
        size_t minFill = 0;     // the least and most it held once playback had started
        size_t maxFill = 0;
        uint64_t samples = 0;
    };
    BufferStats bufferStats() const;
    // When the line was last taken off-hook, and when the first ring was sent.
    std::chrono::steady_clock::time_point offHookAt() const;
    std::chrono::steady_clock::time_point firstRingAt() const;
    // Waits until condition holds (checked under no lock), up to timeout.
    static bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

private:
    enum class Mode { Command, Transmit, Receive, Duplex };
    void openTerminal();
    void closeTerminal();
    void run();
    void input(const uint8_t* bytes, size_t count);
    void commandLine(const std::string& line);
    bool basicCommand(const std::string& command, std::string& reply);
    void send(const std::string& bytes);
    void sendLine(const std::string& line) { send("\r\n" + line + "\r\n"); }
    void tick();
    void tickRinging();
    void tickCall();
    void transmitData(const uint8_t* bytes, size_t count);
    void drainBuffer();
    // What the playback buffer can take now, in bytes (a read's limit).
    size_t roomBytes() const;
    void receiveTick();

    ModemModel m_model;
    std::string m_dir;
    std::string m_link;
    int m_master = -1;
    int m_slave = -1;
    std::thread m_thread;
    bool m_quit = false;
    mutable std::mutex m_mutex;

    // Guarded by m_mutex.
    Mode m_mode = Mode::Command;
    bool m_echo = true;
    int m_class = 0;
    int m_method = -1;
    bool m_offHook = false;
    std::string m_commandBuffer;
    std::vector<std::string> m_commands;
    Caller m_caller;
    bool m_ringing = false;
    int m_ringsSent = 0;
    std::chrono::steady_clock::time_point m_nextRing;
    std::chrono::steady_clock::time_point m_firstRing;
    std::chrono::steady_clock::time_point m_offHookAt;
    size_t m_eventsSent = 0;
    bool m_endSent = false;
    uint64_t m_voiceAt = 0; // next voice sample to send
    int m_silenceMs = 5000; // AT+VSD's silence time; 0: no silence detection
    uint64_t m_quietSamples = 0;
    std::chrono::steady_clock::time_point m_firstCommand;
    bool m_pendingDle = false;
    bool m_txEnded = false;
    bool m_txStarted = false;
    std::chrono::steady_clock::time_point m_txClock;
    std::chrono::steady_clock::time_point m_txFirst;
    double m_fill = 0;
    std::vector<int16_t> m_played;
    BufferStats m_stats;
    std::chrono::steady_clock::time_point m_lastRx;
    std::chrono::steady_clock::time_point m_lastNoise;
};

} // namespace kalvo::modem::test
