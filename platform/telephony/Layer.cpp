// The telephony layer's state, configuration loading and notification delivery.
#include "Layer.h"

#include "ProviderRegistry.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace kalvo::telephony {

namespace {

DWORD tickCount()
{
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now() - start).count());
}

void report(const std::string& message)
{
    std::fprintf(stderr, "telephony: %s\n", message.c_str());
}

// Depth of callbacks running on this thread; a port must not be deleted under its own delivery.
thread_local int t_deliveryDepth = 0;

} // namespace

// Forwards one device's events to the layer with its device id and generation.
class Layer::DeviceSink : public LineEventSink
{
public:
    DeviceSink(Layer& layer, DWORD deviceId, unsigned generation)
        : m_layer(layer), m_deviceId(deviceId), m_generation(generation)
    {
    }
    CallId offerCall(const CallData& data) override
    {
        return m_layer.sinkOffer(m_generation, m_deviceId, data);
    }
    void callState(CallId call, DWORD state, DWORD mode) override
    {
        m_layer.sinkCallState(m_generation, call, state, mode);
    }
    void callInfo(CallId call, const CallData& data, DWORD changed) override
    {
        m_layer.sinkCallInfo(m_generation, call, data, changed);
    }
    void ring(DWORD ringCount, DWORD ringMode) override
    {
        m_layer.sinkLineState(m_generation, m_deviceId, LINEDEVSTATE_RINGING, ringMode, ringCount);
    }
    void lineState(DWORD state, DWORD param2, DWORD param3) override
    {
        m_layer.sinkLineState(m_generation, m_deviceId, state, param2, param3);
    }
    void digit(CallId call, char digit, DWORD mode) override
    {
        m_layer.sinkDigit(m_generation, call, digit, mode);
    }
    void digitsGenerated(CallId call, DWORD termination) override
    {
        m_layer.sinkGenerated(m_generation, call, termination);
    }
    void completeRequest(RequestId request, LONG result) override
    {
        m_layer.sinkReply(m_generation, request, result);
    }

private:
    Layer& m_layer;
    DWORD m_deviceId;
    unsigned m_generation;
};

Layer& Layer::instance()
{
    static Layer layer;
    return layer;
}

Layer::Layer() = default;

Layer::~Layer()
{
    // Providers first: their threads may still report until their devices are gone.
    std::vector<Device> devices;
    {
        std::lock_guard lock(m_mutex);
        devices.swap(m_devices);
        ++m_generation;
    }
    for (Device& d : devices)
        d.device.reset();
}

std::string Layer::path()
{
    if (const char* env = std::getenv("KALVO_TELEPHONY_CONF"); env && *env)
        return env;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".config";
    return base + "/kalvo/telephony.conf";
}

void Layer::ensureLoaded()
{
    std::lock_guard load(m_loadMutex);
    {
        std::lock_guard lock(m_mutex);
        if (m_loaded)
            return;
    }
    loadLocked();
}

bool Layer::reload()
{
    std::lock_guard load(m_loadMutex);
    std::vector<Device> old;
    {
        std::lock_guard lock(m_mutex);
        if (!m_apps.empty())
            return false;
        old.swap(m_devices);
        m_lines.clear();
        m_handles.clear();
        m_calls.clear();
        m_requests.clear();
        m_loaded = false;
        ++m_generation;
    }
    for (Device& d : old)
        d.device.reset();
    old.clear();
    loadLocked();
    return true;
}

// Called with m_loadMutex held and m_mutex free: providers may report while their lines start.
void Layer::loadLocked()
{
    std::string file = path();
    TelephonyConfig config = TelephonyConfig::load(file);
    std::vector<std::string> problems = config.problems();
    ProviderRegistry registry;
    addBuiltinProviders(registry);

    unsigned generation;
    {
        std::lock_guard lock(m_mutex);
        generation = m_generation;
    }
    std::vector<Device> devices;
    for (const LineConfig& line : config.lines()) {
        std::string label = "[Line" + std::to_string(line.deviceId) + "] \"" + line.name + "\"";
        if (line.provider.empty()) {
            problems.push_back(label + " has no provider; the line is left out");
            continue;
        }
        LineProvider* provider = registry.find(line.provider);
        if (!provider) {
            problems.push_back(label + ": provider '" + line.provider +
                               "' is not available in this build; the line is left out");
            continue;
        }
        std::vector<std::string> known = provider->knownKeys();
        for (const auto& [key, value] : line.keys) {
            if (std::find(known.begin(), known.end(), key) == known.end())
                problems.push_back(label + ": unknown key '" + key + "' for provider '" + line.provider +
                                   "'");
        }
        // Lines that are left out leave no gap: the available ones are numbered from 0.
        DWORD id = static_cast<DWORD>(devices.size());
        auto sink = std::make_unique<DeviceSink>(*this, id, generation);
        std::string error;
        std::unique_ptr<LineDevice> device = provider->createLine(line, *sink, error);
        if (!device) {
            problems.push_back(label + ": " + (error.empty() ? std::string("cannot be set up") : error) +
                               "; the line is left out");
            continue;
        }
        Device d;
        d.config = line;
        d.sink = std::move(sink);
        d.caps = device->caps();
        if (d.caps.name.empty())
            d.caps.name = line.name;
        d.device = std::move(device);
        devices.push_back(std::move(d));
    }
    for (const std::string& p : problems)
        report(p);

    std::lock_guard lock(m_mutex);
    m_path = file;
    m_config = std::move(config);
    m_problems = std::move(problems);
    m_devices = std::move(devices);
    m_loaded = true;
}

