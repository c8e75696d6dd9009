// The telephony layer's state, configuration loading and line devices.
#include "Layer.h"

#include "ProviderRegistry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kalvo::telephony {

namespace {

void report(const std::string& message)
{
    std::fprintf(stderr, "telephony: %s\n", message.c_str());
}

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

LONG Layer::appDeviceLocked(HLINEAPP app, DWORD deviceId, Device*& d)
{
    if (!m_apps.count(app))
        return LINEERR_INVALAPPHANDLE;
    d = deviceLocked(deviceId);
    return d ? 0 : LINEERR_BADDEVICEID;
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

DWORD Layer::monitorUnionLocked(CallId call) const
{
    DWORD modes = 0;
    for (const auto& [h, handle] : m_handles)
        if (handle.call == call)
            modes |= handle.monitorModes;
    return modes;
}

DWORD_PTR Layer::instanceLocked(HLINE line) const
{
    auto it = m_lines.find(line);
    return it == m_lines.end() ? 0 : it->second.instance;
}

} // namespace kalvo::telephony
