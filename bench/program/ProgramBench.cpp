// Runs the real "kalvo -st" on a loopback SIP line: start to line open and idle memory; CPU per
// call-minute of the whole program with an 8 kHz and a 44.1 kHz stereo greeting against baresip
// answering the same call, with the context switches of each thread; and how soon a caller who rings
// right after a hang-up gets 200 OK with 0, 10,000 and 100,000 stored calls (seen on the wire).
#include "BenchSupport.h"
#include "LoopbackCapture.h"
#include "ProgramRun.h"
#include "SipPeers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono;
using Clock = steady_clock;

using kalvo::bench::cpuMs;
using kalvo::bench::ms;
using kalvo::bench::PrivateHome;
using kalvo::bench::procFile;
using kalvo::bench::Program;
using kalvo::bench::rssKb;
using kalvo::bench::setSettings;
using kalvo::bench::sipLine;
using kalvo::bench::spread;
using kalvo::bench::startFirstTime;
using kalvo::bench::waitFor;
using kalvo::sip::test::Baresip;
using kalvo::sip::test::freePort;
using kalvo::sip::test::readFile;
using kalvo::sip::test::spawn;
using kalvo::sip::test::terminate;
using kalvo::sip::test::tone;
using kalvo::sip::test::writeWav;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "program_bench: %s\n", what);
}

