// The telephony layer's call operations: answer, drop, make, deallocate, digits, call information.
#include "Layer.h"
#include "VarStructWriter.h"

#include <cstring>

namespace kalvo::telephony {

namespace {

// One party's identity in LINECALLINFO: its number and name where known, and why a part is
// missing (absence: LINECALLPARTYID_BLOCKED, _OUTOFAREA, _UNAVAIL or _UNKNOWN; 0 says nothing,
// and a party with neither part is then UNKNOWN).
void addPartyId(VarStructWriter& w, const std::optional<std::string>& number,
                const std::optional<std::string>& name, DWORD absence, DWORD& flags, DWORD& size,
                DWORD& offset, DWORD& nameSize, DWORD& nameOffset)
{
    if (number) {
        flags |= LINECALLPARTYID_ADDRESS;
        w.addString(*number, size, offset);
    }
    if (name) {
        flags |= LINECALLPARTYID_NAME;
        w.addString(*name, nameSize, nameOffset);
    }
    if (absence && (!number || !name))
        flags |= absence;
    if (!flags)
        flags = LINECALLPARTYID_UNKNOWN;
}

} // namespace

LONG Layer::ownerCallRequest(HCALL call, bool (*stateAllows)(DWORD),
                             LONG (LineDevice::*command)(CallId, RequestId))
{
    LineDevice* device;
    CallId id;
    RequestId request;
    {
        std::lock_guard lock(m_mutex);
        auto h = m_handles.find(call);
        if (h == m_handles.end())
            return LINEERR_INVALCALLHANDLE;
        if (h->second.privilege != LINECALLPRIVILEGE_OWNER)
            return LINEERR_NOTOWNER;
        const CallRecord& rec = m_calls.at(h->second.call);
        if (!stateAllows(rec.state))
            return LINEERR_INVALCALLSTATE;
        device = m_devices[rec.deviceId].device.get();
        id = h->second.call;
        request = newRequest(h->second.app, instanceLocked(h->second.line));
    }
    LONG r = (device->*command)(id, request);
    if (r < 0) {
        std::lock_guard lock(m_mutex);
        m_requests.erase(request);
        return r;
    }
    return request;
}

LONG Layer::answer(HCALL call)
{
    return ownerCallRequest(
        call, [](DWORD state) { return state == LINECALLSTATE_OFFERING || state == LINECALLSTATE_ACCEPTED; },
        &LineDevice::answer);
}

LONG Layer::accept(HCALL call)
{
    return ownerCallRequest(
        call, [](DWORD state) { return state == LINECALLSTATE_OFFERING; }, &LineDevice::accept);
}

LONG Layer::drop(HCALL call)
{
    {
        std::lock_guard lock(m_mutex);
        auto h = m_handles.find(call);
        if (h != m_handles.end() && h->second.privilege == LINECALLPRIVILEGE_OWNER) {
            const CallRecord& rec = m_calls.at(h->second.call);
            // A provider may take a call the far end hung up on from DISCONNECTED to IDLE at once;
            // the owner's drop that follows is what a line expects, and it succeeds.
            if (rec.state == LINECALLSTATE_IDLE && rec.disconnected) {
                const DWORD_PTR instance = instanceLocked(h->second.line);
                const RequestId request = newRequest(h->second.app, instance);
                m_requests.erase(request);
                post({Notification::Target::App, h->second.app, 0, LINE_REPLY, instance,
                      static_cast<DWORD_PTR>(request), 0, 0});
                return request;
            }
        }
    }
    return ownerCallRequest(
        call, [](DWORD state) { return state != LINECALLSTATE_IDLE; }, &LineDevice::drop);
}

LONG Layer::makeCall(HLINE line, HCALL* call, const char* address)
{
    LineDevice* device;
    CallId id;
    HCALL handle;
    RequestId request;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_lines.find(line);
        if (it == m_lines.end())
            return LINEERR_INVALLINEHANDLE;
        if (!call)
            return LINEERR_INVALPOINTER;
        Device& d = m_devices[it->second.deviceId];
        if (!(d.caps.lineFeatures & LINEFEATURE_MAKECALL))
            return LINEERR_OPERATIONUNAVAIL;
        DWORD active = 0;
        for (const auto& [cid, rec] : m_calls)
            if (rec.deviceId == it->second.deviceId && rec.state != LINECALLSTATE_IDLE)
                ++active;
        if (active >= d.caps.maxNumActiveCalls)
            return LINEERR_CALLUNAVAIL;
        device = d.device.get();
        id = m_nextCall++;
        CallRecord& rec = m_calls[id];
        rec.deviceId = it->second.deviceId;
        rec.state = LINECALLSTATE_IDLE;
        rec.data.origin = LINECALLORIGIN_OUTBOUND;
        if (address)
            rec.data.calledNumber = address;
        handle = newHandle();
        m_handles[handle] = CallHandle{id, line, it->second.app, LINECALLPRIVILEGE_OWNER};
        request = newRequest(it->second.app, it->second.instance);
    }
    LONG r = device->makeCall(id, address ? address : "", request);
    std::lock_guard lock(m_mutex);
    if (r < 0) {
        m_requests.erase(request);
        m_handles.erase(handle);
        m_calls.erase(id);
        return r;
    }
    *call = handle;
    return request;
}

