// The modem simulator: pseudo-terminal, command set and calls.
#include "ModemSimulator.h"

#include "VoiceFormat.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kalvo::modem::test {

using namespace std::chrono;
using Clock = steady_clock;

namespace {

std::string hexOf(const std::vector<uint8_t>& bytes)
{
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

void addChecksum(std::vector<uint8_t>& message)
{
    uint8_t sum = 0;
    for (uint8_t b : message)
        sum = uint8_t(sum + b);
    message.push_back(uint8_t(-sum));
}

} // namespace

std::vector<std::string> formattedCallerId(const std::string& number, const std::string& name)
{
    return {"DATE = 0321", "TIME = 1405", "NMBR = " + number, "NAME = " + name};
}

std::vector<std::string> messageCallerId(const std::string& number, const std::string& name, bool single)
{
    std::vector<uint8_t> message;
    const std::string when = "03211405";
    if (single) {
        message = {0x04, uint8_t(when.size() + number.size())};
        message.insert(message.end(), when.begin(), when.end());
        message.insert(message.end(), number.begin(), number.end());
    } else {
        std::vector<uint8_t> body = {0x01, 8};
        body.insert(body.end(), when.begin(), when.end());
        const bool absent = number == "P" || number == "O";
        body.push_back(absent ? 0x04 : 0x02);
        body.push_back(uint8_t(number.size()));
        body.insert(body.end(), number.begin(), number.end());
        if (!name.empty()) {
            body.push_back(0x07);
            body.push_back(uint8_t(name.size()));
            body.insert(body.end(), name.begin(), name.end());
        }
        message = {0x80, uint8_t(body.size())};
        message.insert(message.end(), body.begin(), body.end());
    }
    addChecksum(message);
    return {"MESG = " + hexOf(message)};
}

ModemSimulator::ModemSimulator(ModemModel model) : m_model(std::move(model))
{
    char dir[] = "/tmp/kalvo-modem-sim-XXXXXX";
    if (!::mkdtemp(dir))
        throw std::runtime_error("modem simulator: no temporary folder");
    m_dir = dir;
    m_link = m_dir + "/usb-Kalvo_Test_Modem-if00";
    openTerminal();
    m_thread = std::thread([this] { run(); });
}

ModemSimulator::~ModemSimulator()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_thread.join();
    closeTerminal();
    QDir(QString::fromStdString(m_dir)).removeRecursively();
}

void ModemSimulator::openTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("modem simulator: no pseudo-terminal");
    const std::string slave = ::ptsname(m_master);
    // The simulator keeps the terminal's other side open, so the line may close and reopen it, and
    // makes it raw before the line's first look (a fresh terminal echoes).
    m_slave = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::unlink(m_link.c_str());
    if (::symlink(slave.c_str(), m_link.c_str()) != 0)
        throw std::runtime_error("modem simulator: cannot link " + m_link);
}

void ModemSimulator::closeTerminal()
{
    ::unlink(m_link.c_str());
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

void ModemSimulator::unplug()
{
    std::lock_guard lock(m_mutex);
    closeTerminal();
    m_mode = Mode::Command;
    m_offHook = false;
    m_ringing = false;
}

void ModemSimulator::replug()
{
    std::lock_guard lock(m_mutex);
    m_class = 0;
    m_echo = true;
    m_commandBuffer.clear();
    openTerminal();
}

void ModemSimulator::call(Caller caller)
{
    std::lock_guard lock(m_mutex);
    m_caller = std::move(caller);
    m_ringing = true;
    m_ringsSent = 0;
    m_nextRing = Clock::now();
    m_eventsSent = 0;
    m_endSent = false;
}

std::vector<std::string> ModemSimulator::commands() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

bool ModemSimulator::offHook() const
{
    std::lock_guard lock(m_mutex);
    return m_offHook;
}

bool ModemSimulator::duplex() const
{
    std::lock_guard lock(m_mutex);
    return m_mode == Mode::Duplex;
}

std::vector<int16_t> ModemSimulator::played() const
{
    std::lock_guard lock(m_mutex);
    return m_played;
}

ModemSimulator::BufferStats ModemSimulator::bufferStats() const
{
    std::lock_guard lock(m_mutex);
    BufferStats stats = m_stats;
    if (stats.minFill == SIZE_MAX)
        stats.minFill = 0;
    return stats;
}

steady_clock::time_point ModemSimulator::offHookAt() const
{
    std::lock_guard lock(m_mutex);
    return m_offHookAt;
}

steady_clock::time_point ModemSimulator::firstRingAt() const
{
    std::lock_guard lock(m_mutex);
    return m_firstRing;
}

bool ModemSimulator::waitFor(const std::function<bool()>& condition, milliseconds timeout)
{
    const auto until = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= until)
            return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

void ModemSimulator::send(const std::string& bytes)
{
    size_t at = 0;
    while (m_master >= 0 && at < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + at, bytes.size() - at);
        if (n > 0) {
            at += size_t(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd out{m_master, POLLOUT, 0};
            ::poll(&out, 1, 50);
        } else {
            return;
        }
    }
}

void ModemSimulator::run()
{
    for (;;) {
        int fd;
        size_t room;
        {
            std::lock_guard lock(m_mutex);
            if (m_quit)
                return;
            fd = m_master;
            room = roomBytes();
        }
        // A full playback buffer holds the sender back, as the modem's clear-to-send does.
        pollfd in{fd, short(room ? POLLIN : 0), 0};
        const int ready = fd >= 0 ? ::poll(&in, 1, 5) : (std::this_thread::sleep_for(milliseconds(5)), 0);
        std::lock_guard lock(m_mutex);
        if (m_master != fd)
            continue; // unplugged or replugged meanwhile
        if (ready > 0 && (in.revents & POLLIN)) {
            uint8_t buffer[4096];
            const ssize_t n = ::read(m_master, buffer, std::min(sizeof buffer, room));
            if (n > 0)
                input(buffer, size_t(n));
        }
        tick();
    }
}

void ModemSimulator::input(const uint8_t* bytes, size_t count)
{
    m_lastRx = Clock::now();
    if (!m_model.answersAt)
        return;
    if (m_model.garbage) {
        std::string noise;
        for (size_t i = 0; i < count * 3 + 8; ++i)
            noise.push_back(char(0x80 | (std::rand() & 0x7F)));
        send(noise);
        return;
    }
    if (m_mode == Mode::Transmit || m_mode == Mode::Duplex) {
        transmitData(bytes, count);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const char c = char(bytes[i]);
        if (m_mode == Mode::Receive) {
            // Any <DLE> code from the computer ends the stream; <DLE>! is the usual one.
            if (m_pendingDle) {
                m_pendingDle = false;
                m_mode = Mode::Command;
                send(std::string{char(0x10), char(0x03)} + "\r\nOK\r\n");
            } else if (c == char(0x10)) {
                m_pendingDle = true;
            }
            continue;
        }
        if (m_echo)
            send(std::string(1, c));
        if (c == '\r') {
            const std::string line = m_commandBuffer;
            m_commandBuffer.clear();
            if (!line.empty())
                commandLine(line);
        } else if (c != '\n' && m_commandBuffer.size() < 256) {
            m_commandBuffer.push_back(c);
        }
    }
}

} // namespace kalvo::modem::test
