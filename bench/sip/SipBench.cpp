// Times the SIP line on the wire while baresip calls it over loopback, then baresip answering the
// same call itself (auto-answer), and prints the figures side by side: once over UDP with plain
// RTP, once over TLS with SRTP (certificates from a test authority made for the run).
#include "BenchSupport.h"
#include "LoopbackCapture.h"
#include "SipPeers.h"
#include "SipProvider.h"
#include "TestAuthority.h"
#include "WaveDeviceTable.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono;
using namespace kalvo::telephony;
using kalvo::bench::cpuMs;
using kalvo::bench::procFile;
using kalvo::bench::rssKb;
using kalvo::sip::test::freePort;
using kalvo::sip::test::readFile;
using kalvo::sip::test::writeWav;
using Clock = steady_clock;

namespace {

constexpr uint16_t kCallerRtpMin = 36000, kCallerRtpMax = 36998;
constexpr uint16_t kCalleeRtpMin = 38000, kCalleeRtpMax = 38998;

struct Figures
{
    std::optional<double> inviteTo180, ringTo200, ackToFirstRtp, intervalMedian, intervalP99, cpuPerMinute;
    std::optional<double> answerToConnected; // answer() until the caller's ACK is in
    long rssKb = 0;
    size_t packets = 0;
};

std::string sipThreadStat()
{
    DIR* dir = opendir("/proc/self/task");
    std::string found;
    while (dirent* e = dir ? readdir(dir) : nullptr) {
        std::string task = std::string("/proc/self/task/") + e->d_name;
        if (readFile(task + "/comm").rfind("kalvo-sip", 0) == 0)
            found = task + "/stat";
    }
    if (dir)
        closedir(dir);
    return found;
}

// The caller's audio: 440 Hz.
std::vector<int16_t> tone(double seconds)
{
    return kalvo::sip::test::tone(440, seconds, 6000);
}

// One baresip in its own folder.
struct Baresip
{
    std::string dir;
    uint16_t sipPort = 0, consolePort = 0;
    pid_t pid = -1;

