// The telephony layer: applications, open lines, calls and requests of the process, the line
// devices from the configuration, and the queued delivery of notifications to each application.
#pragma once

#include "LineProvider.h"
#include "TelephonyConfig.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QObject;

namespace kalvo::telephony {

class Layer
{
public:
    // The process's layer (it plays the telephony service of the system).
    static Layer& instance();
    ~Layer();

    void ensureLoaded();
    bool reload();
    // Creates a line device again from its section of the configuration file as it is now. An open
    // line is replaced when its last application closes it. @return true when replaced at once.
    bool replaceDevice(DWORD deviceId);
    // The configuration section a line device came from; false when there is no such device.
    bool deviceConfig(DWORD deviceId, LineConfig& out);
    LineDevice* device(DWORD deviceId);
    std::vector<std::string> problems();
    std::string path();
    TelephonyConfig config();

    LONG initialize(HLINEAPP* app, LINECALLBACK callback, DWORD* numDevs);
    LONG shutdown(HLINEAPP app);
    LONG negotiate(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high, DWORD* version, LINEEXTENSIONID* ext);
    LONG open(HLINEAPP app, DWORD deviceId, HLINE* line, DWORD version, DWORD_PTR instance, DWORD privileges,
              DWORD mediaModes);
    LONG close(HLINE line);
    LONG getDevCaps(HLINEAPP app, DWORD deviceId, DWORD version, LINEDEVCAPS* caps);
    LONG getAddressCaps(HLINEAPP app, DWORD deviceId, DWORD addressId, DWORD version, LINEADDRESSCAPS* caps);
    LONG setStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates);
    LONG getId(HLINE line, DWORD addressId, HCALL call, DWORD select, VARSTRING* out,
               const char* deviceClass);
    LONG getLineDevStatus(HLINE line, LINEDEVSTATUS* status);
    LONG answer(HCALL call);
    LONG accept(HCALL call);
    LONG drop(HCALL call);
    LONG makeCall(HLINE line, HCALL* call, const char* address);
    LONG deallocateCall(HCALL call);
    LONG generateDigits(HCALL call, DWORD mode, const char* digits, DWORD duration);
    LONG monitorDigits(HCALL call, DWORD modes);
    LONG setTerminal(HLINE line, DWORD addressId, HCALL call, DWORD select, DWORD modes, DWORD terminal);
    LONG getCallInfo(HCALL call, LINECALLINFO* info);
    LONG checkDevice(HLINEAPP app, DWORD deviceId, DWORD version);
    LONG checkDevice(DWORD deviceId);

    // Phone applications (no phone devices are offered).
    LONG phoneInitialize(HPHONEAPP* app, DWORD* numDevs);
    LONG phoneShutdown(HPHONEAPP app);
    bool phoneAppExists(HPHONEAPP app);

private:
    class DeviceSink;
    struct Notification
    {
        enum class Target { App, Line, Call } target;
        HLINEAPP app;
        DWORD hDevice;
        DWORD msg;
        DWORD_PTR instance;
        DWORD_PTR p1, p2, p3;
    };
    struct App
    {
        LINECALLBACK callback = nullptr;
        QObject* port = nullptr; // lives in the initialising thread; notifications are queued to it
    };
    struct OpenLine
    {
        HLINEAPP app;
        DWORD deviceId;
        DWORD_PTR instance;
        DWORD privileges;
        DWORD mediaModes;
        DWORD lineStates = 0;
        DWORD addressStates = 0;
    };
    struct CallHandle
    {
        CallId call;
        HLINE line;
        HLINEAPP app;
        DWORD privilege;
        DWORD monitorModes = 0;
    };
    struct CallRecord
    {
        DWORD deviceId;
        DWORD state = LINECALLSTATE_IDLE;
        DWORD stateMode = 0;
        CallData data;
        HCALL generatingHandle = 0;
        bool started = false;      // false for an outgoing call whose request is not yet accepted
        bool disconnected = false; // it went through DISCONNECTED: ended by the far end or the network
    };
    struct Request
    {
        HLINEAPP app;
        DWORD_PTR instance;
    };
    struct Device
    {
        std::unique_ptr<DeviceSink> sink; // declared first: outlives the device and its threads
        std::unique_ptr<LineDevice> device;
        LineCaps caps;
        int openCount = 0;
        LineConfig config;           // the section it was made from
        bool replacePending = false; // its settings changed while it was open
    };
    struct DropJob
    {
        LineDevice* device;
        CallId call;
        bool drop; // false: the call is idle and only deallocated
    };

