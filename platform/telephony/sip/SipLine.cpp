// SIP line device: thread, command queue and call mirror.
#include "SipLine.h"

#include "Re.h"
#include "SipEngine.h"
#include "SipWaveDevice.h"
#include "WaveDeviceTable.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pthread.h>

namespace kalvo::sip {

using namespace kalvo::telephony;
using kalvo::wave::WaveDeviceTable;
using kalvo::wave::WaveDirection;

SipLine::SipLine(const LineConfig& config, SipSettings settings, LineEventSink& events)
    : m_events(events), m_settings(std::move(settings)), m_name(config.name), m_deviceId(config.deviceId)
{
    m_waveOut = std::make_shared<SipWaveDevice>(m_name + " (wave out)", WaveDirection::Out);
    m_waveIn = std::make_shared<SipWaveDevice>(m_name + " (wave in)", WaveDirection::In);
    m_waveOutId = WaveDeviceTable::instance().addLineDevice(m_waveOut);
    m_waveInId = WaveDeviceTable::instance().addLineDevice(m_waveIn);
    const bool hasServer = !m_settings.registrar.empty() || !m_settings.outboundProxy.empty();
    std::vector<std::string> notices = m_settings.warnings;
    if (m_settings.transport == SipSettings::Transport::Tls && !m_settings.tlsVerify && hasServer)
        notices.push_back("the registrar's TLS certificate is not checked (tls_verify = no): anyone in "
                          "between can read and change the calls");
    for (const std::string& notice : notices)
        m_notice += (m_notice.empty() ? "" : "; ") + notice;
}

SipLine::~SipLine()
{
    close();
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::Out, m_waveOutId);
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::In, m_waveInId);
}

LineCaps SipLine::caps() const
{
    LineCaps caps;
    caps.name = m_name;
    caps.providerInfo = "Kalvo SIP line";
    caps.switchInfo = "sip:" + m_settings.listenAddress();
    caps.permanentLineId = m_deviceId;
    return caps;
}

LineWaveIds SipLine::waveDevices() const
{
    return LineWaveIds{m_waveInId, m_waveOutId};
}

void SipLine::open()
{
    {
        std::unique_lock lock(m_mutex);
        if (m_runState == RunState::Running || m_runState == RunState::Starting ||
            m_runState == RunState::Waiting)
            return;
        if (m_thread.joinable()) {
            lock.unlock();
            m_thread.join(); // a previous start that failed
            lock.lock();
        }
        m_runState = RunState::Starting;
        m_thread = std::thread([this] { run(); });
        m_started.wait(lock, [this] { return m_runState != RunState::Starting; });
        if (m_runState == RunState::Running)
            return;
    }
    m_events.lineState(LINEDEVSTATE_OUTOFSERVICE);
}

void SipLine::close()
{
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue) {
            m_commands.push_back(Command(Command::Type::Stop, 0));
            mqueue_push(m_queue, 0, nullptr);
        }
        thread = std::move(m_thread);
    }
    if (thread.joinable())
        thread.join();
}

bool SipLine::listening() const
{
    std::lock_guard lock(m_mutex);
    return m_runState == RunState::Running;
}

std::string SipLine::startError() const
{
    std::lock_guard lock(m_mutex);
    return m_startError;
}

bool SipLine::inService(std::string& reason) const
{
    std::lock_guard lock(m_mutex);
    if (m_runState == RunState::Waiting || m_runState == RunState::Failed) {
        reason = m_startError;
        return false;
    }
    if (m_runState == RunState::Running && !m_accountProblem.empty()) {
        reason = m_accountProblem;
        return false;
    }
    reason = m_notice;
    return true;
}

namespace {
// The first IPv4 address of an interface that is up and not the loopback; empty without one.
std::string firstNetworkAddress()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    std::string found;
    for (const ifaddrs* i = list; i && found.empty(); i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP) ||
            (i->ifa_flags & IFF_LOOPBACK))
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
            found = text;
    }
    freeifaddrs(list);
    return found;
}
} // namespace