LONG Layer::deallocateCall(HCALL call)
{
    LineDevice* device = nullptr;
    CallId id;
    {
        std::lock_guard lock(m_mutex);
        auto h = m_handles.find(call);
        if (h == m_handles.end())
            return LINEERR_INVALCALLHANDLE;
        id = h->second.call;
        auto rec = m_calls.find(id);
        bool otherOwner = false;
        bool otherHandle = false;
        for (const auto& [oh, other] : m_handles) {
            if (oh != call && other.call == id) {
                otherHandle = true;
                otherOwner |= other.privilege == LINECALLPRIVILEGE_OWNER;
            }
        }
        // The only owner of a live call must drop it first.
        if (rec != m_calls.end() && rec->second.state != LINECALLSTATE_IDLE &&
            h->second.privilege == LINECALLPRIVILEGE_OWNER && !otherOwner)
            return LINEERR_INVALCALLSTATE;
        m_handles.erase(h);
        if (rec != m_calls.end() && !otherHandle && rec->second.state == LINECALLSTATE_IDLE) {
            device = m_devices[rec->second.deviceId].device.get();
            m_calls.erase(rec);
        }
    }
    if (device)
        device->deallocate(id);
    return 0;
}

LONG Layer::generateDigits(HCALL call, DWORD mode, const char* digits, DWORD duration)
{
    LineDevice* device;
    CallId id;
    {
        std::lock_guard lock(m_mutex);
        auto h = m_handles.find(call);
        if (h == m_handles.end())
            return LINEERR_INVALCALLHANDLE;
        CallRecord& rec = m_calls.at(h->second.call);
        const Device& d = m_devices[rec.deviceId];
        if ((mode != LINEDIGITMODE_PULSE && mode != LINEDIGITMODE_DTMF) ||
            !(d.caps.generateDigitModes & mode))
            return LINEERR_INVALDIGITMODE;
        if (!digits)
            return LINEERR_INVALPOINTER;
        const char* allowed = mode == LINEDIGITMODE_PULSE ? "0123456789" : "0123456789*#ABCDabcd";
        for (const char* p = digits; *p; ++p)
            if (!std::strchr(allowed, *p) && *p != ',' && *p != '!')
                return LINEERR_INVALDIGITS;
        if (rec.state != LINECALLSTATE_CONNECTED)
            return LINEERR_INVALCALLSTATE;
        rec.generatingHandle = call;
        device = d.device.get();
        id = h->second.call;
    }
    return device->generateDigits(id, digits, mode, duration);
}

