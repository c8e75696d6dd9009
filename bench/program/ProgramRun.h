// What the whole-program benchmarks share: "kalvo -st" in a private home, its settings written
// before it starts, a SIP line on loopback, waiting and the figures' formatting.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace kalvo::bench {

using BenchClock = std::chrono::steady_clock;

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = std::chrono::milliseconds(20))
{
    const auto end = BenchClock::now() + timeout;
    while (!pred()) {
        if (BenchClock::now() > end)
            return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}

// A private home for the program: the same variables the test helpers set.
class PrivateHome
{
public:
    PrivateHome();
    ~PrivateHome();
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;
    std::string folder() const { return m_dir + "/home"; }
    std::string conf() const { return m_dir + "/config/kalvo/telephony.conf"; }
    // The system log from byte `from` on (every start of the program appends to the same day's file).
    std::string sysLog(size_t from = 0) const;

private:
    std::string m_dir;
};

// Writes settings the program reads when it starts.
void setSettings(const std::vector<std::pair<const char*, std::string>>& values);

// "kalvo -st" until destroyed.
class Program
{
public:
    explicit Program(const PrivateHome& home);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    // What this start of the program logged.
    std::string log() const { return m_home.sysLog(logFrom); }
    // How often this start logged text.
    size_t count(const std::string& text) const;
    size_t logFrom = 0;
    pid_t pid = -1;
    bool started = false;

private:
    const PrivateHome& m_home;
};

// A first start of the program on a SIP line on a free port: it writes its own defaults, as on a
// new installation. @return false when the line did not open.
bool startFirstTime(const PrivateHome& home);

// telephony.conf for one SIP line on 127.0.0.1:port; its RTP comes from ports 40000-49998.
std::string sipLine(uint16_t port);
constexpr uint16_t kLineRtpMin = 40000, kLineRtpMax = 49998;

double ms(BenchClock::duration d);
// "min / median / max" of a few runs.
std::string spread(std::vector<double> values, const char* unit, int decimals = 0);

} // namespace kalvo::bench