std::string SipLine::reachAddress() const
{
    {
        std::lock_guard lock(m_mutex);
        if (m_runState != RunState::Running)
            return {};
        if (!m_settings.registrar.empty() && !m_settings.user.empty() && m_accountProblem.empty())
            return "sip:" + m_settings.user + "@" + m_settings.registrarHost();
    }
    SipSettings shown = m_settings;
    if (shown.listenHost == "0.0.0.0" || shown.listenHost == "::") {
        const std::string host = firstNetworkAddress();
        shown.listenHost = host.empty() ? "127.0.0.1" : host;
    }
    return "sip:kalvo@" + shown.listenAddress();
}

void SipLine::setAccountProblem(const std::string& problem)
{
    std::lock_guard lock(m_mutex);
    m_accountProblem = problem;
}

bool SipLine::startEngine(bool first)
{
    m_ownedEngine.reset(); // a stack left from a failed try frees its sockets first
    m_ownedEngine = std::make_unique<SipEngine>(*this);
    std::string why;
    int err = m_ownedEngine->start(why);
    if (why.empty() && err)
        why = std::strerror(err);
    bool changed = false;
    {
        std::lock_guard lock(m_mutex);
        changed = why != m_startError;
        m_startError = why;
        m_runState = err ? RunState::Waiting : RunState::Running;
        m_engine = err ? nullptr : m_ownedEngine.get();
    }
    if (err) {
        m_ownedEngine.reset();
        // Said once per reason, not at every retry.
        if (changed)
            std::fprintf(stderr, "kalvo sip: line \"%s\" cannot start: %s; trying again every %u s\n",
                         m_name.c_str(), why.c_str(), kStartRetryMs / 1000);
        tmr_start(m_retryTimer, kStartRetryMs, onRetryStart, this);
        return false;
    }
    if (!first) {
        std::fprintf(stderr, "kalvo sip: line \"%s\" listens on %s now\n", m_name.c_str(),
                     m_settings.listenAddress().c_str());
        m_events.lineState(LINEDEVSTATE_INSERVICE);
    }
    return true;
}

void SipLine::onRetryStart(void* arg)
{
    static_cast<SipLine*>(arg)->startEngine(false);
}

void SipLine::run()
{
    // Named so that tools and measurements can find the line's thread.
    pthread_setname_np(pthread_self(), "kalvo-sip");
    // Each line has its own libre context, so several lines never share an event loop.
    re_thread_init();
    libre_init();
    struct mqueue* queue = nullptr;
    struct tmr retryTimer;
    tmr_init(&retryTimer);
    m_retryTimer = &retryTimer;
    int err = mqueue_alloc(&queue, onWake, this);
    if (err) {
        std::lock_guard lock(m_mutex);
        m_runState = RunState::Failed;
        m_startError = std::strerror(err);
    } else {
        {
            std::lock_guard lock(m_mutex);
            m_queue = queue;
        }
        startEngine(true);
    }
    m_started.notify_all();
    if (!err)
        re_main(nullptr);
    tmr_cancel(&retryTimer);
    {
        std::lock_guard lock(m_mutex);
        m_queue = nullptr;
        m_engine = nullptr;
        m_commands.clear();
        if (m_runState != RunState::Failed)
            m_runState = RunState::Stopped;
        m_startError.clear();
        m_accountProblem.clear();
    }
    m_ownedEngine.reset();
    m_retryTimer = nullptr;
    mem_deref(queue);
    libre_close();
    re_thread_close();
}

void SipLine::onWake(int, void*, void* arg)
{
    static_cast<SipLine*>(arg)->takeCommands();
}

