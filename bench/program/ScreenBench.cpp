// Call screening on the real "kalvo -st" with baresip calling its loopback SIP line: how soon a
// screened caller is answered (INVITE -> 200 OK) and hears the prompt (200 OK -> the first RTP
// packet of the program's with audible G.711 in it), seen on the wire; then the program's CPU time
// per call for a caller who stays silent until the wait ends against a normal call that leaves a
// 30 s message.
#include "BenchSupport.h"
#include "LoopbackCapture.h"
#include "ProgramRun.h"
#include "SipPeers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono;
using namespace kalvo::bench;
using kalvo::sip::test::Baresip;
using kalvo::sip::test::freePort;

namespace {

constexpr int kScreenWait = 8;      // the program's default
constexpr int kAudible = 1000;      // a sample above this is the prompt, not silence or noise
constexpr int kMessageSeconds = 30; // the normal caller's message

void fail(const std::string& what)
{
    std::fprintf(stderr, "screen_bench: %s\n", what.c_str());
}

int fromMuLaw(uint8_t u)
{
    u = static_cast<uint8_t>(~u);
    const int magnitude = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
    return (u & 0x80) ? 0x84 - magnitude : magnitude - 0x84;
}

int fromALaw(uint8_t a)
{
    a ^= 0x55;
    int magnitude = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    magnitude += segment == 0 ? 8 : 0x108;
    if (segment > 1)
        magnitude <<= segment - 1;
    return (a & 0x80) ? magnitude : -magnitude;
}

// The loudest sample of a PCMU or PCMA RTP packet; -1 for anything else.
int loudest(const LoopbackCapture::Datagram& d)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(d.payload[i]); };
    if (d.payload.size() < 12 || (byte(0) & 0xC0) != 0x80)
        return -1;
    const int type = byte(1) & 0x7F;
    if (type != 0 && type != 8)
        return -1;
    size_t at = 12 + 4 * (byte(0) & 0x0F);
    if ((byte(0) & 0x10) && at + 4 <= d.payload.size())
        at += 4 + 4 * ((size_t(byte(at + 2)) << 8) | byte(at + 3));
    int peak = 0;
    for (; at < d.payload.size(); ++at)
        peak = std::max(peak, std::abs(type == 0 ? fromMuLaw(byte(at)) : fromALaw(byte(at))));
    return peak;
}

bool starts(const LoopbackCapture::Datagram& d, const char* text)
{
    return d.payload.rfind(text, 0) == 0;
}

// The wire figures of one screened call to the line on port.
struct Answer
{
    std::optional<double> inviteTo200, okToPrompt;
    bool ringing = false; // a 180 went out
};

Answer analyse(const std::vector<LoopbackCapture::Datagram>& seen, uint16_t port)
{
    Answer a;
    std::optional<BenchClock::time_point> invite, ok;
    for (const auto& d : seen) {
        if (d.dstPort == port && starts(d, "INVITE ") && !invite)
            invite = d.at;
        else if (d.srcPort == port && starts(d, "SIP/2.0 180"))
            a.ringing = true;
        else if (d.srcPort == port && starts(d, "SIP/2.0 200") &&
                 d.payload.find("INVITE") != std::string::npos && !ok)
            ok = d.at;
        else if (ok && !a.okToPrompt && d.srcPort >= kLineRtpMin && d.srcPort <= kLineRtpMax &&
                 loudest(d) > kAudible)
            a.okToPrompt = ms(d.at - *ok);
    }
    if (invite && ok)
        a.inviteTo200 = ms(*ok - *invite);
    return a;
}

std::string caller(int n)
{
    char account[64];
    std::snprintf(account, sizeof account, "+1415555%04d@127.0.0.1>;regint=0", n);
    return account;
}

