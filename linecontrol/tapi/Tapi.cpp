// Tapi: construction and the line lifecycle (initialise, open, close, shut down).
#include "Tapi.h"

#include "TapiBuffers.h"
#include "TapiNotification.h"

namespace korvan {

Tapi::Tapi() : m_table(LineTable::forThisThread()) {}

Tapi::~Tapi() = default;

void Tapi::setCallbackInstance(DWORD_PTR instance)
{
    m_callbackInstance = instance;
}

int32_t Tapi::LineInitialize()
{
    HLINEAPP probe = 0;
    DWORD numDevs = static_cast<DWORD>(m_numDevs);
    const LONG result = lineInitialize(&probe, nullptr, TapiLineCallback, "", &numDevs);
    m_numDevs = static_cast<int32_t>(numDevs);
    if (result != 0) {
        lineShutdown(probe);
        return result;
    }
    m_table.recreateLines(m_numDevs);
    lineShutdown(probe);
    return 0;
}

int32_t Tapi::LineOpen(int32_t lineIndex, int32_t callPrivilege, int32_t mediaMode)
{
    LineEntry& entry = m_table.line(lineIndex);
    if (entry.Opened)
        return LINEERR_INUSE;
    const DWORD privileges = callPrivilege != 0 ? static_cast<DWORD>(callPrivilege) : LINECALLPRIVILEGE_OWNER;
    const DWORD mediaModes = mediaMode != 0 ? static_cast<DWORD>(mediaMode) : LINEMEDIAMODE_AUTOMATEDVOICE;
    entry.DeviceId = lineIndex;

    DWORD numDevs = 0;
    LONG result = lineInitialize(&entry.hLineApp, nullptr, TapiLineCallback, "", &numDevs);
    if (result != 0)
        return result;

    DWORD version = static_cast<DWORD>(m_apiVersion);
    LINEEXTENSIONID extension{};
    result = lineNegotiateAPIVersion(entry.hLineApp, static_cast<DWORD>(entry.DeviceId), TAPI_VERSION_1_4,
                                     TAPI_VERSION_1_4, &version, &extension);
    m_apiVersion = static_cast<int32_t>(version);
    if (result != 0)
        return result;

    result = lineOpen(entry.hLineApp, static_cast<DWORD>(entry.DeviceId), &entry.hLine, version, 0,
                      m_callbackInstance, privileges, mediaModes, nullptr);
    if (result != 0)
        return result;

    DevCapsBuffer caps;
    result = lineGetDevCaps(entry.hLineApp, static_cast<DWORD>(entry.DeviceId), version, 0, caps.get());
    if (result != 0)
        return result;

    // Every device state the line reports (RINGING among them), no address states.
    result = lineSetStatusMessages(entry.hLine, caps.get()->dwLineStates, 0);
    if (result != 0)
        return result;

    entry.Opened = true;
    return 0;
}

int32_t Tapi::LineClose(int32_t lineIndex)
{
    LineEntry& entry = m_table.line(lineIndex);
    const LONG result = lineClose(entry.hLine);
    if (result == 0)
        entry.Opened = false;
    return result;
}

int32_t Tapi::LineShutdown(int32_t lineIndex)
{
    LineEntry& entry = m_table.line(lineIndex);
    const LONG result = lineShutdown(entry.hLineApp);
    entry.Opened = false;
    return result;
}

bool Tapi::LineOpened(int32_t lineIndex)
{
    return m_table.line(lineIndex).Opened;
}

bool Tapi::LineConnected(int32_t lineIndex)
{
    return m_table.line(lineIndex).Connected;
}

std::string Tapi::LineInService(int32_t lineIndex)
{
    const LineEntry& entry = m_table.line(lineIndex);
    std::string reason;
    if (!entry.Opened || readLineStatus(entry.hLine, reason)) // a notice is no reason
        return {};
    return reason;
}

bool Tapi::LineOpening(int32_t lineIndex)
{
    const LineEntry& entry = m_table.line(lineIndex);
    DevStatusBuffer status;
    return entry.Opened && lineGetLineDevStatus(entry.hLine, status.get()) == 0 &&
           (status.get()->dwDevStatusFlags & LINEDEVSTATUSFLAGS_CONNECTED) == 0;
}

std::string Tapi::LineCannotTalk(int32_t lineIndex)
{
    return devSpecificText(lineIndex, 1);
}

std::string Tapi::LineReach(int32_t lineIndex)
{
    return devSpecificText(lineIndex, 2);
}

std::string Tapi::devSpecificText(int32_t lineIndex, int part)
{
    const LineEntry& entry = m_table.line(lineIndex);
    DevStatusBuffer status;
    if (!entry.Opened || lineGetLineDevStatus(entry.hLine, status.get()) != 0)
        return {};
    // The device-specific part holds the service reason, why the line cannot talk and how to
    // reach it, each ended by a zero.
    DWORD offset = status.get()->dwDevSpecificOffset;
    DWORD size = status.get()->dwDevSpecificSize;
    for (int i = 0;; ++i) {
        if (size == 0)
            return {};
        const std::string text = status.text(offset, size - 1);
        if (i == part)
            return text;
        const DWORD skip = static_cast<DWORD>(text.size() + 1);
        if (size <= skip)
            return {};
        offset += skip;
        size -= skip;
    }
}

bool Tapi::readLineStatus(HLINE hLine, std::string& reason)
{
    DevStatusBuffer status;
    // A status that cannot be read says nothing against the line: the state notification decides.
    if (lineGetLineDevStatus(hLine, status.get()) != 0)
        return true;
    reason = status.text(status.get()->dwDevSpecificOffset, status.get()->dwDevSpecificSize);
    // Still opening is not out of service: its own notification tells which way it went.
    if ((status.get()->dwDevStatusFlags & (LINEDEVSTATUSFLAGS_INSERVICE | LINEDEVSTATUSFLAGS_CONNECTED)) !=
        LINEDEVSTATUSFLAGS_CONNECTED)
        return true;
    if (reason.empty())
        reason = "out of service";
    return false;
}

void Tapi::raise(int32_t eventId, std::vector<Variant> arguments)
{
    if (m_sink != nullptr)
        m_sink->Invoke(eventId, arguments);
}

} // namespace korvan