    Layer();
    void loadLocked();
    DWORD newHandle();
    RequestId newRequest(HLINEAPP app, DWORD_PTR instance);
    // An owner's asynchronous request on a call: checks the handle, the privilege and that the
    // call's state allows it, then hands a new request id to the provider's command.
    LONG ownerCallRequest(HCALL call, bool (*stateAllows)(DWORD state),
                          LONG (LineDevice::*command)(CallId, RequestId));
    void post(const Notification& n);
    void deliver(const Notification& n);
    void closeLocked(HLINE line, std::vector<DropJob>& drops, std::vector<LineDevice*>& closes);
    // Without m_mutex: the provider work closeLocked collected, then the replacement of devices
    // whose settings changed while they were open.
    void finishClose(const std::vector<DropJob>& drops, const std::vector<LineDevice*>& closes);
    // A line whose settings changed while it was open takes them once it is closed.
    void replaceIfPending(LineDevice* device);
    Device* deviceLocked(DWORD deviceId);
    // The device an application names. @return 0, LINEERR_INVALAPPHANDLE or LINEERR_BADDEVICEID.
    LONG appDeviceLocked(HLINEAPP app, DWORD deviceId, Device*& d);
    // The opening both capability queries share: room for the fixed part of caps that version has,
    // a copy of the device's capabilities in c, the fixed part cleared. @return 0 or the LINEERR_ code.
    template <typename Caps>
    LONG prepareCaps(DWORD deviceId, DWORD version, Caps* caps, DWORD& fixed, LineCaps& c);
    // The device a LINECALLSELECT names: through the line (address 0 only) or through a call
    // handle, whose record rec then is (null otherwise). @return 0 or the LINEERR_ code.
    LONG selectedDeviceLocked(HLINE line, DWORD addressId, HCALL call, DWORD select, DWORD& deviceId,
                              const CallRecord*& rec) const;
    DWORD monitorUnionLocked(CallId call) const;
    // The instance the application gave when it opened the line; 0 once the line is closed.
    DWORD_PTR instanceLocked(HLINE line) const;
    // Runs f with m_mutex held when an event comes from the current generation of devices.
    template <typename F> void whenCurrent(unsigned generation, F&& f);
    // The same for an event about an entry of map (a call or a request): f gets the entry's iterator,
    // and an event about an entry the layer no longer has is dropped too.
    template <typename Map, typename F>
    void whenFound(unsigned generation, Map& map, typename Map::key_type key, F&& f);

    // Sink entry points (any thread); generation tells events of replaced devices apart.
    CallId sinkOffer(unsigned generation, DWORD deviceId, const CallData& data);
    void sinkCallState(unsigned generation, CallId call, DWORD state, DWORD mode);
    void sinkCallInfo(unsigned generation, CallId call, const CallData& data, DWORD changed);
    void sinkLineState(unsigned generation, DWORD deviceId, DWORD state, DWORD p2, DWORD p3);
    void sinkDigit(unsigned generation, CallId call, char digit, DWORD mode);
    void sinkGenerated(unsigned generation, CallId call, DWORD termination);
    void sinkReply(unsigned generation, RequestId request, LONG result);

    std::mutex m_loadMutex; // serialises loading; never taken while m_mutex is held
    std::mutex m_mutex;     // guards everything below
    bool m_loaded = false;
    unsigned m_generation = 0;
    std::string m_path;
    TelephonyConfig m_config;
    std::vector<std::string> m_problems;
    std::vector<Device> m_devices;
    std::map<HLINEAPP, App> m_apps;
    std::map<HPHONEAPP, int> m_phoneApps;
    std::map<HLINE, OpenLine> m_lines;
    std::map<HCALL, CallHandle> m_handles;
    std::map<CallId, CallRecord> m_calls;
    std::map<RequestId, Request> m_requests;
    DWORD m_nextHandle = 0x00010000;
    CallId m_nextCall = 1;
    RequestId m_nextRequest = 1;
};

} // namespace kalvo::telephony
