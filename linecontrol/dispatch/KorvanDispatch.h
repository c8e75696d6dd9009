// The boundary between the line control library and its host: the variant, the two records, the
// dispatch and event-sink interfaces, the dispatch identifiers and the four self-registration entry
// points. Both sides include this header; the host never links the library, it loads it at run time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvan {

// ---- Result codes of the interfaces (the COM values, so logs read the same) ----
inline constexpr int32_t S_OK = 0;
inline constexpr int32_t S_FALSE = 1;
inline constexpr int32_t E_INVALIDARG = static_cast<int32_t>(0x80070057u);
inline constexpr int32_t E_POINTER = static_cast<int32_t>(0x80004003u);
inline constexpr int32_t E_FAIL = static_cast<int32_t>(0x80004005u);
inline constexpr int32_t E_NOINTERFACE = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t CLASS_E_CLASSNOTAVAILABLE = static_cast<int32_t>(0x80040111u);
inline constexpr int32_t SELFREG_E_CLASS = static_cast<int32_t>(0x80040201u);
inline constexpr int32_t DISP_E_MEMBERNOTFOUND = static_cast<int32_t>(0x80020003u);
inline constexpr int32_t DISP_E_TYPEMISMATCH = static_cast<int32_t>(0x80020005u);
inline constexpr int32_t DISP_E_EXCEPTION = static_cast<int32_t>(0x80020009u);
inline constexpr int32_t DISP_E_BADPARAMCOUNT = static_cast<int32_t>(0x8002000Eu);

// ---- Identity ----
inline constexpr const char* kProgId = "Korvan.Tapi";
inline constexpr const char* kClassId = "{5B0E7C31-9A4D-4F2E-8C61-2D7F3A9B1E04}";
inline constexpr const char* kDispatchInterfaceId = "{5B0E7C32-9A4D-4F2E-8C61-2D7F3A9B1E04}";

// ---- Enumerations of the type library (scoped: the telephony API's macros share the names) ----
enum class LINEMEDIAMODE : int32_t {
    UNKNOWN = 2,
    INTERACTIVEVOICE = 4,
    AUTOMATEDVOICE = 8,
    DATAMODEM = 16,
    G3FAX = 32
};
enum class LINECALLPRIVILEGE : int32_t { NONE = 1, MONITOR = 2, OWNER = 4 };
enum class DEVICECLASS : int32_t { WAVEIN = 1, WAVEOUT = 2, WAVEINOUT = 4, TAPIPHONE = 8 };

// Booleans cross as 16-bit values: True = -1, False = 0.
using VBool = int16_t;
inline constexpr VBool VTrue = -1;
inline constexpr VBool VFalse = 0;

// ---- Records ----
struct MediaMode
{
    VBool UNKNOWN = VFalse;
    VBool INTERACTIVEVOICE = VFalse;
    VBool AUTOMATEDVOICE = VFalse;
    VBool DATAMODEM = VFalse;
    VBool G3FAX = VFalse;
};

struct CallInf
{
    int32_t LineIndex = 0;
    MediaMode Mode;
    std::string sTime;
    std::string sDate;
    std::string sCallerName;
    std::string sCallerNumber;
    std::string sDeviceName;
};

struct LineDevCap
{
    VBool MediaUnknown = VFalse;
    VBool MediaInteractivevoice = VFalse;
    VBool MediaAutomatedvoice = VFalse;
    VBool MediaDatamodem = VFalse;
    VBool MediaG3fax = VFalse;
    VBool TapiCapability = VFalse;
    std::string DeviceName;
    int32_t MaxRate = 0;
    VBool Voice = VFalse;
    VBool CallerID = VFalse;
    VBool MonitorDigits = VFalse;
    VBool GenerateDigits = VFalse;
    VBool PhoneSupport = VFalse;
};

// ---- The variant ----
enum class VarType : uint16_t { Empty, Long, Bool, String, CallInfRef, LineDevCapRef };

