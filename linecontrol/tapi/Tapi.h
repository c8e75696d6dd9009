// The control class Tapi: a thin, stateful layer over the telephony line and phone functions that
// keeps the line table, performs the call operations, answers device queries and raises the events
// that the notification routine turns telephony notifications into.
#pragma once

#include <QtGlobal>

#include "KorvanDispatch.h"
#include "LineTable.h"

#include <cstdint>
#include <string>

namespace korvan {

class Tapi
{
public:
    Tapi();
    ~Tapi();
    Q_DISABLE_COPY_MOVE(Tapi)

    // Where events go (null: nowhere).
    void setEventSink(IEventSink* sink) { m_sink = sink; }
    // The callback instance the telephony API hands back with this control's notifications.
    DWORD_PTR callbackInstance() const { return m_callbackInstance; }
    void setCallbackInstance(DWORD_PTR instance);

    // ---- Lifecycle (lines) ----
    // Probes the telephony system, re-creates the line table with indices 0 to NumDevs; no line
    // stays initialised. @return 0 or the lineInitialize code.
    int32_t LineInitialize();
    // NumDevs of the last initialisation (0 before any).
    int32_t NumOfLines() const { return m_numDevs; }
    // Initialises, negotiates 1.4, opens the line and subscribes to its device states.
    // privilege/media 0 mean owner/automated voice. @return 0, LINEERR_INUSE or the failing code.
    int32_t LineOpen(int32_t lineIndex, int32_t callPrivilege, int32_t mediaMode);
    // @return the lineClose code; Opened becomes False only when it is 0.
    int32_t LineClose(int32_t lineIndex);
    // @return the lineShutdown code; Opened becomes False whatever it is.
    int32_t LineShutdown(int32_t lineIndex);
    bool LineOpened(int32_t lineIndex);
    bool LineConnected(int32_t lineIndex);
    // Why the open line cannot take calls now: "" while it is in service (or not open), else the
    // provider's reason ("out of service" when it gives none).
    std::string LineInService(int32_t lineIndex);
    // True while the open line is still reaching its device: neither in nor out of service yet.
    bool LineOpening(int32_t lineIndex);
    // Why the owner cannot talk with the open line's caller at the desk (the line cannot carry
    // voice both ways at once): "" when it can, or when it is not open or its status is unreadable.
    std::string LineCannotTalk(int32_t lineIndex);
    // How a caller reaches the open line (a SIP address, a modem's port): "" when the line says
    // nothing, or when it is not open or its status is unreadable.
    std::string LineReach(int32_t lineIndex);

    // ---- Call operations ----
    int32_t LineAccept(int32_t lineIndex);
    int32_t LineAnswer(int32_t lineIndex);
    int32_t LineDrop(int32_t lineIndex);
    int32_t LineMakeCall(int32_t lineIndex, const std::string& number);
    int32_t LineGenerateDigits(int32_t lineIndex, const std::string& digits);
    // Starts (status true) or stops digit monitoring. @return 0 or the negative failure code.
    int32_t LineMonitorDigits(int32_t lineIndex, bool status);
    void lineSetTerminal(int32_t lineIndex);
    // Fills callInfo from the call's information and the last caller id. @return the code; callInfo
    // is untouched on failure.
    int32_t LineGetCallInf(int32_t lineIndex, CallInf& callInfo);
    // The caller-ID flags read with the last CallerID event (the line index is only checked).
    int32_t LineCallerIDFlags(int32_t lineIndex);

    // ---- Devices, phones, dialogs ----
    // @return "" or the error text of the first failing step; deviceType is filled as far as it got.
    std::string LineGetDevDetails(int32_t lineIndex, LineDevCap& deviceType);
    // @return the device id of the class, -1 when there is none, or the negative telephony code.
    int32_t lineGetID(int32_t lineIndex, int32_t deviceClass);
    // @return the wave-out device of the line's call, or -1.
    int32_t LineGetWaveOutID(int32_t lineIndex);
    int32_t PhoneInitialize();
    int32_t NumOfPhones() const { return m_numPhones; }
    int32_t PhoneOpen(int32_t phoneIndex);
    int32_t PhoneClose(int32_t phoneIndex);
    int32_t PhoneShutdown(int32_t phoneIndex);
    int32_t PhoneSetHookSwitch(int32_t phoneIndex);
    // Country and city code of the current location; both untouched (and a message shown) on failure.
    void GetLocationInf(std::string& countryCode, std::string& cityCode);
    void LineTranslateDialog(int32_t lineIndex);
    // @return 0, or -1 when the configuration dialog failed.
    int32_t LineDialogLineConfig(const std::string& lineIndex);
    void ShowAboutBox();

    // ---- Notifications (called by the notification routine) ----
    void dispatch(DWORD hDevice, DWORD message, DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3);

private:
    void onCallState(HCALL hCall, DWORD state);
    // Reads the caller id of a call into LastCallerName/Number; returns the event's name and number.
    void readCallerId(HCALL hCall, std::string& name, std::string& number);
    // Reads the line's device status: true when it is in service (reason then holds a notice from
    // the provider, if it has one), else false with the reason.
    bool readLineStatus(HLINE hLine, std::string& reason);
    // The part-th text (0 = the reason) of the open line's device-specific status.
    std::string devSpecificText(int32_t lineIndex, int part);
    void raise(int32_t eventId, std::vector<Variant> arguments);

    LineTable& m_table;
    IEventSink* m_sink = nullptr;
    DWORD_PTR m_callbackInstance = 0;

    int32_t m_numDevs = 0;
    int32_t m_apiVersion = 0;
    std::string m_lastCallerNumber;
    std::string m_lastCallerName;
    DWORD m_lastCallerIdFlags = 0;
    HPHONEAPP m_hPhoneApp = 0;
    int32_t m_numPhones = 0;
};

} // namespace korvan
