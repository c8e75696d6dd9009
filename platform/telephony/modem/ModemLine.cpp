// Modem line device: thread, command queue and call mirror.
#include "ModemLine.h"

#include "ModemSession.h"
#include "ModemWaveDevice.h"
#include "WaveDeviceTable.h"

#include <algorithm>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kalvo::modem {

using namespace kalvo::telephony;
using kalvo::wave::WaveDeviceTable;
using kalvo::wave::WaveDirection;

ModemLine::ModemLine(const LineConfig& config, ModemSettings settings, LineEventSink& events)
    : m_events(events), m_settings(std::move(settings)), m_name(config.name), m_deviceId(config.deviceId)
{
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_waveOut =
        std::make_shared<ModemWaveDevice>(m_name + " (wave out)", WaveDirection::Out, [this] { wake(); });
    m_waveOut->setAdmission([this] { return mayStartOutput(); });
    m_waveIn =
        std::make_shared<ModemWaveDevice>(m_name + " (wave in)", WaveDirection::In, [this] { wake(); });
    m_waveOutId = WaveDeviceTable::instance().addLineDevice(m_waveOut);
    m_waveInId = WaveDeviceTable::instance().addLineDevice(m_waveIn);
}

ModemLine::~ModemLine()
{
    close();
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::Out, m_waveOutId);
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::In, m_waveInId);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

LineCaps ModemLine::caps() const
{
    LineCaps caps;
    caps.name = m_name;
    caps.providerInfo = "Kalvo voice modem line";
    caps.switchInfo = m_settings.device;
    caps.permanentLineId = m_deviceId;
    caps.lineFeatures = 0;
    return caps;
}

LineWaveIds ModemLine::waveDevices() const
{
    return LineWaveIds{m_waveInId, m_waveOutId};
}

void ModemLine::open()
{
    // The port's thread sets the modem up and reports the outcome; a slow modem keeps only that
    // thread waiting.
    std::lock_guard lock(m_mutex);
    if (m_runState != RunState::Stopped)
        return;
    m_runState = RunState::Starting;
    m_thread = std::thread([this] { ModemSession(*this).run(); });
}

bool ModemLine::opening() const
{
    std::lock_guard lock(m_mutex);
    return m_runState == RunState::Starting;
}

bool ModemLine::stopping() const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_commands.begin(), m_commands.end(),
                       [](const Command& c) { return c.type == Command::Type::Stop; });
}

void ModemLine::close()
{
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        if (m_thread.joinable())
            m_commands.push_back(Command{Command::Type::Stop, 0, 0});
        thread = std::move(m_thread);
    }
    wake();
    if (thread.joinable())
        thread.join();
    std::lock_guard lock(m_mutex);
    m_runState = RunState::Stopped;
    m_reason.clear();
    m_duplex = Duplex::Unknown;
    m_commands.clear();
    m_call = 0;
    m_phase = Phase::None;
}

void ModemLine::wake()
{
    const uint64_t one = 1;
    if (m_wakeFd >= 0)
        (void)!::write(m_wakeFd, &one, sizeof one);
}

void ModemLine::drainWake()
{
    uint64_t count = 0;
    (void)!::read(m_wakeFd, &count, sizeof count);
}

bool ModemLine::takeCommand(Command& out)
{
    std::lock_guard lock(m_mutex);
    if (m_commands.empty())
        return false;
    out = m_commands.front();
    m_commands.pop_front();
    return true;
}

LONG ModemLine::post(Command command)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable())
            return LINEERR_OPERATIONFAILED;
        m_commands.push_back(command);
    }
    wake();
    return 0;
}

void ModemLine::setPhase(CallId call, Phase phase)
{
    std::lock_guard lock(m_mutex);
    m_call = phase == Phase::None ? 0 : call;
    // The offer is stored twice (before and after the layer gives its id): an answer between stays.
    if (phase != Phase::Offering || m_phase != Phase::Offering)
        m_answerPosted = false;
    m_phase = phase;
}

void ModemLine::setService(bool inService, const std::string& reason)
{
    std::lock_guard lock(m_mutex);
    m_runState = inService ? RunState::InService : RunState::OutOfService;
    m_reason = inService ? std::string() : reason;
}

bool ModemLine::inService(std::string& reason) const
{
    std::lock_guard lock(m_mutex);
    if (m_runState != RunState::OutOfService)
        return true;
    reason = m_reason;
    return false;
}

std::string ModemLine::reachAddress() const
{
    std::lock_guard lock(m_mutex);
    return m_runState == RunState::InService ? m_settings.device + " ready" : std::string();
}

void ModemLine::setDuplex(Duplex duplex)
{
    std::lock_guard lock(m_mutex);
    m_duplex = duplex;
}

bool ModemLine::canTalk(std::string& reason) const
{
    std::lock_guard lock(m_mutex);
    if (m_duplex != Duplex::No)
        return true;
    reason = kNoDuplexReason;
    return false;
}

bool ModemLine::mayStartOutput() const
{
    std::string reason;
    // A half-duplex modem that played would leave the recording with nothing: the program is told
    // at once instead of recording silence.
    return canTalk(reason) || !m_waveIn->active();
}

// Neither waits for the port's thread. While it is still offering the call it may not have stored
// the call's id yet (m_call 0): the command then carries the id the layer gave, and the thread checks
// it when it takes the command, after it has stored it.
LONG ModemLine::answer(CallId call, RequestId request)
{
    {
        std::lock_guard lock(m_mutex);
        if (call == 0 || m_phase == Phase::None || (m_call != 0 && call != m_call))
            return LINEERR_INVALCALLHANDLE;
        if (m_phase != Phase::Offering)
            return LINEERR_INVALCALLSTATE;
        m_answerPosted = true;
    }
    return post(Command{Command::Type::Answer, call, request});
}

LONG ModemLine::drop(CallId call, RequestId request)
{
    {
        std::lock_guard lock(m_mutex);
        if (call == 0 || m_phase == Phase::None || (m_call != 0 && call != m_call))
            return LINEERR_INVALCALLHANDLE;
        // A modem cannot refuse a ringing call: the application answers and hangs up, or lets it
        // ring. The line's own drops (request 0, on close) still end the call on this side.
        if (request != 0 && m_phase == Phase::Offering && !m_answerPosted)
            return LINEERR_OPERATIONUNAVAIL;
    }
    return post(Command{Command::Type::Drop, call, request});
}

LONG ModemLine::makeCall(CallId, const std::string&, RequestId)
{
    return LINEERR_OPERATIONUNAVAIL;
}

LONG ModemLine::generateDigits(CallId, const std::string&, DWORD, DWORD)
{
    return LINEERR_OPERATIONUNAVAIL;
}

} // namespace kalvo::modem