LONG Layer::monitorDigits(HCALL call, DWORD modes)
{
    LineDevice* device;
    CallId id;
    DWORD all;
    {
        std::lock_guard lock(m_mutex);
        auto h = m_handles.find(call);
        if (h == m_handles.end())
            return LINEERR_INVALCALLHANDLE;
        const CallRecord& rec = m_calls.at(h->second.call);
        const Device& d = m_devices[rec.deviceId];
        const DWORD known = LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND;
        if ((modes & ~known) || (modes & ~d.caps.monitorDigitModes))
            return LINEERR_INVALDIGITMODE;
        if (rec.state == LINECALLSTATE_IDLE)
            return LINEERR_INVALCALLSTATE;
        h->second.monitorModes = modes;
        id = h->second.call;
        all = monitorUnionLocked(id);
        device = d.device.get();
    }
    return device->monitorDigits(id, all);
}

LONG Layer::setTerminal(HLINE line, DWORD addressId, HCALL call, DWORD select, DWORD modes, DWORD terminal)
{
    std::lock_guard lock(m_mutex);
    DWORD deviceId = 0;
    const CallRecord* rec = nullptr;
    if (LONG r = selectedDeviceLocked(line, addressId, call, select, deviceId, rec))
        return r;
    if (modes == 0 || (modes & ~0xFFu))
        return LINEERR_INVALTERMINALMODE;
    if (terminal >= m_devices[deviceId].caps.numTerminals)
        return LINEERR_INVALTERMINALID;
    return 0;
}

LONG Layer::getCallInfo(HCALL call, LINECALLINFO* info)
{
    std::lock_guard lock(m_mutex);
    auto h = m_handles.find(call);
    if (h == m_handles.end())
        return LINEERR_INVALCALLHANDLE;
    if (!info)
        return LINEERR_INVALPOINTER;
    if (info->dwTotalSize < sizeof(LINECALLINFO))
        return LINEERR_STRUCTURETOOSMALL;
    const CallRecord& rec = m_calls.at(h->second.call);
    const CallData& data = rec.data;
    VarStructWriter::clearFixedPart(info, sizeof(LINECALLINFO));
    VarStructWriter w(info, sizeof(LINECALLINFO));
    info->hLine = h->second.line;
    info->dwLineDeviceID = rec.deviceId;
    info->dwAddressID = 0;
    info->dwBearerMode = data.bearerMode;
    info->dwRate = data.rate;
    info->dwMediaMode = data.mediaMode;
    info->dwCallID = h->second.call;
    info->dwCallStates = LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED |
                         LINECALLSTATE_DIALING | LINECALLSTATE_PROCEEDING | LINECALLSTATE_RINGBACK |
                         LINECALLSTATE_BUSY | LINECALLSTATE_CONNECTED | LINECALLSTATE_DISCONNECTED;
    info->dwMonitorDigitModes = h->second.monitorModes;
    info->dwOrigin = data.origin;
    info->dwReason = data.reason;
    for (const auto& [oh, other] : m_handles) {
        if (other.call != h->second.call)
            continue;
        if (other.privilege == LINECALLPRIVILEGE_OWNER)
            ++info->dwNumOwners;
        else
            ++info->dwNumMonitors;
    }
    addPartyId(w, data.callerNumber, data.callerName, data.callerAbsence, info->dwCallerIDFlags,
               info->dwCallerIDSize, info->dwCallerIDOffset, info->dwCallerIDNameSize,
               info->dwCallerIDNameOffset);
    addPartyId(w, data.calledNumber, data.calledName, 0, info->dwCalledIDFlags, info->dwCalledIDSize,
               info->dwCalledIDOffset, info->dwCalledIDNameSize, info->dwCalledIDNameOffset);
    if (!data.displayableAddress.empty())
        w.addString(data.displayableAddress, info->dwDisplayableAddressSize,
                    info->dwDisplayableAddressOffset);
    w.finish();
    return 0;
}

} // namespace kalvo::telephony