// One argument or result. Long, Bool and String are held by value; a by-reference argument of
// those types is the same variant in the caller's vector, written back by the callee. The records
// always travel by reference: the pointer is the caller's record, which the callee fills.
struct Variant
{
    VarType type = VarType::Empty;
    int32_t lVal = 0;
    VBool boolVal = VFalse;
    std::string strVal;
    CallInf* callInf = nullptr;
    LineDevCap* lineDevCap = nullptr;

    static Variant empty() { return {}; }
    static Variant fromLong(int32_t v)
    {
        Variant r;
        r.type = VarType::Long;
        r.lVal = v;
        return r;
    }
    static Variant fromBool(bool v)
    {
        Variant r;
        r.type = VarType::Bool;
        r.boolVal = v ? VTrue : VFalse;
        return r;
    }
    static Variant fromString(std::string v)
    {
        Variant r;
        r.type = VarType::String;
        r.strVal = std::move(v);
        return r;
    }
    static Variant fromCallInf(CallInf* v)
    {
        Variant r;
        r.type = VarType::CallInfRef;
        r.callInf = v;
        return r;
    }
    static Variant fromLineDevCap(LineDevCap* v)
    {
        Variant r;
        r.type = VarType::LineDevCapRef;
        r.lineDevCap = v;
        return r;
    }
};

// The run-time error behind DISP_E_EXCEPTION: a number and its description (9, "Subscript out of
// range"; 13, "Type mismatch" ...).
struct ExcepInfo
{
    int32_t number = 0;
    std::string description;
};

// ---- Dispatch identifiers of _Tapi (methods) ----
enum TapiDispId : int32_t {
    DISPID_ShowAboutBox = -552,
    DISPID_LineGetCallInf = 0x60030003,
    DISPID_LineInitialize = 0x60030008,
    DISPID_LineDrop = 0x60030009,
    DISPID_LineAnswer = 0x6003000A,
    DISPID_lineSetTerminal = 0x6003000B,
    DISPID_LineMakeCall = 0x6003000C,
    DISPID_LineOpen = 0x6003000D,
    DISPID_LineGenerateDigits = 0x6003000E,
    DISPID_NumOfLines = 0x6003000F,
    DISPID_LineShutdown = 0x60030010,
    DISPID_LineClose = 0x60030011,
    DISPID_GetLocationInf = 0x60030013,
    DISPID_LineTranslateDialog = 0x60030015,
    DISPID_LineDialogLineConfig = 0x60030016,
    DISPID_GetTapiStrError = 0x60030017,
    DISPID_LineMonitorDigits = 0x60030018,
    DISPID_LineGetDevDetails = 0x6003001B,
    DISPID_lineGetID = 0x6003001F,
    DISPID_LineGetWaveOutID = 0x60030020,
    DISPID_LineOpened = 0x60030021,
    DISPID_LineConnected = 0x60030022,
    DISPID_PhoneInitialize = 0x60030023,
    DISPID_NumOfPhones = 0x60030024,
    DISPID_PhoneOpen = 0x60030025,
    DISPID_PhoneClose = 0x60030026,
    DISPID_PhoneShutdown = 0x60030027,
    DISPID_PhoneSetHookSwitch = 0x60030028,
    // LineInService(LineIndex) -> String: "" while the open line can take calls (or it is not open),
    // else why it cannot (the provider's reason, e.g. the SIP port is taken).
    DISPID_LineInService = 0x60030029,
    // LineOpening(LineIndex) -> Boolean: True while the open line is still reaching its device (a
    // modem being set up); a LineState event follows when it is in or out of service.
    DISPID_LineOpening = 0x6003002A,
    // LineCallerIDFlags(LineIndex) -> Long: the LINECALLPARTYID_ flags of the caller identification
    // read for the latest CallerID event (0 before one, or when it could not be read): which of name
    // and number it gave, and why a missing one is missing (BLOCKED, OUTOFAREA, UNAVAIL, UNKNOWN).
    DISPID_LineCallerIDFlags = 0x6003002B,
    // LineAccept(LineIndex) -> Long TAPI code: lets the offered call ring; a line that tells the
    // caller it rings (a SIP line's 180) does so only now, or after a short wait of its own.
    DISPID_LineAccept = 0x6003002C,
    // LineCannotTalk(LineIndex) -> String: "" while the open line can carry a conversation at the
    // desk (or it is not open), else why not in a short sentence (a modem without full-duplex voice).
    DISPID_LineCannotTalk = 0x6003002D,
    // LineReach(LineIndex) -> String: how a caller reaches the open line, for the user (a SIP
    // line's address, a modem's port and "ready"); "" when it says nothing or is not open.
    DISPID_LineReach = 0x6003002E,
};