// A field ("Pss:") of /proc/PID/smaps_rollup, in kilobytes.
long rollupKb(pid_t pid, const char* field)
{
    std::istringstream in(readFile(procFile(pid, "smaps_rollup")));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

// Context switches (voluntary + involuntary) of every thread, by thread name (threads of one name
// added up).
std::map<std::string, long> switchesByThread(pid_t pid)
{
    std::map<std::string, long> switches;
    QDir tasks(QString("/proc/%1/task").arg(pid));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const std::string base = "/proc/" + std::to_string(pid) + "/task/" + tid.toStdString();
        std::string name = readFile(base + "/comm");
        while (!name.empty() && name.back() == '\n')
            name.pop_back();
        if (tid.toInt() == pid)
            name += " (main)";
        std::istringstream in(readFile(base + "/status"));
        for (std::string line; std::getline(in, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                switches[name] += std::atol(line.c_str() + line.find(':') + 1);
    }
    return switches;
}

// Start to "LineOpen" in the log, a few times; then the idle program's memory.
void startAndMemory(const PrivateHome& home, int runs)
{
    std::ofstream(home.conf()) << sipLine(freePort());
    std::vector<double> starts;
    long pss = -1, privateKb = -1, rss = -1;
    for (int run = 0; run < runs; ++run) {
        const size_t from = home.sysLog().size();
        const auto began = Clock::now();
        const pid_t pid = spawn(home.folder() + "/kalvo.out", {KALVO_BENCH_BIN_DIR "/kalvo", "-st"});
        if (!waitFor([&] { return home.sysLog(from).find("LineOpen") != std::string::npos; }, seconds(60),
                     milliseconds(1))) {
            terminate(pid);
            return fail("kalvo did not open its line");
        }
        starts.push_back(ms(Clock::now() - began));
        if (run == runs - 1) {
            std::this_thread::sleep_for(seconds(2));
            pss = rollupKb(pid, "Pss:");
            privateKb = rollupKb(pid, "Private_Clean:") + rollupKb(pid, "Private_Dirty:");
            rss = rssKb(procFile(pid, "status"));
        }
        terminate(pid);
    }
    std::printf("Start to line open (\"LineOpen\" in the log, min / median / max of %d): %s\n", runs,
                spread(starts, "ms").c_str());
    std::printf("Idle memory: proportional set size %ld kB, private %ld kB (resident %ld kB)\n\n", pss,
                privateKb, rss);
}

// A greeting of `seconds`: an 8 kHz mono or a 44.1 kHz stereo 440 Hz tone.
bool makeGreeting(const PrivateHome& home, const std::string& name, bool cd, int seconds)
{
    const std::string wav = home.folder() + "/Greets/" + name + ".wav";
    const std::string sox = "sox -n -r " + std::string(cd ? "44100 -c 2" : "8000 -c 1") + " -b 16 '" + wav +
                            "' synth " + std::to_string(seconds) + " sine 440 vol 0.3";
    return std::system(sox.c_str()) == 0;
}

struct CallFigures
{
    double kalvoMin = -1, baresipMin = -1;
    std::map<std::string, long> switches;
};

// One call to kalvo measured from the caller's "established" for `seconds` (the greeting, then the
// recording), and baresip answering the same caller for as long.
CallFigures measureCall(const PrivateHome& home, int seconds)
{
    CallFigures f;
    const uint16_t port = freePort();
    std::ofstream(home.conf()) << sipLine(port);
    {
        Program kalvo(home);
        if (!kalvo.started) {
            fail("kalvo did not open its line");
            return f;
        }
        Baresip caller("", "caller@127.0.0.1>;regint=0", tone(700, seconds + 30, 3000));
        caller.console("/dial sip:kalvo@127.0.0.1:" + std::to_string(port));
        if (!caller.waitLog("established", std::chrono::seconds(20), milliseconds(5))) {
            fail("the caller was not connected");
            return f;
        }
        const double k0 = cpuMs(procFile(kalvo.pid, "stat"));
        const auto s0 = switchesByThread(kalvo.pid);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double k1 = cpuMs(procFile(kalvo.pid, "stat"));
        const auto s1 = switchesByThread(kalvo.pid);
        const bool stillUp = kalvo.log().find("Disconnected[LineIndex:0]") == std::string::npos;
        caller.console("b");
        if (!stillUp) {
            fail("the call ended before the measured period did");
            return f;
        }
        f.kalvoMin = (k1 - k0) * 60.0 / seconds;
        for (const auto& [name, count] : s1)
            f.switches[name] = count - (s0.count(name) ? s0.at(name) : 0);
        waitFor([&] { return kalvo.log().find("Idle[LineIndex:0]") != std::string::npos; },
                std::chrono::seconds(5));
    }
    Baresip callee("", "kalvo@127.0.0.1>;regint=0;answermode=auto", tone(700, seconds + 30, 3000));
    Baresip caller("", "caller@127.0.0.1>;regint=0", tone(700, seconds + 30, 3000));
    caller.console("/dial sip:kalvo@127.0.0.1:" + std::to_string(callee.sipPort()));
    if (caller.waitLog("established", std::chrono::seconds(10))) {
        const double b0 = cpuMs(procFile(callee.pid(), "stat"));
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        f.baresipMin = (cpuMs(procFile(callee.pid(), "stat")) - b0) * 60.0 / seconds;
    }
    caller.console("b");
    return f;
}

void cpuPerCallMinute(const PrivateHome& home, int seconds, int runs)
{
    for (const bool cd : {false, true}) {
        const std::string name = cd ? "Cd" : "Line";
        if (!makeGreeting(home, name, cd, seconds / 2))
            return fail("sox could not make the greeting");
        setSettings({{"Greeting", name}});
        // A first call, not counted: what a program that keeps converted greetings does once.
        measureCall(home, 3);
        std::vector<double> kalvo, baresip, ratio;
        std::map<std::string, std::vector<double>> switches;
        for (int run = 0; run < runs; ++run) {
            const CallFigures f = measureCall(home, seconds);
            if (f.kalvoMin < 0 || f.baresipMin <= 0)
                continue;
            kalvo.push_back(f.kalvoMin);
            baresip.push_back(f.baresipMin);
            ratio.push_back(f.kalvoMin / f.baresipMin);
            for (const auto& [thread, count] : f.switches)
                switches[thread].push_back(static_cast<double>(count) / seconds);
        }
        std::printf("%s greeting (%d s of a %d s call, then recording), min / median / max of %d:\n",
                    cd ? "44.1 kHz stereo" : "8 kHz mono", seconds / 2, seconds, runs);
        std::printf("  kalvo CPU per call-minute:   %s\n", spread(kalvo, "ms").c_str());
        std::printf("  baresip CPU per call-minute: %s (answering the same caller)\n",
                    spread(baresip, "ms").c_str());
        std::printf("  ratio kalvo / baresip:       %s\n", spread(ratio, "", 2).c_str());
        std::printf("  context switches per second, by thread:\n");
        for (const auto& [thread, values] : switches)
            std::printf("    %-24s %s\n", thread.c_str(), spread(values, "", 1).c_str());
    }
    std::printf("\n");
}

bool starts(const LoopbackCapture::Datagram& d, const char* text)
{
    return d.payload.rfind(text, 0) == 0;
}

// A caller hangs up after a short message and the next one dials at once: INVITE -> 200 OK of the
// second call on the wire, with `stored` calls in the database.
void nextCaller(const PrivateHome& home, int stored, int rounds, LoopbackCapture& capture)
{
    const QString calls = QString::fromStdString(home.folder() + "/Calls");
    QDir(calls).removeRecursively();
    QDir().mkpath(calls);
    if (stored > 0)
        kalvo::bench::seedCalls(calls, stored);
    const uint16_t port = freePort();
    std::ofstream(home.conf()) << sipLine(port);
    Program kalvo(home);
    if (!kalvo.started)
        return fail("kalvo did not open its line");
    std::vector<double> inviteTo200;
    for (int round = 0; round < rounds; ++round) {
        Baresip first("", "first@127.0.0.1>;regint=0", tone(700, 30, 3000));
        Baresip next("", "next@127.0.0.1>;regint=0", tone(700, 30, 3000));
        const size_t recorded = kalvo.log().size();
        first.console("/dial sip:kalvo@127.0.0.1:" + std::to_string(port));
        // The greeting left by the CPU part lasts half its call: up to a minute for long calls.
        if (!waitFor([&] { return kalvo.log().find("Start Record Message", recorded) != std::string::npos; },
                     std::chrono::seconds(120)))
            return fail("kalvo did not record the first caller");
        std::this_thread::sleep_for(std::chrono::seconds(2));
        capture.take();
        first.console("b");
        next.console("/dial sip:kalvo@127.0.0.1:" + std::to_string(port));
        next.waitLog("established", std::chrono::seconds(20), milliseconds(5));
        std::optional<Clock::time_point> invite, ok;
        for (const auto& d : capture.take()) {
            if (d.dstPort == port && starts(d, "INVITE ") && !invite)
                invite = d.at;
            else if (invite && d.srcPort == port && starts(d, "SIP/2.0 200") &&
                     d.payload.find("INVITE") != std::string::npos && !ok)
                ok = d.at;
        }
        if (invite && ok)
            inviteTo200.push_back(ms(*ok - *invite));
        next.console("b");
        waitFor(
            [&] {
                return kalvo.log().rfind("Idle[LineIndex:0]") > kalvo.log().rfind("Connected[LineIndex:0]");
            },
            std::chrono::seconds(5));
        std::this_thread::sleep_for(milliseconds(500));
    }
    std::printf("  %7d stored calls: next caller INVITE -> 200 OK %s (min / median / max of %zu)\n", stored,
                spread(inviteTo200, "ms", 1).c_str(), inviteTo200.size());
}

} // namespace

int main(int argc, char** argv)
{
    // program_bench [CALL_SECONDS (20)] [RUNS (3)]
    const int seconds = argc > 1 ? std::max(6, std::atoi(argv[1])) : 20;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    PrivateHome home;
    if (!startFirstTime(home))
        fail("kalvo did not open its line on the first start");
    setSettings({{"cLogSys", "1"},
                 {"cLogCalls", "1"},
                 {"RecordMessage", "1"},
                 {"NumOfRing", "1"},
                 {"MaxRec", "60"},
                 {"SecSilence", "600"},
                 {"cDropSilence", "0"},
                 {"ValSilence", "0"}});
    std::printf("Program benchmark: \"kalvo -st\" on a 127.0.0.1 SIP line, baresip calling, %d s calls\n\n",
                seconds);
    startAndMemory(home, 5);
    cpuPerCallMinute(home, seconds, runs);
    LoopbackCapture capture;
    std::string error;
    if (!capture.start(error)) {
        fail(error.c_str());
        return 1;
    }
    std::printf("A caller ringing right after a hang-up (seen on the loopback interface):\n");
    for (int stored : {0, 10000, 100000})
        nextCaller(home, stored, runs, capture);
    return 0;
}
