// Times a call on the modem line (the simulated modem at real-time pace) and on the SIP line
// (baresip over loopback) in the same run: ring-to-answer latency and the line thread's CPU per
// call-minute while it plays and records; then how full the modelled modem buffer stays while a long
// greeting is played; and, talking both ways (AT+VTR), how long the switch takes and how late each
// side hears the other. Arguments: call seconds (default 30), greeting seconds (default 600).
#include "BenchSupport.h"
#include "ModemLine.h"
#include "ModemProvider.h"
#include "ModemSignals.h"
#include "ModemSimulator.h"
#include "ModemWaveDevice.h"
#include "SipLine.h"
#include "SipPeers.h"
#include "SipProvider.h"
#include "SipWaveDevice.h"
#include "WaveDevice.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <thread>
#include <tuple>

using namespace std::chrono;
using namespace kalvo::telephony;
using kalvo::sip::test::RecordingSink;
using kalvo::sip::test::VectorSink;
using kalvo::sip::test::VectorSource;
using Event = RecordingSink::Event;

namespace {

const kalvo::wave::WaveFormat kLine{8000, 1};

std::string threadStat(const char* name)
{
    DIR* dir = opendir("/proc/self/task");
    std::string found;
    while (dirent* e = dir ? readdir(dir) : nullptr) {
        const std::string task = std::string("/proc/self/task/") + e->d_name;
        if (kalvo::sip::test::readFile(task + "/comm").rfind(name, 0) == 0)
            found = task + "/stat";
    }
    if (dir)
        closedir(dir);
    return found;
}

struct Figures
{
    double ringToConnectedMs = -1;
    double cpuMsPerMinute = -1;
};

// Answers at the first ring, plays for a third of the call, records the rest, drops; wave devices
// are the line's own. ringEvent is the layer's first ring notification.
template <typename Device>
Figures measureCall(LineDevice& line, RecordingSink& sink, Device& out, Device& in, const char* thread,
                    int seconds)
{
    Figures f;
    const Event ring =
        sink.waitFor([](const Event& e) { return e.kind == "ring"; }, std::chrono::seconds(15));
    const Event offer = sink.waitOffer();
    if (ring.kind.empty() || offer.kind.empty() || line.answer(offer.call, 1) != 0)
        return f;
    const Event connected = sink.waitState(LINECALLSTATE_CONNECTED, std::chrono::seconds(10));
    if (connected.kind.empty())
        return f;
    f.ringToConnectedMs = duration<double, std::milli>(connected.at - ring.at).count();
    const std::string stat = threadStat(thread);
    const double cpuBefore = kalvo::bench::cpuMs(stat);
    const auto start = steady_clock::now();
    out.startOutput(kLine, std::make_shared<VectorSource>(kalvo::sip::test::tone(440, seconds / 3.0, 6000)));
    std::this_thread::sleep_for(std::chrono::seconds(seconds / 3));
    out.stop();
    in.startInput(kLine, std::make_shared<VectorSink>());
    std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
    in.stop();
    const double cpu = kalvo::bench::cpuMs(stat) - cpuBefore;
    f.cpuMsPerMinute = cpu * 60.0 / double(seconds);
    line.drop(offer.call, 2);
    sink.waitState(LINECALLSTATE_IDLE);
    return f;
}

std::unique_ptr<LineDevice> makeLine(LineProvider& provider, std::map<std::string, std::string> keys,
                                     RecordingSink& sink)
{
    LineConfig config;
    config.name = "Bench";
    config.provider = provider.name();
    config.keys = std::move(keys);
    std::string error;
    auto line = provider.createLine(config, sink, error);
    if (!line)
        std::fprintf(stderr, "modem_bench: %s\n", error.c_str());
    return line;
}

// A simulated modem and an open modem line on it.
struct ModemRig
{
    // The modem is set up on the line's thread: calls come once that is done.
    ModemRig() : line(makeLine(provider, {{"device", sim.device()}}, sink))
    {
        device().open();
        kalvo::modem::test::ModemSimulator::waitFor([&] { return !device().opening(); },
                                                    std::chrono::seconds(15));
    }
    ~ModemRig() { device().close(); }
    kalvo::modem::ModemLine& device() { return dynamic_cast<kalvo::modem::ModemLine&>(*line); }