// ---- Dispatch identifiers of __Tapi (events) ----
enum TapiEventId : int32_t {
    EVENTID_ProcError = 1,           // LineIndex, ProcNumber, ErrorNumber
    EVENTID_Dialing = 2,             // LineIndex
    EVENTID_InComeCall = 3,          // LineIndex
    EVENTID_MonitorDigit = 4,        // LineIndex, Digit
    EVENTID_Idle = 5,                // LineIndex
    EVENTID_Disconnected = 6,        // LineIndex
    EVENTID_Connected = 7,           // LineIndex
    EVENTID_Ring = 8,                // LineIndex, RingNumber
    EVENTID_CallerID = 9,            // LineIndex, CallerName, CallerNumber
    EVENTID_DoneGenerateDigits = 10, // LineIndex
    // LineIndex, InService (Bool), Reason: the open line went out of service (Reason says why) or
    // came back into service (Reason ""). The provider keeps trying; the line stays open meanwhile.
    EVENTID_LineState = 11
};

// The host's event sink: receives each event with its arguments by value, in the order the table
// above lists them, synchronously on the thread that created the control.
class IEventSink
{
public:
    virtual void Invoke(int32_t eventId, const std::vector<Variant>& arguments) = 0;

protected:
    ~IEventSink() = default;
};

// The control's dispatch interface. Reference counted: CreateInstance hands out one reference.
class ITapiDispatch
{
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

    // Calls a method by dispatch identifier. arguments are in declaration order; by-reference
    // arguments are written back into the vector. @return S_OK with *result set (Empty for methods
    // without one); DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT or DISP_E_TYPEMISMATCH for a call
    // that does not fit the method; DISP_E_EXCEPTION with *error filled for a run-time error of the
    // method (index out of range ...). result and error may be null.
    virtual int32_t Invoke(int32_t dispId, std::vector<Variant>& arguments, Variant* result,
                           ExcepInfo* error) = 0;

    // Connects the event sink (null disconnects). The sink must outlive the connection.
    virtual int32_t Advise(IEventSink* sink) = 0;

protected:
    ~ITapiDispatch() = default;
};

// The class object DllGetClassObject returns: makes controls.
class IClassFactory
{
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    // Creates a control. @return S_OK and *control (one reference), or E_POINTER.
    virtual int32_t CreateInstance(ITapiDispatch** control) = 0;

protected:
    ~IClassFactory() = default;
};

// ---- The library's entry points (looked up with dlsym) ----
extern "C" {
// Writes the ProgID, the class id and the library's path under HKEY_CLASSES_ROOT. @return S_OK or
// SELFREG_E_CLASS.
using DllRegisterServerFn = int32_t (*)();
// Removes what DllRegisterServer wrote. @return S_OK or SELFREG_E_CLASS.
using DllUnregisterServerFn = int32_t (*)();
// Hands out the class object of classId (kClassId). @return S_OK, CLASS_E_CLASSNOTAVAILABLE,
// E_NOINTERFACE or E_POINTER.
using DllGetClassObjectFn = int32_t (*)(const char* classId, const char* interfaceId, void** object);
// @return S_OK when no control or class object is alive (the library may be unloaded), else S_FALSE.
using DllCanUnloadNowFn = int32_t (*)();
}

// The interface id of IClassFactory for DllGetClassObject.
inline constexpr const char* kClassFactoryId = "{00000001-0000-0000-C000-000000000046}";

} // namespace korvan
