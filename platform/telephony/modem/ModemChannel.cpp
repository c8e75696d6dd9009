// The AT conversation: commands, result codes, unsolicited lines and audio.
#include "ModemChannel.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace kalvo::modem {

using namespace std::chrono;

namespace {

// Lines a modem sends on its own, also while a command waits for its result.
bool isUnsolicited(const std::string& line)
{
    static const char* const prefixes[] = {"RING", "DATE", "TIME",     "NMBR",
                                           "NAME", "MESG", "DDN_NMBR", "CIDM"};
    for (const char* prefix : prefixes)
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

} // namespace

bool isFinalResult(const std::string& line)
{
    static const char* const finals[] = {"OK",   "ERROR",     "VCON",       "NO CARRIER",
                                         "BUSY", "NO ANSWER", "NO DIALTONE"};
    for (const char* final : finals)
        if (line == final)
            return true;
    return line.rfind("CONNECT", 0) == 0 || line.rfind("+CME ERROR", 0) == 0;
}

ModemChannel::ModemChannel(SerialPort& port, int wakeFd, Listener listener)
    : m_port(port), m_wakeFd(wakeFd), m_listener(std::move(listener))
{
}

ModemChannel::Reply ModemChannel::command(const std::string& text, milliseconds timeout)
{
    m_pendingCommand = text;
    if (!writeRaw(text + "\r")) {
        m_pendingCommand.clear();
        return Reply{Outcome::Gone, {}, {}};
    }
    Reply reply = awaitFinal(timeout);
    m_pendingCommand.clear();
    return reply;
}

ModemChannel::Reply ModemChannel::awaitFinal(milliseconds timeout)
{
    Reply reply;
    m_pending = &reply;
    const auto deadline = steady_clock::now() + timeout;
    while (reply.final.empty()) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0)
            break;
        if (!pump(left)) {
            reply.outcome = Outcome::Gone;
            break;
        }
        if (givingUp())
            break;
    }
    m_pending = nullptr;
    if (reply.outcome == Outcome::Gone || reply.final.empty())
        return reply;
    if (reply.final == "OK")
        reply.outcome = Outcome::Ok;
    else if (reply.final.rfind("CONNECT", 0) == 0 || reply.final == "VCON")
        reply.outcome = Outcome::Connect;
    else
        reply.outcome = Outcome::Error;
    return reply;
}

bool ModemChannel::flush()
{
    while (!m_unsent.empty()) {
        const ssize_t n = ::write(m_port.fd(), m_unsent.data(), m_unsent.size());
        if (n > 0) {
            m_unsent.erase(0, size_t(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        m_gone = true;
        return false;
    }
    return true;
}

bool ModemChannel::writeRaw(const std::string& bytes)
{
    if (m_gone || !m_port.isOpen())
        return false;
    m_unsent += bytes;
    return flush();
}

bool ModemChannel::pump(milliseconds timeout)
{
    if (m_gone || !m_port.isOpen())
        return false;
    pollfd fds[2] = {{m_port.fd(), short(POLLIN | (m_unsent.empty() ? 0 : POLLOUT)), 0},
                     {m_wakeFd, POLLIN, 0}};
    const int ready = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, int(timeout.count()));
    if (ready < 0)
        return errno == EINTR;
    if (fds[1].revents & POLLIN && m_listener.wake)
        m_listener.wake();
    if (fds[0].revents & POLLOUT && !flush())
        return false;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        uint8_t buffer[4096];
        const ssize_t n = ::read(m_port.fd(), buffer, sizeof buffer);
        if (n > 0) {
            m_decoder.feed(buffer, size_t(n), *this);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // A USB modem that is unplugged, or a port whose other end closed.
            m_gone = true;
            return false;
        }
    }
    return true;
}

void ModemChannel::data(const uint8_t* bytes, size_t count)
{
    if (m_receiving) {
        if (m_listener.audio)
            m_listener.audio(bytes, count);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const char c = char(bytes[i]);
        if (c == '\r' || c == '\n') {
            if (!m_lineBuffer.empty())
                takeLine(m_lineBuffer);
            m_lineBuffer.clear();
        } else if (m_lineBuffer.size() < 512) {
            m_lineBuffer.push_back(c);
        }
    }
}

void ModemChannel::event(char code)
{
    if (code == char(kEtx)) {
        m_receiving = false;
        m_lineBuffer.clear();
    }
    if (m_listener.event)
        m_listener.event(code);
}

void ModemChannel::takeLine(const std::string& line)
{
    if (m_pending && line == m_pendingCommand)
        return; // the modem's echo of what we sent
    if (isUnsolicited(line)) {
        if (m_listener.line)
            m_listener.line(line);
        return;
    }
    if (!m_pending)
        return; // noise, or an answer nobody waits for any more
    if (isFinalResult(line))
        m_pending->final = line;
    else
        m_pending->lines.push_back(line);
}

} // namespace kalvo::modem
