// The telephony layer's handling of provider events: each becomes notifications to the
// applications that see the line or call.
#include "Layer.h"

#include <chrono>

namespace kalvo::telephony {

namespace {

DWORD tickCount()
{
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now() - start).count());
}

} // namespace

template <typename F> void Layer::whenCurrent(unsigned generation, F&& f)
{
    std::lock_guard lock(m_mutex);
    if (generation == m_generation)
        f();
}

template <typename Map, typename F>
void Layer::whenFound(unsigned generation, Map& map, typename Map::key_type key, F&& f)
{
    whenCurrent(generation, [&] {
        if (auto it = map.find(key); it != map.end())
            f(it);
    });
}

CallId Layer::sinkOffer(unsigned generation, DWORD deviceId, const CallData& data)
{
    CallId id = 0;
    whenCurrent(generation, [&] {
        id = m_nextCall++;
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
            post({Notification::Target::Call, line.app, h, LINE_CALLSTATE, line.instance,
                  LINECALLSTATE_OFFERING, 0, privilege});
        }
    });
    return id;
}

void Layer::sinkCallState(unsigned generation, CallId call, DWORD state, DWORD mode)
{
    whenFound(generation, m_calls, call, [&](auto rec) {
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
            post({Notification::Target::Call, handle.app, h, LINE_CALLSTATE, instanceLocked(handle.line),
                  state, mode, 0});
        }
        // Nobody holds a handle of a finished call: forget it here, nobody can deallocate it.
        if (state == LINECALLSTATE_IDLE && !anyHandle)
            m_calls.erase(rec);
    });
}

void Layer::sinkCallInfo(unsigned generation, CallId call, const CallData& data, DWORD changed)
{
    whenFound(generation, m_calls, call, [&](auto rec) {
        rec->second.data = data;
        for (const auto& [h, handle] : m_handles) {
            if (handle.call == call)
                post({Notification::Target::Call, handle.app, h, LINE_CALLINFO, instanceLocked(handle.line),
                      changed, 0, 0});
        }
    });
}

void Layer::sinkLineState(unsigned generation, DWORD deviceId, DWORD state, DWORD p2, DWORD p3)
{
    whenCurrent(generation, [&] {
        for (const auto& [hLine, line] : m_lines) {
            if (line.deviceId == deviceId && (line.lineStates & state))
                post({Notification::Target::Line, line.app, hLine, LINE_LINEDEVSTATE, line.instance, state,
                      p2, p3});
        }
    });
}

void Layer::sinkDigit(unsigned generation, CallId call, char digit, DWORD mode)
{
    whenCurrent(generation, [&] {
        for (const auto& [h, handle] : m_handles) {
            if (handle.call == call && (handle.monitorModes & mode))
                post({Notification::Target::Call, handle.app, h, LINE_MONITORDIGITS,
                      instanceLocked(handle.line), static_cast<unsigned char>(digit), mode, tickCount()});
        }
    });
}

void Layer::sinkGenerated(unsigned generation, CallId call, DWORD termination)
{
    whenFound(generation, m_calls, call, [&](auto rec) {
        HCALL h = rec->second.generatingHandle;
        rec->second.generatingHandle = 0;
        auto handle = m_handles.find(h);
        if (handle == m_handles.end())
            return;
        post({Notification::Target::Call, handle->second.app, h, LINE_GENERATE,
              instanceLocked(handle->second.line), termination, 0, tickCount()});
    });
}

void Layer::sinkReply(unsigned generation, RequestId request, LONG result)
{
    whenFound(generation, m_requests, request, [&](auto it) {
        Request r = it->second;
        m_requests.erase(it);
        post({Notification::Target::App, r.app, 0, LINE_REPLY, r.instance, static_cast<DWORD_PTR>(request),
              static_cast<DWORD_PTR>(static_cast<DWORD>(result)), 0});
    });
}

} // namespace kalvo::telephony
