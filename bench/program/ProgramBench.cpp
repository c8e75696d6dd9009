// Runs the real "kalvo -st" on a loopback SIP line: CPU per call-minute of the whole program against
// baresip answering the same call, then a two-hour greeting: how soon the caller hears it after
// connect, and whether a second (simulated) line's rings are still handled meanwhile.
#include "BenchSupport.h"
#include "SipPeers.h"
#include "mdlReg.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
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
using kalvo::bench::procFile;
using kalvo::bench::rssKb;
using kalvo::sip::test::Baresip;
using kalvo::sip::test::freePort;
using kalvo::sip::test::readFile;
using kalvo::sip::test::spawn;
using kalvo::sip::test::terminate;
using kalvo::sip::test::tone;
using kalvo::sip::test::writeWav;

namespace {

template <typename Pred> bool waitFor(Pred pred, milliseconds timeout, milliseconds step = milliseconds(20))
{
    auto end = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}

// A private home for the program: the same variables the test helpers set.
class PrivateHome
{
public:
    PrivateHome()
    {
        char templ[] = "/tmp/kalvo-program-home-XXXXXX";
        m_dir = mkdtemp(templ);
        for (const char* sub :
             {"home/Greets", "home/Log", "home/Messages", "registry", "config/kalvo", "runtime"})
            QDir().mkpath(QString::fromStdString(m_dir + "/" + sub));
        ::chmod((m_dir + "/runtime").c_str(), 0700);
        setenv("HOME", (m_dir + "/home").c_str(), 1);
        setenv("KALVO_HOME", (m_dir + "/home").c_str(), 1);
        setenv("KALVO_REGISTRY_DIR", (m_dir + "/registry").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_dir + "/runtime").c_str(), 1);
        setenv("KALVO_TELEPHONY_CONF", conf().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ~PrivateHome() { std::system(("rm -rf '" + m_dir + "'").c_str()); }
    std::string folder() const { return m_dir + "/home"; }
    std::string conf() const { return m_dir + "/config/kalvo/telephony.conf"; }
    // The system log from byte `from` on (every start of the program appends to the same day's file).
    std::string sysLog(size_t from = 0) const
    {
        std::string all;
        QDir log(QString::fromStdString(folder() + "/Log"));
        for (const QString& name : log.entryList({"*_Sys.txt"}, QDir::Files))
            all += readFile(log.filePath(name).toStdString());
        return from < all.size() ? all.substr(from) : std::string();
    }

private:
    std::string m_dir;
};

void setSettings(const std::vector<std::pair<const char*, std::string>>& values)
{
    for (const auto& [name, value] : values)
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1,
                            QString::fromStdString(value));
}

// "kalvo -st" until destroyed.
class Program
{
public:
    explicit Program(const PrivateHome& home) : m_home(home)
    {
        logFrom = home.sysLog().size();
        pid = spawn(home.folder() + "/kalvo.out", {KALVO_BENCH_BIN_DIR "/kalvo", "-st"});
        started = waitFor([&] { return log().find("LineOpen") != std::string::npos; }, seconds(60));
    }
    ~Program() { terminate(pid); }
    // What this start of the program logged.
    std::string log() const { return m_home.sysLog(logFrom); }
    size_t logFrom = 0;
    pid_t pid = -1;
    bool started = false;

private:
    const PrivateHome& m_home;
};

std::string sipLine(uint16_t port)
{
    return "[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:" + std::to_string(port) +
           "\nring_interval = 0.3\nrtp_ports = 40000-49998\n";
}

void fail(const char* what)
{
    std::fprintf(stderr, "program_bench: %s\n", what);
}

// CPU per call-minute of kalvo answering and recording, of the calling baresip on that call, and of
// a second baresip answering the same caller for as long.
void cpuPerCallMinute(const PrivateHome& home, int seconds)
{
    uint16_t port = freePort();
    std::ofstream(home.conf()) << sipLine(port);
    std::vector<int16_t> greeting(8000);
    for (size_t i = 0; i < greeting.size(); ++i)
        greeting[i] = static_cast<int16_t>(4000 * std::sin(2 * M_PI * 300 * static_cast<double>(i) / 8000));
    writeWav(home.folder() + "/Greets/Short.wav", greeting);
    setSettings({{"Greeting", "Short"}});

    double kalvoMin = -1, callerMin = -1, calleeMin = -1;
    {
        Program kalvo(home);
        if (!kalvo.started)
            return fail("kalvo did not open its line");
        Baresip caller("", "caller@127.0.0.1>;regint=0", tone(700, seconds + 30, 3000));
        caller.console("/dial sip:kalvo@127.0.0.1:" + std::to_string(port));
        if (!waitFor([&] { return kalvo.log().find("Start Record Message") != std::string::npos; },
                     std::chrono::seconds(20)))
            return fail("kalvo did not start recording");
        double k0 = cpuMs(procFile(kalvo.pid, "stat")), c0 = cpuMs(procFile(caller.pid(), "stat"));
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        double k1 = cpuMs(procFile(kalvo.pid, "stat")), c1 = cpuMs(procFile(caller.pid(), "stat"));
        bool stillUp = kalvo.log().find("Disconnected[LineIndex:0]") == std::string::npos;
        caller.console("b");
        if (!stillUp)
            return fail("the call ended before the measured period did");
        kalvoMin = (k1 - k0) * 60.0 / seconds;
        callerMin = (c1 - c0) * 60.0 / seconds;
    }
    {
        Baresip callee("", "kalvo@127.0.0.1>;regint=0;answermode=auto", tone(700, seconds + 30, 3000));
        Baresip caller("", "caller@127.0.0.1>;regint=0", tone(700, seconds + 30, 3000));
        caller.console("/dial sip:kalvo@127.0.0.1:" + std::to_string(callee.sipPort()));
        if (caller.waitLog("established", std::chrono::seconds(10))) {
            double b0 = cpuMs(procFile(callee.pid(), "stat"));
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            calleeMin = (cpuMs(procFile(callee.pid(), "stat")) - b0) * 60.0 / seconds;
        }
        caller.console("b");
    }
    std::printf("Whole program on one SIP call (%d s, greeting then recording):\n", seconds);
    std::printf("  kalvo CPU per call-minute: %.0f ms\n", kalvoMin);
    if (calleeMin >= 0)
        std::printf("  baresip CPU per call-minute: %.0f ms (baresip answering the same caller)\n",
                    calleeMin);
    std::printf("  calling baresip on the kalvo call: %.0f ms per call-minute\n", callerMin);
    double reference = calleeMin > 0 ? calleeMin : callerMin;
    if (reference > 0)
        std::printf("  ratio kalvo / baresip: %.2f\n", kalvoMin / reference);
}

// A two-hour 44.1 kHz stereo greeting (a 440 Hz tone throughout) and a second, simulated line whose
// call rings while the greeting plays.
void longGreeting(const PrivateHome& home, int seconds, int greetingSeconds)
{
    const std::string wav = home.folder() + "/Greets/Long.wav";
    auto made = Clock::now();
    std::string sox = "sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth " + std::to_string(greetingSeconds) +
                      " sine 440 vol 0.3";
    if (std::system(sox.c_str()) != 0)
        return fail("sox could not make the two-hour greeting");
    double makeSeconds = duration<double>(Clock::now() - made).count();
    setSettings({{"Greeting", "Long"}});

    uint16_t port = freePort();
    // The sim line's call comes after the SIP call is connected, so the SIP call gets the answer.
    std::ofstream(home.folder() + "/second-line.txt")
        << "8 offer number=5550100 name=\"Second Line\"\n+0.5 ring\n"
        <<
        [&] {
            std::string rings;
            for (int i = 0; i < seconds; ++i)
                rings += "+1 ring\n";
            return rings;
        }()
        << "+1 hangup\n";
    std::ofstream(home.conf()) << sipLine(port)
                               << "\n[Line1]\nname = Second Line\nprovider = sim\nscenario = "
                               << home.folder() << "/second-line.txt\n";

    Program kalvo(home);
    if (!kalvo.started)
        return fail("kalvo did not open its lines");
    Baresip caller("", "caller@127.0.0.1>;regint=0", tone(700, seconds + 30, 3000));
    caller.console("/dial sip:kalvo@127.0.0.1:" + std::to_string(port));
    std::optional<Clock::time_point> connected;
    if (caller.waitLog("established", std::chrono::seconds(20), milliseconds(2)))
        connected = Clock::now();
    // Wall-clock: when the recording of what the caller hears first holds sound.
    std::optional<Clock::time_point> audible;
    long firstSample = -1;
    size_t heardSamples = 0;
    auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        if (!audible) {
            std::vector<int16_t> heard = caller.heard();
            for (size_t i = 0; i < heard.size(); ++i)
                if (std::abs(heard[i]) > 500) {
                    audible = Clock::now();
                    firstSample = static_cast<long>(i);
                    break;
                }
        }
        std::this_thread::sleep_for(milliseconds(audible ? 200 : 5));
    }
    const long residentKb = rssKb(procFile(kalvo.pid, "status"));
    std::string log = kalvo.log();
    bool greetingStillPlaying = log.find("Disconnected[LineIndex:0]") == std::string::npos &&
                                log.find("Start Record Message") == std::string::npos;
    caller.console("b");
    std::vector<int16_t> heard = caller.heard();
    heardSamples = heard.size();
    size_t rings = 0;
    for (size_t at = log.find("Ring[LineIndex:1]"); at != std::string::npos;
         at = log.find("Ring[LineIndex:1]", at + 1))
        ++rings;