    kalvo::modem::test::ModemSimulator sim;
    RecordingSink sink;
    kalvo::modem::ModemProvider provider;
    std::unique_ptr<LineDevice> line;
};

// Wave in that notes when the caller's tone first arrives.
class ArrivalSink : public kalvo::wave::WaveSink
{
public:
    void writeFrames(const int16_t* frames, size_t count) override
    {
        for (size_t i = 0; i < count && !m_heard; ++i)
            if (std::abs(frames[i]) > 2000) {
                m_at = steady_clock::now().time_since_epoch().count();
                m_heard = true;
            }
    }
    bool heard() const { return m_heard; }
    steady_clock::time_point at() const
    {
        return steady_clock::time_point(steady_clock::duration(m_at.load()));
    }

private:
    std::atomic<bool> m_heard{false};
    std::atomic<steady_clock::rep> m_at{0};
};

// Recording, then playing: the time until the modem talks both ways, the caller's tone (3 s after
// the line was taken) reaching wave in, how far the owner's voice runs ahead of the modem's playing,
// and the switch back once playing stops.
void measureTalk()
{
    using kalvo::modem::test::ModemSimulator;
    ModemRig rig;
    auto [sim, sink, device] = std::tie(rig.sim, rig.sink, rig.device());
    kalvo::modem::test::Caller caller;
    caller.rings = 2;
    caller.voice =
        kalvo::modem::test::join({kalvo::modem::test::silence(3), kalvo::sip::test::tone(700, 3, 9000)});
    sim.call(caller);
    const Event offer = sink.waitOffer();
    device.answer(offer.call, 1);
    sink.waitState(LINECALLSTATE_CONNECTED);
    auto heard = std::make_shared<ArrivalSink>();
    device.waveIn().startInput(kLine, heard);
    std::this_thread::sleep_for(milliseconds(800));
    const auto playFrom = steady_clock::now();
    device.waveOut().startOutput(kLine, std::make_shared<VectorSource>(kalvo::sip::test::tone(440, 6, 6000)));
    ModemSimulator::waitFor([&] { return sim.duplex(); }, seconds(5));
    const double switchMs = duration<double, std::milli>(steady_clock::now() - playFrom).count();
    ModemSimulator::waitFor([&] { return heard->heard(); }, seconds(6));
    const double callerMs =
        heard->heard() ? duration<double, std::milli>(heard->at() - (sim.offHookAt() + seconds(3))).count()
                       : -1;
    std::this_thread::sleep_for(milliseconds(1500));
    const auto stats = sim.bufferStats();
    const auto stopAt = steady_clock::now();
    device.waveOut().stop();
    ModemSimulator::waitFor([&] { return !sim.duplex(); }, seconds(5));
    const double backMs = duration<double, std::milli>(steady_clock::now() - stopAt).count();
    std::printf("talking on the modem line (AT+VTR)\n");
    std::printf("  recording -> both ways: %.1f ms; playing stops -> listening only: %.1f ms\n", switchMs,
                backMs);
    std::printf("  caller -> wave in: %.1f ms; owner's voice ahead of the modem's playing: %.1f to %.1f ms\n",
                callerMs, double(stats.minFill) / 8.0, double(stats.maxFill) / 8.0);
    std::fflush(stdout);
    device.waveIn().stop();
    device.drop(offer.call, 2);
    sink.waitState(LINECALLSTATE_IDLE);
}

} // namespace

int main(int argc, char** argv)
{
    const int callSeconds = argc > 1 ? std::max(6, std::atoi(argv[1])) : 30;
    const int greetingSeconds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 600;
    char lockDir[] = "/tmp/wt-modem-bench-XXXXXX";
    ::setenv("KALVO_LOCK_DIR", ::mkdtemp(lockDir), 1);

    Figures modem, sip;
    {
        ModemRig rig;
        kalvo::modem::test::Caller caller;
        caller.rings = 10;
        caller.voice = kalvo::sip::test::tone(700, callSeconds + 5, 6000);
        rig.sim.call(caller);
        auto& device = rig.device();
        modem = measureCall(device, rig.sink, device.waveOut(), device.waveIn(), "kalvo-modem", callSeconds);
    }
    {
        const uint16_t port = kalvo::sip::test::freePort();
        RecordingSink sink;
        kalvo::sip::SipProvider provider;
        auto line = makeLine(
            provider, {{"listen", "127.0.0.1:" + std::to_string(port)}, {"rtp_ports", "40000-49998"}}, sink);
        auto& device = dynamic_cast<kalvo::sip::SipLine&>(*line);
        device.open();
        kalvo::sip::test::Baresip caller("Bench", "bench@127.0.0.1>;regint=0",
                                         kalvo::sip::test::tone(700, callSeconds + 5, 6000));
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        sip = measureCall(device, sink, device.waveOut(), device.waveIn(), "kalvo-sip", callSeconds);
        caller.hangUp();
        device.close();
    }
    std::printf("call of %d s (a third played, the rest recorded), answered at the first ring\n",
                callSeconds);
    std::printf("%-34s %12s %12s\n", "", "modem line", "SIP line");
    std::printf("%-34s %12.1f %12.1f\n", "ring notification -> CONNECTED (ms)", modem.ringToConnectedMs,
                sip.ringToConnectedMs);
    std::printf("%-34s %12.1f %12.1f\n", "line thread CPU per call-minute (ms)", modem.cpuMsPerMinute,
                sip.cpuMsPerMinute);
    std::fflush(stdout);

    measureTalk();

    // The pacing margin: one long greeting, the modelled buffer watched all the way.
    ModemRig rig;
    auto [sim, sink, device] = std::tie(rig.sim, rig.sink, rig.device());
    sim.call(kalvo::modem::test::Caller{});
    const Event offer = sink.waitOffer();
    device.answer(offer.call, 1);
    sink.waitState(LINECALLSTATE_CONNECTED);
    const std::vector<int16_t> greeting = kalvo::sip::test::tone(440, greetingSeconds, 6000);
    device.waveOut().startOutput(kLine, std::make_shared<VectorSource>(greeting));
    kalvo::modem::test::ModemSimulator::waitFor(
        [&] { return device.waveOut().framesProcessed() >= greeting.size(); }, seconds(greetingSeconds + 30));
    device.waveOut().stop();
    const auto stats = sim.bufferStats();
    std::printf("greeting of %d s on the modem line: buffer %zu samples (%.0f ms)\n", greetingSeconds,
                size_t(8192), 8192 / 8.0);
    std::printf(
        "  fill once started: least %.1f ms, most %.1f ms; underruns %u; full %u times; %llu samples\n",
        double(stats.minFill) / 8.0, double(stats.maxFill) / 8.0, stats.underruns, stats.overflows,
        static_cast<unsigned long long>(stats.samples));
    device.drop(offer.call, 2);
    sink.waitState(LINECALLSTATE_IDLE);
    return 0;
}