// `calls` screened callers, each hanging up once the prompt has played a while.
void screenedAnswer(const PrivateHome& home, int calls, LoopbackCapture& capture)
{
    const uint16_t port = freePort();
    std::ofstream(home.conf()) << sipLine(port);
    setSettings(
        {{"ScreenCallers", "1"}, {"ScreenWait", std::to_string(kScreenWait)}, {"ScreenPrompt", "Ask"}});
    Program kalvo(home);
    if (!kalvo.started)
        return fail("kalvo did not open its line");
    std::vector<double> inviteTo200, okToPrompt;
    int ringing = 0, silent = 0;
    for (int n = 1; n <= calls; ++n) {
        Baresip phone("", caller(n), std::vector<int16_t>(8000 * 20, 0));
        const size_t idle = kalvo.count("Idle[LineIndex:0]");
        const size_t screened = kalvo.count("CallerScreened");
        capture.take();
        phone.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        if (!waitFor([&] { return kalvo.count("CallerScreened") > screened; }, seconds(10)))
            return fail("the call was not screened");
        std::this_thread::sleep_for(milliseconds(1500));
        phone.hangUp();
        waitFor([&] { return kalvo.count("Idle[LineIndex:0]") > idle; }, seconds(10));
        const Answer a = analyse(capture.take(), port);
        ringing += a.ringing ? 1 : 0;
        if (a.inviteTo200)
            inviteTo200.push_back(*a.inviteTo200);
        if (a.okToPrompt)
            okToPrompt.push_back(*a.okToPrompt);
        else
            ++silent;
    }
    const auto line = [](const char* what, std::vector<double> values) {
        std::sort(values.begin(), values.end());
        if (values.empty())
            return std::printf("  %-36s -\n", what), void();
        std::printf("  %-36s median %.1f ms, worst %.1f ms (%zu calls)\n", what, values[values.size() / 2],
                    values.back(), values.size());
    };
    std::printf("Screened callers answered (on the loopback interface):\n");
    line("INVITE -> 200 OK", inviteTo200);
    line("200 OK -> first prompt audio", okToPrompt);
    std::printf("  %-36s %d of %d\n", "calls that got 180 Ringing", ringing, calls);
    std::printf("  %-36s %d of %d\n\n", "calls without prompt audio", silent, calls);
}

// CPU time of the program from the dial until a second after the line is idle again.
struct CallCost
{
    double cpuMs = -1, seconds = 0;
};

// A caller screened out: silent until the wait ends, hung up on by the program.
CallCost screenedOut(const Program& kalvo, uint16_t port, int n)
{
    CallCost cost;
    Baresip phone("", caller(n), std::vector<int16_t>(8000 * (kScreenWait + 20), 0));
    const size_t idle = kalvo.count("Idle[LineIndex:0]");
    const double cpu0 = cpuMs(procFile(kalvo.pid, "stat"));
    const auto began = BenchClock::now();
    phone.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
    if (!waitFor([&] { return kalvo.count("Idle[LineIndex:0]") > idle; }, seconds(kScreenWait + 20))) {
        fail("the silent caller was not hung up on");
        return cost;
    }
    cost.seconds = ms(BenchClock::now() - began) / 1000.0;
    std::this_thread::sleep_for(seconds(1));
    cost.cpuMs = cpuMs(procFile(kalvo.pid, "stat")) - cpu0;
    if (kalvo.count("ScreenedOut[LineIndex:0]->timed out") == 0)
        fail("the caller was not screened out by the wait");
    return cost;
}

// A caller who hears the greeting and leaves a message of kMessageSeconds.
CallCost message(const Program& kalvo, uint16_t port, int n)
{
    CallCost cost;
    Baresip phone("", caller(n), kalvo::sip::test::tone(700, kMessageSeconds + 30, 3000));
    const size_t idle = kalvo.count("Idle[LineIndex:0]");
    const size_t recorded = kalvo.count("Start Record Message");
    const double cpu0 = cpuMs(procFile(kalvo.pid, "stat"));
    const auto began = BenchClock::now();
    phone.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
    if (!waitFor([&] { return kalvo.count("Start Record Message") > recorded; }, seconds(30))) {
        fail("kalvo did not record the caller");
        return cost;
    }
    std::this_thread::sleep_for(seconds(kMessageSeconds));
    phone.hangUp();
    if (!waitFor([&] { return kalvo.count("Idle[LineIndex:0]") > idle; }, seconds(10))) {
        fail("the call did not end");
        return cost;
    }
    cost.seconds = ms(BenchClock::now() - began) / 1000.0;
    std::this_thread::sleep_for(seconds(1));
    cost.cpuMs = cpuMs(procFile(kalvo.pid, "stat")) - cpu0;
    return cost;
}

