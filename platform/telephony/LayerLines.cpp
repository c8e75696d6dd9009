// The telephony layer's line operations: open, close, capabilities, status messages, device ids.
#include "Layer.h"
#include "VarStructWriter.h"

#include <strings.h>

#include <algorithm>

#include <cstring>

namespace kalvo::telephony {

namespace {
constexpr DWORD kAllCallStates = LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED |
                                 LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING | LINECALLSTATE_RINGBACK |
                                 LINECALLSTATE_BUSY | LINECALLSTATE_CONNECTED | LINECALLSTATE_PROCEEDING |
                                 LINECALLSTATE_DISCONNECTED | LINECALLSTATE_UNKNOWN;
constexpr DWORD kAllAddressStates = 0x1FF;
constexpr DWORD kDisconnectModes = LINEDISCONNECTMODE_NORMAL | LINEDISCONNECTMODE_UNKNOWN |
                                   LINEDISCONNECTMODE_REJECT | LINEDISCONNECTMODE_BUSY |
                                   LINEDISCONNECTMODE_NOANSWER | LINEDISCONNECTMODE_UNREACHABLE;
} // namespace

LONG Layer::open(HLINEAPP app, DWORD deviceId, HLINE* line, DWORD version, DWORD_PTR instance,
                 DWORD privileges, DWORD mediaModes)
{
    LineDevice* toOpen = nullptr;
    {
        std::lock_guard lock(m_mutex);
        Device* d = nullptr;
        if (LONG r = appDeviceLocked(app, deviceId, d))
            return r;
        if (!line)
            return LINEERR_INVALPOINTER;
        if (version < TAPI_VERSION_1_0 || version > d->caps.highestApiVersion)
            return LINEERR_INCOMPATIBLEAPIVERSION;
        const DWORD known = LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
        if (privileges == 0 || (privileges & ~known) ||
            ((privileges & LINECALLPRIVILEGE_NONE) && privileges != LINECALLPRIVILEGE_NONE))
            return LINEERR_INVALPRIVSELECT;
        if (privileges & LINECALLPRIVILEGE_OWNER) {
            // An owner must name the media modes it handles, all of them the device's.
            if (mediaModes == 0 || (mediaModes & ~(d->caps.mediaModes | LINEMEDIAMODE_UNKNOWN)))
                return LINEERR_INVALMEDIAMODE;
        }
        HLINE h = newHandle();
        m_lines[h] = OpenLine{app, deviceId, instance, privileges, mediaModes};
        *line = h;
        if (d->openCount++ == 0)
            toOpen = d->device.get();
    }
    if (toOpen)
        toOpen->open();
    return 0;
}

// With m_mutex held: forgets the line and its call handles, collecting the provider work for
// finishClose (which runs without the lock).
void Layer::closeLocked(HLINE hLine, std::vector<DropJob>& drops, std::vector<LineDevice*>& closes)
{
    auto it = m_lines.find(hLine);
    if (it == m_lines.end())
        return;
    Device* d = deviceLocked(it->second.deviceId);
    for (auto h = m_handles.begin(); h != m_handles.end();) {
        if (h->second.line != hLine) {
            ++h;
            continue;
        }
        CallId call = h->second.call;
        bool owner = h->second.privilege == LINECALLPRIVILEGE_OWNER;
        h = m_handles.erase(h);
        auto rec = m_calls.find(call);
        if (rec == m_calls.end())
            continue;
        bool otherOwner = false;
        bool anyHandle = false;
        for (const auto& [oh, other] : m_handles) {
            if (other.call == call) {
                anyHandle = true;
                otherOwner |= other.privilege == LINECALLPRIVILEGE_OWNER;
            }
        }
        if (rec->second.state != LINECALLSTATE_IDLE) {
            // A call whose last owner goes away is dropped, as closing a line hangs up.
            if (owner && !otherOwner && d)
                drops.push_back({d->device.get(), call, true});
            if (!anyHandle) {
                // Nobody can see it any more; the provider's IDLE for it will find no record.
                m_calls.erase(rec);
            }
        } else if (!anyHandle) {
            if (d)
                drops.push_back({d->device.get(), call, false});
            m_calls.erase(rec);
        }
    }
    m_lines.erase(it);
    if (d && --d->openCount == 0)
        closes.push_back(d->device.get());
}

void Layer::finishClose(const std::vector<DropJob>& drops, const std::vector<LineDevice*>& closes)
{
    for (const DropJob& job : drops) {
        // Request 0: the layer's own drop, no reply is wanted.
        if (job.drop)
            job.device->drop(job.call, 0);
        else
            job.device->deallocate(job.call);
    }
    for (LineDevice* device : closes)
        device->close();
    for (LineDevice* device : closes)
        replaceIfPending(device);
}

LONG Layer::close(HLINE line)
{
    std::vector<DropJob> drops;
    std::vector<LineDevice*> closes;
    {
        std::lock_guard lock(m_mutex);
        if (!m_lines.count(line))
            return LINEERR_INVALLINEHANDLE;
        closeLocked(line, drops, closes);
    }
    finishClose(drops, closes);
    return 0;
}

void Layer::replaceIfPending(LineDevice* device)
{
    DWORD id = 0;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_devices.begin(), m_devices.end(),
                               [&](const Device& d) { return d.device.get() == device; });
        if (it == m_devices.end() || !it->replacePending)
            return;
        id = static_cast<DWORD>(it - m_devices.begin());
    }
    replaceDevice(id);
}

