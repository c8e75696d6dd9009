// The modem line's thread: port lifetime, set-up, retries and the main loop.
#include "ModemSession.h"

#include <cstdio>
#include <poll.h>
#include <pthread.h>

namespace kalvo::modem {

using namespace kalvo::telephony;
using namespace std::chrono;

ModemSession::ModemSession(ModemLine& line) : m_line(line), m_events(line.events()) {}

void ModemSession::run()
{
    // Named so that tools and measurements can find the line's thread.
    pthread_setname_np(pthread_self(), "kalvo-modem");
    bool first = true;
    std::string lastWhy;
    while (!m_stop) {
        std::string why;
        if (connect(why)) {
            m_line.setDuplex(m_profile.fullDuplex ? ModemLine::Duplex::Yes : ModemLine::Duplex::No);
            m_line.setService(true, {});
            if (!first)
                std::fprintf(stderr, "kalvo modem: line \"%s\" is ready on %s again\n", m_line.name().c_str(),
                             m_line.settings().device.c_str());
            // Also the first time: open() did not wait for the set-up.
            m_events.lineState(LINEDEVSTATE_INSERVICE);
            lastWhy.clear();
            serve();
            if (m_stop)
                break;
            m_line.setDuplex(ModemLine::Duplex::Unknown); // the modem that returns may be another
            why = m_line.settings().device + " was unplugged or stopped answering";
            m_line.setService(false, why);
            m_events.lineState(LINEDEVSTATE_OUTOFSERVICE);
        } else {
            if (m_line.stopping())
                break; // closed while being set up: nothing to report
            m_line.setService(false, why);
            // Told when open()'s set-up fails; a retry that fails again is no news.
            if (first)
                m_events.lineState(LINEDEVSTATE_OUTOFSERVICE);
        }
        // Said once per reason, not at every retry.
        if (why != lastWhy)
            std::fprintf(stderr, "kalvo modem: line \"%s\": %s; trying again every %u s\n",
                         m_line.name().c_str(), why.c_str(), ModemLine::kRetryMs / 1000);
        lastWhy = why;
        first = false;
        waitForRetry();
    }
    m_channel.reset();
    m_port.close();
}

bool ModemSession::connect(std::string& why)
{
    m_channel.reset();
    const ModemSettings& settings = m_line.settings();
    if (!m_port.open(settings.device, settings.speed, why))
        return false;
    ModemChannel::Listener listener;
    listener.line = [this](const std::string& text) { onLine(text); };
    listener.event = [this](char code) { onEvent(code); };
    listener.audio = [this](const uint8_t* bytes, size_t count) { onAudio(bytes, count); };
    listener.wake = [this] { m_line.drainWake(); };
    listener.giveUp = [this] { return m_line.stopping(); };
    m_channel.emplace(m_port, m_line.wakeFd(), std::move(listener));
    if (!setUpModem(*m_channel, m_port, settings, m_profile, why)) {
        m_channel.reset();
        m_port.close();
        return false;
    }
    return true;
}

void ModemSession::waitForRetry()
{
    const auto until = Clock::now() + milliseconds(ModemLine::kRetryMs);
    while (!m_stop && Clock::now() < until) {
        pollfd wake{m_line.wakeFd(), POLLIN, 0};
        const auto left = duration_cast<milliseconds>(until - Clock::now());
        if (::poll(&wake, 1, int(std::max<int64_t>(left.count(), 0))) > 0)
            m_line.drainWake();
        handleCommands();
    }
}

bool ModemSession::handleCommands()
{
    ModemLine::Command command;
    while (m_line.takeCommand(command)) {
        switch (command.type) {
        case ModemLine::Command::Type::Stop:
            m_stop = true;
            break;
        case ModemLine::Command::Type::Answer:
            answer(command);
            break;
        case ModemLine::Command::Type::Drop:
            drop(command);
            break;
        }
    }
    return !m_stop;
}

void ModemSession::serve()
{
    while (handleCommands()) {
        // Playback is paced in small steps; otherwise the loop only needs to notice timeouts.
        const milliseconds wait(m_stream == Stream::Transmit || m_stream == Stream::Duplex ? 10 : 100);
        if (!m_channel->pump(wait))
            break;
        tickCall();
        tickVoice();
        if (m_channel->gone())
            break;
    }
    if (m_stop) {
        if (m_phase == ModemLine::Phase::Connected)
            endCall(LINEDISCONNECTMODE_NORMAL, true);
        else if (m_phase == ModemLine::Phase::Offering)
            endCall(LINEDISCONNECTMODE_NORMAL, false);
        return;
    }
    // The port is gone: the call ends (the audio recorded so far stays with the program).
    if (m_phase != ModemLine::Phase::None)
        endCall(LINEDISCONNECTMODE_UNAVAIL, false);
    m_channel.reset();
    m_port.close();
}

} // namespace kalvo::modem