void SipLine::takeCommands()
{
    for (;;) {
        Command command;
        SipEngine* engine = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_commands.empty())
                return;
            command = std::move(m_commands.front());
            m_commands.pop_front();
            engine = m_engine;
        }
        if (command.type == Command::Type::Stop) {
            if (engine)
                engine->stop();
            re_cancel();
            return;
        }
        if (engine)
            engine->execute(command);
    }
}

LONG SipLine::post(Command command)
{
    std::lock_guard lock(m_mutex);
    if (!m_queue)
        return LINEERR_OPERATIONFAILED;
    m_commands.push_back(std::move(command));
    if (mqueue_push(m_queue, 0, nullptr) != 0) {
        m_commands.pop_back();
        return LINEERR_OPERATIONFAILED;
    }
    return 0;
}

void SipLine::setPhase(CallId call, Phase phase)
{
    std::lock_guard lock(m_mutex);
    m_call = phase == Phase::None ? 0 : call;
    m_phase = phase;
    m_phaseChanged.notify_all();
}

void SipLine::awaitOfferId(std::unique_lock<std::mutex>& lock) const
{
    // An application may act on OFFERING before the SIP thread has stored the call's id.
    m_phaseChanged.wait_for(lock, std::chrono::seconds(1),
                            [this] { return m_call != 0 || m_phase == Phase::None; });
}

bool SipLine::busy() const
{
    std::lock_guard lock(m_mutex);
    return m_phase != Phase::None;
}

LONG SipLine::checkCall(CallId call, bool needConnected) const
{
    std::unique_lock lock(m_mutex);
    awaitOfferId(lock);
    if (call == 0 || call != m_call)
        return LINEERR_INVALCALLHANDLE;
    if (needConnected && m_phase != Phase::Connected)
        return LINEERR_INVALCALLSTATE;
    return 0;
}

LONG SipLine::offeredCommand(Command::Type type, CallId call, RequestId request)
{
    {
        std::unique_lock lock(m_mutex);
        awaitOfferId(lock);
        if (call == 0 || call != m_call)
            return LINEERR_INVALCALLHANDLE;
        if (m_phase != Phase::Offering)
            return LINEERR_INVALCALLSTATE;
    }
    return post(Command(type, call, request));
}

LONG SipLine::accept(CallId call, RequestId request)
{
    return offeredCommand(Command::Type::Accept, call, request);
}

LONG SipLine::answer(CallId call, RequestId request)
{
    return offeredCommand(Command::Type::Answer, call, request);
}

LONG SipLine::drop(CallId call, RequestId request)
{
    if (LONG r = checkCall(call, false))
        return r;
    return post(Command(Command::Type::Drop, call, request));
}

LONG SipLine::makeCall(CallId call, const std::string& address, RequestId request)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_queue || m_runState != RunState::Running)
            return LINEERR_OPERATIONFAILED;
        if (m_call != 0)
            return LINEERR_CALLUNAVAIL;
        if (address.empty())
            return LINEERR_INVALADDRESS;
        // Reserved here so a second makeCall or an incoming INVITE sees the line busy at once.
        m_call = call;
        m_phase = Phase::Outgoing;
    }
    LONG r = post(Command(Command::Type::MakeCall, call, request, address));
    if (r)
        setPhase(call, Phase::None);
    return r;
}

LONG SipLine::generateDigits(CallId call, const std::string& digits, DWORD mode, DWORD durationMs)
{
    if (mode != LINEDIGITMODE_DTMF)
        return LINEERR_INVALDIGITMODE;
    if (LONG r = checkCall(call, true))
        return r;
    return post(Command(Command::Type::Digits, call, 0, digits, mode, durationMs));
}

LONG SipLine::monitorDigits(CallId call, DWORD modes)
{
    if (modes & ~(LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND))
        return LINEERR_INVALDIGITMODE;
    if (LONG r = checkCall(call, false))
        return r;
    return post(Command(Command::Type::Monitor, call, 0, std::string(), modes));
}

} // namespace kalvo::sip
