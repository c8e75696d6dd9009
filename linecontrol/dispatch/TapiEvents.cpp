// Tapi's dispatcher: turns one telephony notification into table updates and control events.
#include "Tapi.h"

#include "ControlMessageBox.h"
#include "TapiBuffers.h"

namespace korvan {

void Tapi::dispatch(DWORD hDevice, DWORD message, DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3)
{
    switch (message) {
    case LINE_CALLINFO: {
        std::string name;
        std::string number;
        readCallerId(hDevice, name, number);
        raise(EVENTID_CallerID, {Variant::fromLong(m_table.indexByLine(lineOfCall(hDevice))),
                                 Variant::fromString(name), Variant::fromString(number)});
        break;
    }
    case LINE_CALLSTATE:
        onCallState(hDevice, static_cast<DWORD>(param1));
        break;
    case LINE_GENERATE:
        raise(EVENTID_DoneGenerateDigits, {Variant::fromLong(m_table.indexByLine(lineOfCall(hDevice)))});
        break;
    case LINE_LINEDEVSTATE:
        if (static_cast<DWORD>(param1) == LINEDEVSTATE_RINGING) {
            raise(EVENTID_Ring, {Variant::fromLong(m_table.indexByLine(hDevice)),
                                 Variant::fromLong(static_cast<int32_t>(param3))});
        } else if (static_cast<DWORD>(param1) == LINEDEVSTATE_OUTOFSERVICE ||
                   static_cast<DWORD>(param1) == LINEDEVSTATE_INSERVICE) {
            // The notification says which way it went; the status read gives the provider's reason,
            // or a notice it has while in service (a setting that weakens the line, say).
            std::string reason;
            const bool inService = static_cast<DWORD>(param1) == LINEDEVSTATE_INSERVICE;
            const bool statusInService = readLineStatus(hDevice, reason);
            if (!inService && statusInService)
                reason = "out of service";
            else if (inService && !statusInService)
                reason.clear(); // gone out again since: its own notification follows
            raise(EVENTID_LineState, {Variant::fromLong(m_table.indexByLine(hDevice)),
                                      Variant::fromBool(inService), Variant::fromString(reason)});
        }
        break;
    case LINE_MONITORDIGITS: {
        const char16_t code = static_cast<char16_t>(param1 & 0xFFFFu);
        raise(EVENTID_MonitorDigit, {Variant::fromLong(m_table.indexByLine(lineOfCall(hDevice))),
                                     Variant::fromString(utf8OfCharCode(code))});
        break;
    }
    case LINE_REPLY:
        // Every reply, successful ones included: the host matches the request by its number.
        raise(EVENTID_ProcError, {Variant::fromLong(m_table.indexByLine(hDevice)),
                                  Variant::fromLong(static_cast<int32_t>(param1)),
                                  Variant::fromLong(static_cast<int32_t>(param2))});
        break;
    case PHONE_REPLY:
        ControlMessageBox::show("PHONE_REPLY");
        break;
    default:
        break;
    }
}

void Tapi::onCallState(HCALL hCall, DWORD state)
{
    switch (state) {
    case LINECALLSTATE_IDLE:
        raise(EVENTID_Idle, {Variant::fromLong(m_table.indexByLine(lineOfCall(hCall)))});
        // The handle stays in the table; a later operation on it is rejected by the API.
        lineDeallocateCall(hCall);
        break;
    case LINECALLSTATE_OFFERING:
        m_table.setCallByLine(lineOfCall(hCall), hCall);
        raise(EVENTID_InComeCall, {Variant::fromLong(m_table.indexByCall(hCall))});
        break;
    case LINECALLSTATE_DIALING:
        raise(EVENTID_Dialing, {Variant::fromLong(m_table.indexByCall(hCall))});
        break;
    case LINECALLSTATE_CONNECTED: {
        const int32_t index = m_table.indexByCall(hCall);
        if (index < m_table.lineCount())
            m_table.line(index).Connected = true;
        raise(EVENTID_Connected, {Variant::fromLong(index)});
        break;
    }
    case LINECALLSTATE_DISCONNECTED: {
        const int32_t index = m_table.indexByCall(hCall);
        raise(EVENTID_Disconnected, {Variant::fromLong(index)});
        if (index < m_table.lineCount())
            m_table.line(index).Connected = false;
        break;
    }
    default:
        break;
    }
}

void Tapi::readCallerId(HCALL hCall, std::string& name, std::string& number)
{
    m_lastCallerNumber.clear();
    m_lastCallerName.clear();
    m_lastCallerIdFlags = 0;
    CallInfoBuffer info;
    if (lineGetCallInfo(hCall, info.get()) != 0)
        return;
    const LINECALLINFO& fixed = *info.get();
    m_lastCallerIdFlags = fixed.dwCallerIDFlags;
    if (fixed.dwCallerIDFlags & LINECALLPARTYID_ADDRESS) {
        m_lastCallerNumber = info.text(fixed.dwCallerIDOffset, fixed.dwCallerIDSize);
        number = m_lastCallerNumber;
    } else {
        number = "UNKNOWN";
    }
    if (fixed.dwCallerIDFlags & LINECALLPARTYID_NAME) {
        m_lastCallerName = info.text(fixed.dwCallerIDNameOffset, fixed.dwCallerIDNameSize);
        name = m_lastCallerName;
    } else {
        name = "UNKNOWN";
    }
}

} // namespace korvan