bool Layer::replaceDevice(DWORD deviceId)
{
    std::lock_guard load(m_loadMutex);
    const std::string file = path();
    TelephonyConfig config = TelephonyConfig::load(file);
    LineConfig section;
    unsigned generation;
    {
        std::lock_guard lock(m_mutex);
        Device* d = deviceLocked(deviceId);
        if (!d)
            return false;
        if (d->openCount > 0) {
            d->replacePending = true;
            return false;
        }
        const auto& lines = config.lines();
        auto it = std::find_if(lines.begin(), lines.end(),
                               [&](const LineConfig& l) { return l.deviceId == d->config.deviceId; });
        if (it == lines.end())
            return false;
        section = *it;
        generation = m_generation;
    }
    ProviderRegistry registry;
    addBuiltinProviders(registry);
    LineProvider* provider = registry.find(section.provider);
    if (!provider)
        return false;
    // The new device is made before the old one goes, so a section that does not work keeps the old.
    auto sink = std::make_unique<DeviceSink>(*this, deviceId, generation);
    std::string error;
    std::unique_ptr<LineDevice> device = provider->createLine(section, *sink, error);
    if (!device) {
        report("[Line" + std::to_string(section.deviceId) + "] \"" + section.name + "\": " + error +
               "; the line keeps its previous settings");
        return false;
    }
    Device old;
    {
        std::lock_guard lock(m_mutex);
        Device* d = deviceLocked(deviceId);
        if (!d || d->openCount > 0)
            return false;
        old.sink = std::move(d->sink);
        old.device = std::move(d->device);
        d->sink = std::move(sink);
        d->device = std::move(device);
        d->caps = d->device->caps();
        if (d->caps.name.empty())
            d->caps.name = section.name;
        d->config = section;
        d->replacePending = false;
        m_config = std::move(config);
    }
    old.device.reset();
    return true;
}

bool Layer::deviceConfig(DWORD deviceId, LineConfig& out)
{
    ensureLoaded();
    std::lock_guard lock(m_mutex);
    Device* d = deviceLocked(deviceId);
    if (!d)
        return false;
    out = d->config;
    return true;
}

LineDevice* Layer::device(DWORD deviceId)
{
    std::lock_guard lock(m_mutex);
    Device* d = deviceLocked(deviceId);
    return d ? d->device.get() : nullptr;
}

std::vector<std::string> Layer::problems()
{
    std::lock_guard lock(m_mutex);
    return m_problems;
}

TelephonyConfig Layer::config()
{
    ensureLoaded();
    std::lock_guard lock(m_mutex);
    return m_config;
}

Layer::Device* Layer::deviceLocked(DWORD deviceId)
{
    return deviceId < m_devices.size() ? &m_devices[deviceId] : nullptr;
}

DWORD Layer::newHandle()
{
    // Handles of every kind share one counter, so a stale handle never names another object.
    DWORD h = m_nextHandle++;
    if (m_nextHandle == 0)
        m_nextHandle = 0x00010000;
    return h;
}

RequestId Layer::newRequest(HLINEAPP app, DWORD_PTR instance)
{
    RequestId id = m_nextRequest;
    m_nextRequest = m_nextRequest == 0x7FFFFFFF ? 1 : m_nextRequest + 1;
    m_requests[id] = Request{app, instance};
    return id;
}

// Called with m_mutex held: the order of posting is the order of delivery.
void Layer::post(const Notification& n)
{
    auto it = m_apps.find(n.app);
    if (it == m_apps.end() || !it->second.port)
        return;
    QMetaObject::invokeMethod(
        it->second.port, [n] { Layer::instance().deliver(n); }, Qt::QueuedConnection);
}