template <typename Caps>
LONG Layer::prepareCaps(DWORD deviceId, DWORD version, Caps* caps, DWORD& fixed, LineCaps& c)
{
    if (!caps)
        return LINEERR_INVALPOINTER;
    // Versions before 1.4 end before the last field (dwLineFeatures, dwAddressFeatures).
    fixed = version >= TAPI_VERSION_1_4 ? sizeof(Caps) : sizeof(Caps) - sizeof(DWORD);
    if (caps->dwTotalSize < fixed)
        return LINEERR_STRUCTURETOOSMALL;
    {
        std::lock_guard lock(m_mutex);
        Device* d = deviceLocked(deviceId);
        if (!d)
            return LINEERR_BADDEVICEID;
        c = d->caps;
    }
    VarStructWriter::clearFixedPart(caps, fixed);
    return 0;
}

LONG Layer::getDevCaps(HLINEAPP app, DWORD deviceId, DWORD version, LINEDEVCAPS* caps)
{
    if (LONG r = checkDevice(app, deviceId, version))
        return r;
    DWORD fixed = 0;
    LineCaps c;
    if (LONG r = prepareCaps(deviceId, version, caps, fixed, c))
        return r;
    VarStructWriter w(caps, fixed);
    w.addString(c.providerInfo, caps->dwProviderInfoSize, caps->dwProviderInfoOffset);
    w.addString(c.switchInfo, caps->dwSwitchInfoSize, caps->dwSwitchInfoOffset);
    w.addString(c.name, caps->dwLineNameSize, caps->dwLineNameOffset);
    caps->dwPermanentLineID = c.permanentLineId;
    caps->dwStringFormat = STRINGFORMAT_ASCII;
    caps->dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps->dwNumAddresses = 1;
    caps->dwBearerModes = c.bearerModes;
    caps->dwMaxRate = c.maxRate;
    caps->dwMediaModes = c.mediaModes;
    caps->dwGenerateDigitModes = c.generateDigitModes;
    caps->dwMonitorDigitModes = c.monitorDigitModes;
    caps->dwMaxNumActiveCalls = c.maxNumActiveCalls;
    caps->dwAnswerMode = LINEANSWERMODE_NONE;
    caps->dwRingModes = 1;
    caps->dwLineStates = c.lineStates;
    caps->dwNumTerminals = c.numTerminals;
    if (version >= TAPI_VERSION_1_4)
        caps->dwLineFeatures = c.lineFeatures;
    w.finish();
    return 0;
}

