// Real peers for the SIP line tests: a baresip softphone driven through its UDP console, a recording
// event sink standing in for the telephony layer, and wave streams whose frames the test can see.
#pragma once

#include "LineProvider.h"
#include "WaveDevice.h"

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kalvo::sip::test {

// A free UDP (and TCP) port on 127.0.0.1, with its neighbour free too when pair is set.
uint16_t freePort(bool pair = false);

// telephony.conf for one SIP line "SIP Line" on 127.0.0.1:port, ringing every 0.3 s.
QString lineConf(uint16_t port);

// 16-bit mono samples of a wave file (empty when unreadable), and writing one at 8000 Hz.
std::vector<int16_t> readWav(const std::string& path);
void writeWav(const std::string& path, const std::vector<int16_t>& samples);
// A tone of hz at 8000 Hz, and touch-tone keys of 100 ms with 100 ms pauses.
std::vector<int16_t> tone(double hz, double seconds, double amplitude = 8000);
// Energy at hz (8 kHz samples) relative to the whole signal: 1 for a pure tone.
double share(const std::vector<int16_t>& samples, double hz);
// Where hz first carries most of a heard 50 ms window's energy, from sample `from` on; -1 when nowhere.
long firstToneWindow(const std::vector<int16_t>& samples, double hz, size_t from = 0);
std::vector<int16_t> dtmfTones(const std::string& keys);
// Best normalised correlation of b against a over shifts 0..maxShift of b's start (b delayed).
double bestCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t maxShift,
                       size_t length);

// Starts a program with its output in logPath and its input from /dev/null; its process id.
pid_t spawn(const std::string& logPath, const std::vector<std::string>& argv);
// Ends a program started by spawn: SIGTERM, then SIGKILL if it lingers.
void terminate(pid_t pid);
// A whole file as text; empty when it cannot be read. Writing one.
std::string readFile(const std::string& path);
void writeText(const std::string& path, const std::string& text);

// A bare UDP socket on loopback that sends SIP requests as written and reads what comes back.
class RawPeer
{
public:
    explicit RawPeer(uint16_t linePort);
    ~RawPeer();
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    void send(const std::string& text);
    // The next datagram whose first line starts with prefix ("" on timeout).
    std::string waitFor(const std::string& prefix, std::chrono::milliseconds timeout);
    uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
    uint16_t m_linePort = 0;
};

// One baresip process with its own folder, SIP port, console port and dump folder.
class Baresip
{
public:
    // account is the text after "<sip:" in the accounts file, e.g. "alice@127.0.0.1>;regint=0".
    // It takes SIP and media on address; its console stays on 127.0.0.1.
    Baresip(const std::string& displayName, const std::string& account, const std::vector<int16_t>& voice,
            const std::string& extraConfig = {}, const std::string& address = "127.0.0.1");
    ~Baresip();

    // Sends console text (a "/command" gets its newline).
    void console(const std::string& text);
    void dial(const std::string& uri) { console("/dial " + uri); }
    void hangUp() { console("b"); }
    // The log so far, and waiting until it holds text.
    std::string log() const;
    bool waitLog(const std::string& text, std::chrono::milliseconds timeout,
                 std::chrono::milliseconds step = std::chrono::milliseconds(20));
    // What the softphone decoded from the call (its dump of the received audio).
    std::vector<int16_t> heard() const;
    uint16_t sipPort() const { return m_sipPort; }
    pid_t pid() const { return m_pid; }

private:
    QTemporaryDir m_dir;
    uint16_t m_sipPort = 0;
    uint16_t m_consolePort = 0;
    pid_t m_pid = -1;
};

// A kamailio registrar on 127.0.0.1 with one password for every user; with a certificate and key
// (PEM files) it takes SIP over TCP on its port and over TLS on tlsPort() too.
class Kamailio
{
public:
    explicit Kamailio(const std::string& password, const std::string& tlsCert = {},
                      const std::string& tlsKey = {}, const std::string& address = "127.0.0.1");
    // An outbound proxy instead, on UDP: see kamailio-proxy.cfg.
    explicit Kamailio(uint16_t registrarPort);
    ~Kamailio();
    uint16_t port() const { return m_port; }
    uint16_t tlsPort() const { return m_tlsPort; }
    std::string log() const;
    // How often the log holds text.
    size_t count(const std::string& text) const;

private:
    QTemporaryDir m_dir;
    uint16_t m_port = 0;
    uint16_t m_tlsPort = 0;
    pid_t m_pid = -1;
    void start(const std::string& config);
};

// Records what the line reports, for the test to wait on.
class RecordingSink : public kalvo::telephony::LineEventSink
{
public:
    struct Event
    {
        std::string kind; // offer, state, info, ring, line, digit, generated, reply
        kalvo::telephony::CallId call = 0;
        DWORD a = 0, b = 0;
        kalvo::telephony::CallData data;
        std::chrono::steady_clock::time_point at;
    };

    kalvo::telephony::CallId offerCall(const kalvo::telephony::CallData& data) override;
    void callState(kalvo::telephony::CallId call, DWORD state, DWORD mode) override;
    void callInfo(kalvo::telephony::CallId call, const kalvo::telephony::CallData& data,
                  DWORD changed) override;
    void ring(DWORD ringCount, DWORD ringMode) override;
    void lineState(DWORD state, DWORD param2, DWORD param3) override;
    void digit(kalvo::telephony::CallId call, char digit, DWORD mode) override;
    void digitsGenerated(kalvo::telephony::CallId call, DWORD termination) override;
    void completeRequest(kalvo::telephony::RequestId request, LONG result) override;

    // Waits until an event matches; returns it (kind empty on timeout).
    Event waitFor(const std::function<bool(const Event&)>& match, std::chrono::milliseconds timeout);
    Event waitState(DWORD state, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    Event waitOffer(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::vector<Event> events() const;
    // The digits reported in mode, in order.
    std::string digits(DWORD mode = LINEDIGITMODE_DTMF) const;
    size_t count(const std::string& kind) const;
    // Forgets the events so far.
    void clear();

private:
    void add(Event event);
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    kalvo::telephony::CallId m_nextCall = 1;
};

using Event = RecordingSink::Event;

// Plays samples once, then nothing.
class VectorSource : public kalvo::wave::WaveSource
{
public:
    explicit VectorSource(std::vector<int16_t> samples) : m_samples(std::move(samples)) {}
    size_t readFrames(int16_t* out, size_t frameCount) override;

private:
    std::vector<int16_t> m_samples;
    size_t m_at = 0;
};

// Keeps every frame recorded.
class VectorSink : public kalvo::wave::WaveSink
{
public:
    void writeFrames(const int16_t* frames, size_t frameCount) override;
    std::vector<int16_t> samples() const;

private:
    mutable std::mutex m_mutex;
    std::vector<int16_t> m_samples;
};

} // namespace kalvo::sip::test