void Layer::deliver(const Notification& n)
{
    LINECALLBACK callback = nullptr;
    {
        std::lock_guard lock(m_mutex);
        auto app = m_apps.find(n.app);
        if (app == m_apps.end())
            return;
        if (n.target == Notification::Target::Line) {
            auto line = m_lines.find(n.hDevice);
            if (line == m_lines.end() || line->second.app != n.app)
                return;
        } else if (n.target == Notification::Target::Call) {
            auto h = m_handles.find(n.hDevice);
            if (h == m_handles.end() || h->second.app != n.app)
                return;
        }
        callback = app->second.callback;
    }
    if (callback) {
        ++t_deliveryDepth;
        callback(n.hDevice, n.msg, n.instance, n.p1, n.p2, n.p3);
        --t_deliveryDepth;
    }
}

DWORD Layer::monitorUnionLocked(CallId call) const
{
    DWORD modes = 0;
    for (const auto& [h, handle] : m_handles)
        if (handle.call == call)
            modes |= handle.monitorModes;
    return modes;
}

// ---- Provider events ----

CallId Layer::sinkOffer(unsigned generation, DWORD deviceId, const CallData& data)
{
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return 0;
    CallId id = m_nextCall++;
    CallRecord& rec = m_calls[id];
    rec.deviceId = deviceId;
    rec.state = LINECALLSTATE_OFFERING;
    rec.data = data;
    rec.started = true;
    bool ownerGiven = false;
    for (const auto& [hLine, line] : m_lines) {
        if (line.deviceId != deviceId)
            continue;
        DWORD privilege = 0;
        if ((line.privileges & LINECALLPRIVILEGE_OWNER) && !ownerGiven) {
            privilege = LINECALLPRIVILEGE_OWNER;
            ownerGiven = true;
        } else if (line.privileges & (LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER)) {
            privilege = LINECALLPRIVILEGE_MONITOR;
        } else {
            continue;
        }
        HCALL h = newHandle();
        m_handles[h] = CallHandle{id, hLine, line.app, privilege};
        post({Notification::Target::Call, line.app, h, LINE_CALLSTATE, line.instance, LINECALLSTATE_OFFERING,
              0, privilege});
    }
    return id;
}

void Layer::sinkCallState(unsigned generation, CallId call, DWORD state, DWORD mode)
{
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return;
    auto rec = m_calls.find(call);
    if (rec == m_calls.end())
        return;
    rec->second.state = state;
    rec->second.stateMode = mode;
    if (state == LINECALLSTATE_DISCONNECTED)
        rec->second.disconnected = true;
    bool anyHandle = false;
    for (auto& [h, handle] : m_handles) {
        if (handle.call != call)
            continue;
        anyHandle = true;
        if (state == LINECALLSTATE_IDLE)
            handle.monitorModes = 0;
        auto line = m_lines.find(handle.line);
        DWORD_PTR instance = line == m_lines.end() ? 0 : line->second.instance;
        post({Notification::Target::Call, handle.app, h, LINE_CALLSTATE, instance, state, mode, 0});
    }
    // Nobody holds a handle of a finished call: forget it here, nobody can deallocate it.
    if (state == LINECALLSTATE_IDLE && !anyHandle)
        m_calls.erase(rec);
}

void Layer::sinkCallInfo(unsigned generation, CallId call, const CallData& data, DWORD changed)
{
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return;
    auto rec = m_calls.find(call);
    if (rec == m_calls.end())
        return;
    rec->second.data = data;
    for (const auto& [h, handle] : m_handles) {
        if (handle.call != call)
            continue;
        auto line = m_lines.find(handle.line);
        DWORD_PTR instance = line == m_lines.end() ? 0 : line->second.instance;
        post({Notification::Target::Call, handle.app, h, LINE_CALLINFO, instance, changed, 0, 0});
    }
}

void Layer::sinkLineState(unsigned generation, DWORD deviceId, DWORD state, DWORD p2, DWORD p3)
{
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return;
    for (const auto& [hLine, line] : m_lines) {
        if (line.deviceId == deviceId && (line.lineStates & state))
            post({Notification::Target::Line, line.app, hLine, LINE_LINEDEVSTATE, line.instance, state, p2,
                  p3});
    }
}

void Layer::sinkDigit(unsigned generation, CallId call, char digit, DWORD mode)
{
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return;
    for (const auto& [h, handle] : m_handles) {
        if (handle.call != call || !(handle.monitorModes & mode))
            continue;
        auto line = m_lines.find(handle.line);
        DWORD_PTR instance = line == m_lines.end() ? 0 : line->second.instance;
        post({Notification::Target::Call, handle.app, h, LINE_MONITORDIGITS, instance,
              static_cast<unsigned char>(digit), mode, tickCount()});
    }
}

void Layer::sinkGenerated(unsigned generation, CallId call, DWORD termination)
{
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return;
    auto rec = m_calls.find(call);
    if (rec == m_calls.end())
        return;
    HCALL h = rec->second.generatingHandle;
    rec->second.generatingHandle = 0;
    auto handle = m_handles.find(h);
    if (handle == m_handles.end())
        return;
    auto line = m_lines.find(handle->second.line);
    DWORD_PTR instance = line == m_lines.end() ? 0 : line->second.instance;
    post({Notification::Target::Call, handle->second.app, h, LINE_GENERATE, instance, termination, 0,
          tickCount()});
}