LONG Layer::getAddressCaps(HLINEAPP app, DWORD deviceId, DWORD addressId, DWORD version,
                           LINEADDRESSCAPS* caps)
{
    if (LONG r = checkDevice(app, deviceId, version))
        return r;
    if (addressId != 0)
        return LINEERR_INVALADDRESSID;
    DWORD fixed = 0;
    LineCaps c;
    if (LONG r = prepareCaps(deviceId, version, caps, fixed, c))
        return r;
    VarStructWriter w(caps, fixed);
    w.addString(c.switchInfo, caps->dwAddressSize, caps->dwAddressOffset);
    caps->dwLineDeviceID = deviceId;
    caps->dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
    caps->dwAddressStates = kAllAddressStates;
    caps->dwCallInfoStates = LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID |
                             LINECALLINFOSTATE_MEDIAMODE | LINECALLINFOSTATE_MONITORMODES;
    caps->dwCallerIDFlags = c.callerIdFlags;
    caps->dwCalledIDFlags = LINECALLPARTYID_ADDRESS | LINECALLPARTYID_UNKNOWN;
    caps->dwCallStates = kAllCallStates;
    caps->dwDisconnectModes = kDisconnectModes;
    caps->dwMaxNumActiveCalls = c.maxNumActiveCalls;
    if (version >= TAPI_VERSION_1_4)
        caps->dwAddressFeatures = c.lineFeatures & LINEFEATURE_MAKECALL ? 0x00000004u /* MAKECALL */ : 0;
    w.finish();
    return 0;
}

LONG Layer::setStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates)
{
    LineDevice* device = nullptr;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_lines.find(line);
        if (it == m_lines.end())
            return LINEERR_INVALLINEHANDLE;
        Device* d = deviceLocked(it->second.deviceId);
        if (!d || (lineStates & ~d->caps.lineStates))
            return LINEERR_INVALLINESTATE;
        if (addressStates & ~kAllAddressStates)
            return LINEERR_INVALADDRESSSTATE;
        const bool newlyInService = (lineStates & ~it->second.lineStates & LINEDEVSTATE_INSERVICE) != 0;
        it->second.lineStates = lineStates;
        it->second.addressStates = addressStates;
        if (newlyInService)
            device = d->device.get();
    }
    // A line that works with a notice (a setting it could not use, a risk it runs) reported it
    // before anyone listened: the new listener hears it once. Asked without the layer's lock.
    std::string notice;
    if (!device || !device->inService(notice) || notice.empty())
        return 0;
    std::lock_guard lock(m_mutex);
    auto it = m_lines.find(line);
    if (it != m_lines.end() && (it->second.lineStates & LINEDEVSTATE_INSERVICE))
        post({Notification::Target::Line, it->second.app, line, LINE_LINEDEVSTATE, it->second.instance,
              LINEDEVSTATE_INSERVICE, 0, 0});
    return 0;
}

LONG Layer::selectedDeviceLocked(HLINE line, DWORD addressId, HCALL call, DWORD select, DWORD& deviceId,
                                 const CallRecord*& rec) const
{
    rec = nullptr;
    if (select == LINECALLSELECT_LINE || select == LINECALLSELECT_ADDRESS) {
        auto it = m_lines.find(line);
        if (it == m_lines.end())
            return LINEERR_INVALLINEHANDLE;
        if (select == LINECALLSELECT_ADDRESS && addressId != 0)
            return LINEERR_INVALADDRESSID;
        deviceId = it->second.deviceId;
    } else if (select == LINECALLSELECT_CALL) {
        auto h = m_handles.find(call);
        if (h == m_handles.end())
            return LINEERR_INVALCALLHANDLE;
        rec = &m_calls.at(h->second.call);
        deviceId = rec->deviceId;
    } else {
        return LINEERR_INVALCALLSELECT;
    }
    return 0;
}

