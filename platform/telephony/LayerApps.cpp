// The telephony layer's applications and the queued delivery of their notifications.
#include "Layer.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace kalvo::telephony {

namespace {

// Depth of callbacks running on this thread; a port must not be deleted under its own delivery.
thread_local int t_deliveryDepth = 0;

} // namespace

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
    Device* d = nullptr;
    if (LONG r = appDeviceLocked(app, deviceId, d))
        return r;
    if (version < TAPI_VERSION_1_0 || version > d->caps.highestApiVersion)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    return 0;
}

LONG Layer::negotiate(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high, DWORD* version,
                      LINEEXTENSIONID* ext)
{
    std::lock_guard lock(m_mutex);
    Device* d = nullptr;
    if (LONG r = appDeviceLocked(app, deviceId, d))
        return r;
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