void Layer::sinkReply(unsigned generation, RequestId request, LONG result)
{
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return;
    auto it = m_requests.find(request);
    if (it == m_requests.end())
        return;
    Request r = it->second;
    m_requests.erase(it);
    post({Notification::Target::App, r.app, 0, LINE_REPLY, r.instance, static_cast<DWORD_PTR>(request),
          static_cast<DWORD_PTR>(static_cast<DWORD>(result)), 0});
}

// ---- Applications ----

LONG Layer::initialize(HLINEAPP* app, LINECALLBACK callback, DWORD* numDevs)
{
    if (!app || !callback || !numDevs)
        return LINEERR_INVALPOINTER;
    ensureLoaded();
    // The port lives in the calling thread, so queued notifications run in its event loop.
    auto* port = new QObject;
    std::lock_guard lock(m_mutex);
    HLINEAPP h = newHandle();
    m_apps[h] = App{callback, port};
    *app = h;
    *numDevs = static_cast<DWORD>(m_devices.size());
    return 0;
}

LONG Layer::shutdown(HLINEAPP app)
{
    std::vector<DropJob> drops;
    std::vector<LineDevice*> closes;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_apps.find(app);
        if (it == m_apps.end())
            return LINEERR_INVALAPPHANDLE;
        std::vector<HLINE> lines;
        for (const auto& [h, line] : m_lines)
            if (line.app == app)
                lines.push_back(h);
        for (HLINE h : lines)
            closeLocked(h, drops, closes);
        // Handles of calls the application made or kept without a line are freed too.
        for (auto h = m_handles.begin(); h != m_handles.end();)
            h = h->second.app == app ? m_handles.erase(h) : std::next(h);
        for (auto r = m_requests.begin(); r != m_requests.end();)
            r = r->second.app == app ? m_requests.erase(r) : std::next(r);
        // Queued notifications still pointing at the port are dropped when it is deleted. On its own
        // thread and outside a delivery it goes at once; otherwise its event loop deletes it.
        QObject* port = it->second.port;
        if (port->thread() == QThread::currentThread() && t_deliveryDepth == 0)
            delete port;
        else
            port->deleteLater();
        m_apps.erase(it);
    }
    finishClose(drops, closes);
    for (LineDevice* device : closes)
        replaceIfPending(device);
    return 0;
}

LONG Layer::checkDevice(DWORD deviceId)
{
    std::lock_guard lock(m_mutex);
    return deviceLocked(deviceId) ? 0 : LINEERR_BADDEVICEID;
}

LONG Layer::checkDevice(HLINEAPP app, DWORD deviceId, DWORD version)
{
    std::lock_guard lock(m_mutex);
    if (!m_apps.count(app))
        return LINEERR_INVALAPPHANDLE;
    Device* d = deviceLocked(deviceId);
    if (!d)
        return LINEERR_BADDEVICEID;
    if (version < TAPI_VERSION_1_0 || version > d->caps.highestApiVersion)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    return 0;
}

LONG Layer::negotiate(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high, DWORD* version,
                      LINEEXTENSIONID* ext)
{
    std::lock_guard lock(m_mutex);
    if (!m_apps.count(app))
        return LINEERR_INVALAPPHANDLE;
    Device* d = deviceLocked(deviceId);
    if (!d)
        return LINEERR_BADDEVICEID;
    if (!version || !ext)
        return LINEERR_INVALPOINTER;
    DWORD highest = d->caps.highestApiVersion;
    if (low > high || high < TAPI_VERSION_1_0 || low > highest)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    *version = high < highest ? high : highest;
    *ext = LINEEXTENSIONID{0, 0, 0, 0};
    return 0;
}

LONG Layer::phoneInitialize(HPHONEAPP* app, DWORD* numDevs)
{
    if (!app || !numDevs)
        return PHONEERR_INVALPOINTER;
    ensureLoaded();
    std::lock_guard lock(m_mutex);
    HPHONEAPP h = newHandle();
    m_phoneApps[h] = 0;
    *app = h;
    *numDevs = 0;
    return 0;
}

LONG Layer::phoneShutdown(HPHONEAPP app)
{
    std::lock_guard lock(m_mutex);
    return m_phoneApps.erase(app) ? 0 : PHONEERR_INVALAPPHANDLE;
}

bool Layer::phoneAppExists(HPHONEAPP app)
{
    std::lock_guard lock(m_mutex);
    return m_phoneApps.count(app) != 0;
}

} // namespace kalvo::telephony