LONG Layer::getId(HLINE line, DWORD addressId, HCALL call, DWORD select, VARSTRING* out,
                  const char* deviceClass)
{
    LineDevice* device = nullptr;
    {
        std::lock_guard lock(m_mutex);
        DWORD deviceId = 0;
        const CallRecord* rec = nullptr;
        if (LONG r = selectedDeviceLocked(line, addressId, call, select, deviceId, rec))
            return r;
        // The devices of a call exist only while the call does.
        if (rec && rec->state == LINECALLSTATE_IDLE)
            return LINEERR_INVALCALLSTATE;
        Device* d = deviceLocked(deviceId);
        if (!d)
            return LINEERR_NODEVICE;
        device = d->device.get();
    }
    if (!out || !deviceClass)
        return LINEERR_INVALPOINTER;
    if (out->dwTotalSize < sizeof(VARSTRING))
        return LINEERR_STRUCTURETOOSMALL;
    DWORD ids[2];
    DWORD count = 0;
    LineWaveIds wave = device->waveDevices();
    if (strcasecmp(deviceClass, "wave/in") == 0) {
        if (wave.waveIn != 0xFFFFFFFFu)
            ids[count++] = wave.waveIn;
    } else if (strcasecmp(deviceClass, "wave/out") == 0) {
        if (wave.waveOut != 0xFFFFFFFFu)
            ids[count++] = wave.waveOut;
    } else if (strcasecmp(deviceClass, "wave/in/out") == 0) {
        if (wave.waveIn != 0xFFFFFFFFu && wave.waveOut != 0xFFFFFFFFu) {
            ids[count++] = wave.waveIn;
            ids[count++] = wave.waveOut;
        }
    } else if (strcasecmp(deviceClass, "tapi/phone") == 0) {
        // No line has a phone device: known class, no identifier.
    } else {
        return LINEERR_INVALDEVICECLASS;
    }
    VarStructWriter::clearFixedPart(out, sizeof(VARSTRING));
    VarStructWriter w(out, sizeof(VARSTRING));
    out->dwStringFormat = STRINGFORMAT_BINARY;
    if (count)
        w.add(ids, count * sizeof(DWORD), out->dwStringSize, out->dwStringOffset);
    w.finish();
    return 0;
}

LONG Layer::getLineDevStatus(HLINE line, LINEDEVSTATUS* status)
{
    LineDevice* device = nullptr;
    DWORD opens = 0;
    DWORD mediaModes = 0;
    DWORD activeCalls = 0;
    DWORD features = 0;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_lines.find(line);
        if (it == m_lines.end())
            return LINEERR_INVALLINEHANDLE;
        const DWORD deviceId = it->second.deviceId;
        Device* d = deviceLocked(deviceId);
        if (!d)
            return LINEERR_INVALLINEHANDLE;
        device = d->device.get();
        features = d->caps.lineFeatures;
        for (const auto& [h, open] : m_lines) {
            if (open.deviceId != deviceId)
                continue;
            ++opens;
            mediaModes |= open.mediaModes;
        }
        for (const auto& [id, rec] : m_calls)
            activeCalls += rec.deviceId == deviceId && rec.started && rec.state != LINECALLSTATE_IDLE;
    }
    if (!status)
        return LINEERR_INVALPOINTER;
    if (status->dwTotalSize < sizeof(LINEDEVSTATUS))
        return LINEERR_STRUCTURETOOSMALL;
    // Asked without the layer's lock: the provider may take its own lock, which its threads hold
    // while they report to the layer.
    std::string reason;
    const bool inService = device->inService(reason);
    const bool opening = device->opening();
    std::string cannotTalk;
    if (device->canTalk(cannotTalk))
        cannotTalk.clear();
    const std::string reach = device->reachAddress();
    VarStructWriter::clearFixedPart(status, sizeof(LINEDEVSTATUS));
    VarStructWriter w(status, sizeof(LINEDEVSTATUS));
    status->dwNumOpens = opens;
    status->dwOpenMediaModes = mediaModes;
    status->dwNumActiveCalls = activeCalls;
    status->dwLineFeatures = features;
    // A line still reaching its device is not connected yet: neither in nor out of service.
    status->dwDevStatusFlags =
        opening ? 0 : LINEDEVSTATUSFLAGS_CONNECTED | (inService ? LINEDEVSTATUSFLAGS_INSERVICE : 0);
    // Why the line cannot talk follows the reason, then how to reach it, each after a zero, so a
    // reader of the reason stops before them.
    if (!cannotTalk.empty() || !reach.empty())
        reason += std::string(1, '\0') + cannotTalk;
    if (!reach.empty())
        reason += std::string(1, '\0') + reach;
    if (!reason.empty())
        w.addString(reason, status->dwDevSpecificSize, status->dwDevSpecificOffset);
    w.finish();
    return 0;
}

} // namespace kalvo::telephony