void cpuPerCall(const PrivateHome& home, int runs)
{
    std::vector<double> outMs, outSeconds, messageMs, messageSeconds;
    double idleMsPerSecond = 0;
    {
        const uint16_t port = freePort();
        std::ofstream(home.conf()) << sipLine(port);
        setSettings({{"ScreenCallers", "1"}, {"ScreenWait", std::to_string(kScreenWait)}});
        Program kalvo(home);
        if (!kalvo.started)
            return fail("kalvo did not open its line");
        std::this_thread::sleep_for(seconds(2));
        const double cpu0 = cpuMs(procFile(kalvo.pid, "stat"));
        std::this_thread::sleep_for(seconds(5));
        idleMsPerSecond = (cpuMs(procFile(kalvo.pid, "stat")) - cpu0) / 5;
        for (int run = 0; run < runs; ++run) {
            const CallCost c = screenedOut(kalvo, port, 100 + run);
            if (c.cpuMs >= 0) {
                outMs.push_back(c.cpuMs);
                outSeconds.push_back(c.seconds);
            }
        }
    }
    {
        const uint16_t port = freePort();
        std::ofstream(home.conf()) << sipLine(port);
        setSettings({{"ScreenCallers", "0"}});
        Program kalvo(home);
        if (!kalvo.started)
            return fail("kalvo did not open its line");
        for (int run = 0; run < runs; ++run) {
            const CallCost c = message(kalvo, port, 200 + run);
            if (c.cpuMs >= 0) {
                messageMs.push_back(c.cpuMs);
                messageSeconds.push_back(c.seconds);
            }
        }
    }
    std::printf("CPU time of the program per call, dial to a second after idle (min / median / max of %d):\n",
                runs);
    std::printf("  %-28s %-28s %s\n", "", "screened out (silent)", "normal call, 30 s message");
    std::printf("  %-28s %-28s %s\n", "CPU per call", spread(outMs, "ms").c_str(),
                spread(messageMs, "ms").c_str());
    std::printf("  %-28s %-28s %s\n", "call length", spread(outSeconds, "s", 1).c_str(),
                spread(messageSeconds, "s", 1).c_str());
    std::printf("  (idle program: %.1f ms CPU per second)\n", idleMsPerSecond);
}

} // namespace

int main(int argc, char** argv)
{
    // screen_bench [CALLS (10)] [RUNS (3)]
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    PrivateHome home;
    if (!startFirstTime(home))
        fail("kalvo did not open its line on the first start");
    kalvo::sip::test::writeWav(home.folder() + "/Greets/Ask.wav", kalvo::sip::test::tone(1000, 3.0, 8000));
    kalvo::sip::test::writeWav(home.folder() + "/Greets/Hello.wav", kalvo::sip::test::tone(440, 3.0, 6000));
    setSettings({{"cLogSys", "1"},
                 {"cLogCalls", "1"},
                 {"RecordMessage", "1"},
                 {"Greeting", "Hello"},
                 {"NumOfRing", "1"},
                 {"MaxRec", "60"},
                 {"SecSilence", "600"},
                 {"cDropSilence", "0"},
                 {"ValSilence", "0"}});
    std::printf("Screening benchmark: \"kalvo -st\" on a 127.0.0.1 SIP line, baresip calling\n\n");
    LoopbackCapture capture;
    std::string error;
    if (!capture.start(error)) {
        fail(error + " (run as root or with CAP_NET_RAW)");
        return 1;
    }
    screenedAnswer(home, calls, capture);
    capture.stop();
    cpuPerCall(home, runs);
    return 0;
}