    Baresip(const std::string& account, uint16_t rtpMin, uint16_t rtpMax, double audioSeconds,
            const std::string& extraConfig = {})
    {
        char templ[] = "/tmp/kalvo-sip-bench-XXXXXX";
        dir = mkdtemp(templ);
        sipPort = freePort();
        consolePort = freePort();
        writeWav(dir + "/audio.wav", tone(audioSeconds));
        std::ofstream(dir + "/config")
            << "poll_method epoll\nsip_listen 127.0.0.1:" << sipPort << "\naudio_source aufile," << dir
            << "/audio.wav\n"
            << "module_path /usr/lib/baresip/modules\nmodule cons.so\nmodule g711.so\n"
            << "module aufile.so\nmodule_tmp account.so\nmodule_app menu.so\n"
            << "cons_listen 127.0.0.1:" << consolePort << "\nrtp_ports " << rtpMin << "-" << rtpMax << "\n"
            << extraConfig;
        std::ofstream(dir + "/accounts") << "<sip:" << account << "\n";
        pid = fork();
        if (pid == 0) {
            int fd = open((dir + "/log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            execlp("baresip", "baresip", "-f", dir.c_str(), "-n", "127.0.0.1", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 250 && readFile(dir + "/log").find("baresip is ready") == std::string::npos; ++i)
            std::this_thread::sleep_for(milliseconds(20));
    }
    ~Baresip()
    {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        std::system(("rm -rf " + dir).c_str());
    }
    void console(const std::string& text)
    {
        int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(consolePort);
        ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::close(fd);
    }
};

class BenchSink : public LineEventSink
{
public:
    CallId offerCall(const CallData&) override
    {
        return note([&] { m_call = 1; }), 1;
    }
    void callState(CallId, DWORD state, DWORD) override
    {
        note([&] {
            if (state == LINECALLSTATE_CONNECTED) {
                m_connected = true;
                m_connectedAt = Clock::now();
            }
            if (state == LINECALLSTATE_IDLE)
                m_idle = true;
        });
    }
    void callInfo(CallId, const CallData&, DWORD) override {}
    void ring(DWORD count, DWORD) override
    {
        note([&] {
            if (count == 1)
                m_firstRing = Clock::now();
        });
    }
    void lineState(DWORD, DWORD, DWORD) override {}
    void digit(CallId, char, DWORD) override {}
    void digitsGenerated(CallId, DWORD) override {}
    void completeRequest(RequestId, LONG) override {}

    template <typename Pred> bool waitFor(Pred pred, milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return pred(*this); });
    }

    CallId m_call = 0;
    bool m_connected = false, m_idle = false;
    std::optional<Clock::time_point> m_firstRing, m_connectedAt;

private:
    template <typename F> void note(F f)
    {
        {
            std::lock_guard lock(m_mutex);
            f();
        }
        m_changed.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

class ToneSource : public kalvo::wave::WaveSource
{
public:
    explicit ToneSource(std::vector<int16_t> s) : m_s(std::move(s)) {}
    size_t readFrames(int16_t* out, size_t n) override
    {
        n = std::min(n, m_s.size() - m_at);
        std::copy_n(m_s.begin() + static_cast<std::ptrdiff_t>(m_at), n, out);
        m_at += n;
        return n;
    }

private:
    std::vector<int16_t> m_s;
    size_t m_at = 0;
};

bool starts(const LoopbackCapture::Datagram& d, const char* text)
{
    return d.payload.rfind(text, 0) == 0;
}

double ms(Clock::duration d)
{
    return duration<double, std::milli>(d).count();
}

// The wire figures of one call to the callee on calleePort.
void analyse(const std::vector<LoopbackCapture::Datagram>& seen, uint16_t calleePort, Figures& f,
             std::optional<Clock::time_point> answerAt)
{
    std::optional<Clock::time_point> invite, ringing, ok, ack, firstRtp;
    std::vector<Clock::time_point> rtp;
    for (const auto& d : seen) {
        if (d.dstPort == calleePort && starts(d, "INVITE ") && !invite)
            invite = d.at;
        else if (d.srcPort == calleePort && starts(d, "SIP/2.0 180") && !ringing)
            ringing = d.at;
        else if (d.srcPort == calleePort && starts(d, "SIP/2.0 200") &&
                 d.payload.find("INVITE") != std::string::npos && !ok)
            ok = d.at;
        else if (d.dstPort == calleePort && starts(d, "ACK ") && !ack)
            ack = d.at;
        else if (d.srcPort >= kCalleeRtpMin && d.srcPort <= kCalleeRtpMax && d.size >= 12 &&
                 (static_cast<uint8_t>(d.payload[0]) & 0xC0) == 0x80) {
            int pt = static_cast<uint8_t>(d.payload[1]) & 0x7F;
            if (pt == 0 || pt == 8)
                rtp.push_back(d.at);
        }
    }
    if (invite && ringing)
        f.inviteTo180 = ms(*ringing - *invite);
    Clock::time_point from =
        answerAt ? *answerAt : (ringing ? *ringing : (invite ? *invite : Clock::time_point{}));
    if (ok && (answerAt || ringing || invite))
        f.ringTo200 = ms(*ok - from);
    if (ack) {
        auto it = std::find_if(rtp.begin(), rtp.end(), [&](auto t) { return t >= *ack; });
        if (it != rtp.end())
            f.ackToFirstRtp = ms(*it - *ack);
    }
    std::vector<double> intervals;
    for (size_t i = 1; i < rtp.size(); ++i)
        intervals.push_back(ms(rtp[i] - rtp[i - 1]));
    f.packets = rtp.size();
    if (intervals.size() > 10) {
        std::sort(intervals.begin(), intervals.end());
        f.intervalMedian = intervals[intervals.size() / 2];
        f.intervalP99 = intervals[std::min(intervals.size() - 1, intervals.size() * 99 / 100)];
    }
}

// How the calls of a run travel: secure is TLS with SRTP, else UDP with plain RTP.
struct Security
{
    bool secure = false;
    kalvo::sip::test::TestAuthority* authority = nullptr;

    // baresip's settings and account parameters for it.
    std::string baresipConfig(const std::string& name) const
    {
        if (!secure)
            return {};
        return "module srtp.so\nsip_cafile " + authority->caFile() + "\nsip_certificate " + bundle(name) +
               "\n";
    }
    std::string accountParams() const { return secure ? ";mediaenc=srtp-mand" : ""; }
    // The address to dial at a SIP port (TLS listens on the next one).
    std::string target(uint16_t port) const
    {
        return secure ? "sip:kalvo@127.0.0.1:" + std::to_string(port + 1) + ";transport=tls"
                      : "sip:kalvo@127.0.0.1:" + std::to_string(port);
    }
    // Certificate and key in one file, as baresip takes them.
    std::string bundle(const std::string& name) const
    {
        const std::string cert = authority->issue(name, "127.0.0.1");
        const std::string both = cert + ".both";
        std::ofstream(both) << readFile(authority->keyFile(name)) << readFile(cert);
        return both;
    }
};

Figures runKalvo(int seconds, LoopbackCapture& capture, const Security& security)
{
    Figures f;
    uint16_t port = freePort();
    BenchSink sink;
    kalvo::sip::SipProvider provider;
    LineConfig config;
    config.name = "Bench line";
    config.provider = "sip";
    config.keys = {{"listen", "127.0.0.1:" + std::to_string(port)},
                   {"ring_interval", "1"},
                   {"rtp_ports", std::to_string(kCalleeRtpMin) + "-" + std::to_string(kCalleeRtpMax)}};
    if (security.secure) {
        config.keys["transport"] = "tls";
        config.keys["srtp"] = "mandatory";
        config.keys["tls_ca"] = security.authority->caFile();
        config.keys["tls_cert"] = security.authority->issue("line", "127.0.0.1");
        config.keys["tls_key"] = security.authority->keyFile("line");
    }
    std::string error;
    auto line = provider.createLine(config, sink, error);
    if (!line) {
        std::fprintf(stderr, "sip_bench: %s\n", error.c_str());
        return f;
    }
    line->open();
    Baresip caller("caller@127.0.0.1>;regint=0" + security.accountParams(), kCallerRtpMin, kCallerRtpMax,
                   seconds + 30, security.baresipConfig("caller"));
    capture.take();
    caller.console("/dial " + security.target(port) + "\n");
    if (!sink.waitFor([](BenchSink& s) { return s.m_firstRing.has_value(); }, std::chrono::seconds(10))) {
        std::fprintf(stderr, "sip_bench: the line was not called\n");
        return f;
    }
    auto answerAt = Clock::now();
    line->answer(1, 1);
    sink.waitFor([](BenchSink& s) { return s.m_connected; }, std::chrono::seconds(10));
    if (sink.m_connectedAt)
        f.answerToConnected = ms(*sink.m_connectedAt - answerAt);
    auto ids = line->waveDevices();
    auto out = kalvo::wave::WaveDeviceTable::instance().find(kalvo::wave::WaveDirection::Out, ids.waveOut);
    out->startOutput({8000, 1}, std::make_shared<ToneSource>(tone(seconds + 5)));
    std::string stat = sipThreadStat();
    double cpu0 = cpuMs(stat);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu1 = cpuMs(stat);
    f.rssKb = rssKb("/proc/self/status");
    f.cpuPerMinute = (cpu1 - cpu0) * 60.0 / seconds;
    caller.console("b");
    sink.waitFor([](BenchSink& s) { return s.m_idle; }, std::chrono::seconds(5));
    out->stop();
    analyse(capture.take(), port, f, answerAt);
    return f;
}

Figures runBaresip(int seconds, LoopbackCapture& capture, const Security& security)
{
    Figures f;
    Baresip callee("kalvo@127.0.0.1>;regint=0;answermode=auto" + security.accountParams(), kCalleeRtpMin,
                   kCalleeRtpMax, seconds + 30, security.baresipConfig("callee"));
    Baresip caller("caller@127.0.0.1>;regint=0" + security.accountParams(), kCallerRtpMin, kCallerRtpMax,
                   seconds + 30, security.baresipConfig("caller"));
    capture.take();
    caller.console("/dial " + security.target(callee.sipPort) + "\n");
    std::this_thread::sleep_for(milliseconds(500));
    std::string stat = procFile(callee.pid, "stat");
    double cpu0 = cpuMs(stat);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu1 = cpuMs(stat);
    f.rssKb = rssKb(procFile(callee.pid, "status"));
    f.cpuPerMinute = (cpu1 - cpu0) * 60.0 / seconds;
    caller.console("b");
    std::this_thread::sleep_for(milliseconds(500));
    analyse(capture.take(), callee.sipPort, f, std::nullopt);
    return f;
}

std::string show(const std::optional<double>& v, const char* unit)
{
    if (!v)
        return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %s", *v, unit);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 10;
    LoopbackCapture capture;
    std::string error;
    if (!capture.start(error)) {
        std::fprintf(stderr, "sip_bench: %s (run as root or with CAP_NET_RAW)\n", error.c_str());
        return 1;
    }
    std::printf("SIP line benchmark: baresip calls over 127.0.0.1, %d s of audio per call\n\n", seconds);
    char folder[] = "/tmp/kalvo-sip-bench-ca-XXXXXX";
    kalvo::sip::test::TestAuthority authority(mkdtemp(folder));
    const Security plain{false, &authority}, secure{true, &authority};
    Figures kalvo = runKalvo(seconds, capture, plain);
    Figures kalvoSecure = runKalvo(seconds, capture, secure);
    Figures bare = runBaresip(seconds, capture, plain);
    Figures bareSecure = runBaresip(seconds, capture, secure);
    capture.stop();
    std::system((std::string("rm -rf ") + folder).c_str());
    std::printf("%-32s %14s %14s %14s %14s\n", "", "Kalvo UDP", "Kalvo TLS+SRTP", "baresip UDP",
                "baresip TLS");
    auto show4 = [&](const char* name, std::optional<double> Figures::*field, const char* unit) {
        std::printf("%-32s %14s %14s %14s %14s\n", name, show(kalvo.*field, unit).c_str(),
                    show(kalvoSecure.*field, unit).c_str(), show(bare.*field, unit).c_str(),
                    show(bareSecure.*field, unit).c_str());
    };
    show4("INVITE -> 180 Ringing", &Figures::inviteTo180, "ms");
    show4("answer (ring / 180) -> 200 OK", &Figures::ringTo200, "ms");
    show4("answer -> ACK in (connected)", &Figures::answerToConnected, "ms");
    show4("ACK -> first audio packet", &Figures::ackToFirstRtp, "ms");
    show4("send interval, median", &Figures::intervalMedian, "ms");
    show4("send interval, 99th percentile", &Figures::intervalP99, "ms");
    show4("CPU time per call-minute", &Figures::cpuPerMinute, "ms");
    std::printf("%-32s %14ld %14ld %14ld %14ld\n", "resident memory (kB)", kalvo.rssKb, kalvoSecure.rssKb,
                bare.rssKb, bareSecure.rssKb);
    std::printf("%-32s %14zu %14zu %14zu %14zu\n", "audio packets seen", kalvo.packets, kalvoSecure.packets,
                bare.packets, bareSecure.packets);
    std::printf("\nKalvo: CPU of the line's SIP/media thread only; memory of the whole benchmark process.\n"
                "baresip: CPU and memory of the answering process. Over TLS the SIP messages are encrypted,\n"
                "so only the line's own answer -> connected time and the (SRTP) audio packets are seen.\n");
    return 0;
}
