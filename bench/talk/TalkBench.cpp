// Talking at the desk through the real "kalvo -st": baresip calls a loopback SIP line and sends a
// tone burst every second, `kalvo --pick-up` takes the call, and a private PulseAudio's microphone
// listens to its speaker (the speaker's monitor), so every burst travels caller -> Kalvo -> speaker
// -> microphone -> Kalvo -> caller. Timed on the wire (RTP in and out, a packet socket) and at the
// speaker (its monitor, read as it comes): the delay Kalvo adds each way, against the one-way 150 ms
// of ITU-T G.114. Then the CPU per minute of conversation of Kalvo and of the baresip on the other
// end of the same call.
#include "BenchSupport.h"
#include "LoopbackCapture.h"
#include "PrivatePulse.h"
#include "SipPeers.h"
#include "mdlReg.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono;
using Clock = steady_clock;
using kalvo::sip::test::Baresip;

namespace {

constexpr uint16_t kRtpLow = 40000, kRtpHigh = 49998;
constexpr int kLoud = 2000;            // a sample louder than this is a burst
constexpr double kQuietBefore = 0.3;   // seconds of quiet that make the next loud sample an onset
constexpr double kBurstSeconds = 0.06; // each burst: 60 ms of 1 kHz, one a second

template <typename Pred> bool waitFor(Pred pred, milliseconds timeout)
{
    for (auto end = Clock::now() + timeout; !pred(); std::this_thread::sleep_for(milliseconds(20)))
        if (Clock::now() > end)
            return false;
    return true;
}

double secondsOf(Clock::time_point t)
{
    return duration<double>(t.time_since_epoch()).count();
}

int16_t g711(uint8_t byte, bool alaw)
{
    if (alaw) {
        byte ^= 0x55;
        int t = (byte & 0x0f) << 4;
        const int seg = (byte & 0x70) >> 4;
        t = seg == 0 ? t + 8 : seg == 1 ? t + 0x108 : (t + 0x108) << (seg - 1);
        return int16_t((byte & 0x80) ? t : -t);
    }
    byte = uint8_t(~byte);
    int t = ((byte & 0x0f) << 3) + 0x84;
    t <<= (byte & 0x70) >> 4;
    return int16_t((byte & 0x80) ? 0x84 - t : t - 0x84);
}

// Times (seconds) of burst onsets in a timed sample stream.
std::vector<double> onsets(const std::vector<std::pair<double, int16_t>>& samples)
{
    std::vector<double> found;
    double lastLoud = -1e9;
    for (const auto& [t, s] : samples) {
        if (std::abs(int(s)) <= kLoud)
            continue;
        if (t - lastLoud > kQuietBefore)
            found.push_back(t);
        lastLoud = t;
    }
    return found;
}

// The RTP audio one way, each sample timed from its packet's arrival (the packet's last sample
// left its sender then).
std::vector<std::pair<double, int16_t>> rtpSamples(const std::vector<LoopbackCapture::Datagram>& seen,
                                                   bool toKalvo)
{
    std::vector<std::pair<double, int16_t>> out;
    for (const auto& d : seen) {
        const bool in = d.dstPort >= kRtpLow && d.dstPort <= kRtpHigh;
        const bool outgoing = d.srcPort >= kRtpLow && d.srcPort <= kRtpHigh;
        if ((toKalvo ? !in : !outgoing) || d.payload.size() <= 12 || (uint8_t(d.payload[0]) >> 6) != 2)
            continue;
        const int type = uint8_t(d.payload[1]) & 0x7f;
        if (type != 0 && type != 8)
            continue;
        const size_t n = d.payload.size() - 12;
        for (size_t i = 0; i < n; ++i)
            out.emplace_back(secondsOf(d.at) - double(n - 1 - i) / 8000,
                             g711(uint8_t(d.payload[12 + i]), type == 8));
    }
    return out;
}

// Reads a source of the private server as it comes, each sample timed on arrival.
class TimedRecorder
{
public:
    explicit TimedRecorder(const char* source)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::execlp("parec", "parec", "-d", source, "--raw", "--format=s16le", "--rate=8000", "--channels=1",
                     "--latency-msec=5", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        m_fd = fds[0];
        m_thread = std::thread([this] {
            int16_t block[40];
            for (ssize_t n; (n = ::read(m_fd, block, sizeof block)) > 0;) {
                const double now = secondsOf(Clock::now());
                const size_t count = size_t(n) / 2;
                std::lock_guard lock(m_mutex);
                for (size_t i = 0; i < count; ++i)
                    m_samples.emplace_back(now - double(count - 1 - i) / 8000, block[i]);
            }
        });
    }
    ~TimedRecorder()
    {
        kalvo::sip::test::terminate(m_pid);
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    std::vector<std::pair<double, int16_t>> samples()
    {
        std::lock_guard lock(m_mutex);
        return m_samples;
    }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::pair<double, int16_t>> m_samples;
};

// For each onset of `from`, the delay to the first onset of `to` within half a second (ms).
std::vector<double> delays(const std::vector<double>& from, const std::vector<double>& to)
{
    std::vector<double> out;
    for (double a : from) {
        auto b = std::lower_bound(to.begin(), to.end(), a);
        if (b != to.end() && *b - a < 0.5)
            out.push_back((*b - a) * 1000);
    }
    return out;
}

std::string spread(std::vector<double> v)
{
    if (v.empty())
        return "no bursts matched";
    std::sort(v.begin(), v.end());
    char text[96];
    std::snprintf(text, sizeof text, "%.1f / %.1f / %.1f ms (min / median / max of %zu)", v.front(),
                  v[v.size() / 2], v.back(), v.size());
    return text;
}

std::string readLog(const std::string& folder)
{
    std::string all;
    for (const QString& name : QDir(QString::fromStdString(folder)).entryList({"*_Sys.txt"}, QDir::Files))
        all += kalvo::sip::test::readFile(folder + "/" + name.toStdString());
    return all;
}

int run(int talkSeconds, const std::string& jitter)
{
    kalvo::test::PrivatePulse pulse;
    if (!pulse.started()) {
        std::fprintf(stderr, "talk_bench: PulseAudio: %s\n", qPrintable(pulse.error()));
        return 1;
    }
    // The microphone hears the speaker: a mouth right at the loudspeaker.
    pulse.removeMicrophones();
    pulse.pactl({"load-module", "module-remap-source", "source_name=mic", "master=speaker.monitor",
                 "source_properties=device.description=Microphone"});
    pulse.pactl({"set-default-source", "mic"});

    char templ[] = "/tmp/kalvo-talk-bench-XXXXXX";
    const std::string dir = ::mkdtemp(templ);
    for (const char* sub : {"home/Greets", "home/Log", "home/Messages", "registry", "config/kalvo"})
        QDir().mkpath(QString::fromStdString(dir + "/" + sub));
    setenv("KALVO_HOME", (dir + "/home").c_str(), 1);
    setenv("KALVO_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("KALVO_TELEPHONY_CONF", (dir + "/config/kalvo/telephony.conf").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const uint16_t port = kalvo::sip::test::freePort();
    std::ofstream(dir + "/config/kalvo/telephony.conf")
        << "[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:" << port
        << "\nring_interval = 0.3\nrtp_ports = " << kRtpLow << "-" << kRtpHigh << "\n"
        << (jitter.empty() ? std::string() : "jitter_buffer = " + jitter + "\n");
    for (const auto& [name, value] : {std::pair{"NumOfRing", "20"}, {"Sound", "0"}, {"cLogSys", "1"}})
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, value);

    const pid_t kalvo = kalvo::sip::test::spawn(dir + "/kalvo.out", {KALVO_BENCH_BIN_DIR "/kalvo", "-st"});
    const std::string log = dir + "/home/Log";
    if (!waitFor([&] { return readLog(log).find("LineOpen") != std::string::npos; },
                 std::chrono::seconds(60))) {
        std::fprintf(stderr, "talk_bench: the line did not open\n");
        kalvo::sip::test::terminate(kalvo);
        return 1;
    }
    std::vector<int16_t> voice;
    for (int s = 0; s < talkSeconds + 10; ++s) {
        const auto burst = kalvo::sip::test::tone(1000, kBurstSeconds, 12000);
        voice.insert(voice.end(), burst.begin(), burst.end());
        voice.resize(voice.size() + size_t(8000 * (1 - kBurstSeconds)), 0);
    }
    LoopbackCapture wire;
    std::string error;
    if (!wire.start(error)) {
        std::fprintf(stderr, "talk_bench: %s\n", error.c_str());
        kalvo::sip::test::terminate(kalvo);
        return 1;
    }
    Baresip caller("Bench", "bench@127.0.0.1>;regint=0", voice);
    TimedRecorder speaker("speaker.monitor");
    caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
    waitFor([&] { return readLog(log).find("Ring[LineIndex:0]") != std::string::npos; },
            std::chrono::seconds(20));
    const int picked = std::system(KALVO_BENCH_BIN_DIR "/kalvo --pick-up");
    if (picked != 0 || !caller.waitLog("established", std::chrono::seconds(10))) {
        std::fprintf(stderr, "talk_bench: the pick-up did not work\n");
        kalvo::sip::test::terminate(kalvo);
        return 1;
    }
    const auto began = Clock::now();
    const double kalvoBefore = kalvo::bench::cpuMs(kalvo::bench::procFile(kalvo, "stat"));
    const double baresipBefore = kalvo::bench::cpuMs(kalvo::bench::procFile(caller.pid(), "stat"));
    std::this_thread::sleep_for(std::chrono::seconds(talkSeconds));
    const double minutes = duration<double>(Clock::now() - began).count() / 60;
    const double kalvoMs = kalvo::bench::cpuMs(kalvo::bench::procFile(kalvo, "stat")) - kalvoBefore;
    const double baresipMs =
        kalvo::bench::cpuMs(kalvo::bench::procFile(caller.pid(), "stat")) - baresipBefore;
    std::system(KALVO_BENCH_BIN_DIR "/kalvo --hang-up");
    caller.waitLog("terminated", std::chrono::seconds(5));
    wire.stop();

    // Bursts after the first second of the conversation, when every buffer has settled.
    const double settled = secondsOf(began) + 1;
    const auto fromSettled = [settled](std::vector<double> v) {
        v.erase(v.begin(), std::lower_bound(v.begin(), v.end(), settled));
        return v;
    };
    const std::vector<LoopbackCapture::Datagram> seen = wire.take();
    const std::vector<double> sent = fromSettled(onsets(rtpSamples(seen, true)));
    const std::vector<double> played = fromSettled(onsets(speaker.samples()));
    const std::vector<double> returned = fromSettled(onsets(rtpSamples(seen, false)));
    std::printf("talk_bench: %d s of conversation at the desk on loopback (PulseAudio null sink, "
                "microphone on its monitor), the line's jitter buffer %s\n",
                talkSeconds, jitter.empty() ? "as configured by default" : jitter.c_str());
    std::printf("  caller -> speaker    (RTP in -> speaker)   %s\n", spread(delays(sent, played)).c_str());
    std::printf("  microphone -> caller (speaker -> RTP out)  %s\n",
                spread(delays(played, returned)).c_str());
    std::printf("  round trip through Kalvo (RTP in -> out)   %s\n", spread(delays(sent, returned)).c_str());
    std::printf("  bursts seen: %zu sent, %zu at the speaker, %zu back to the caller\n", sent.size(),
                played.size(), returned.size());
    std::printf("  (target: under 60 ms added each way; ITU-T G.114 one-way budget 150 ms)\n");
    std::printf("  CPU per minute of conversation: kalvo %.0f ms, baresip on the same call %.0f ms\n",
                kalvoMs / minutes, baresipMs / minutes);
    kalvo::sip::test::terminate(kalvo);
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // talk_bench [seconds] [the line's jitter_buffer, e.g. 1-10]
    return run(argc > 1 ? std::max(5, std::atoi(argv[1])) : 30, argc > 2 ? argv[2] : "");
}