    std::printf("\nA %d s greeting (44.1 kHz stereo, %.0f MB, made in %.1f s) with a second line ringing:\n",
                greetingSeconds, static_cast<double>(QFileInfo(QString::fromStdString(wav)).size()) / 1e6,
                makeSeconds);
    if (!connected)
        return fail("the caller was not connected");
    if (audible)
        std::printf("  connect -> first audible greeting at the caller: %.0f ms (wall clock, polled)\n",
                    duration<double, std::milli>(*audible - *connected).count());
    else
        std::printf("  connect -> first audible greeting at the caller: none in %d s\n", seconds);
    if (firstSample >= 0 && heard.size() >= static_cast<size_t>(firstSample) + 8000) {
        // Zero crossings over the first second: the greeting is a 440 Hz tone.
        int crossings = 0;
        for (size_t i = static_cast<size_t>(firstSample) + 1; i < static_cast<size_t>(firstSample) + 8000;
             ++i)
            crossings += (heard[i - 1] < 0) != (heard[i] < 0);
        std::printf("  first second heard: a %d Hz tone\n", crossings / 2);
    }
    if (firstSample >= 0)
        std::printf("  silence before the greeting in what the caller recorded: %.0f ms\n",
                    firstSample / 8.0);
    std::printf("  caller heard %.1f s in all; greeting still playing at the end: %s\n",
                heardSamples / 8000.0, greetingStillPlaying ? "yes" : "no");
    std::printf("  kalvo resident memory while the greeting plays: %ld kB\n", residentKb);
    std::printf("  second line opened by kalvo (\"LineOpen[LineIndex:1\"): %s\n",
                log.find("LineOpen[LineIndex:1") != std::string::npos ? "yes" : "no");
    std::printf("  second line's rings logged during the call (\"Ring[LineIndex:1]\"): %zu of %d offered\n",
                rings, seconds + 1);
}

} // namespace

int main(int argc, char** argv)
{
    // program_bench [CALL_SECONDS (20)] [GREETING_SECONDS (7200)]
    int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
    int greetingSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7200;
    PrivateHome home;
    {
        // A first start writes the program's own defaults, as on a new installation.
        std::ofstream(home.conf()) << sipLine(freePort());
        Program first(home);
        if (!first.started)
            fail("kalvo did not open its line on the first start");
    }
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
    cpuPerCallMinute(home, seconds);
    longGreeting(home, seconds, greetingSeconds);
    return 0;
}
