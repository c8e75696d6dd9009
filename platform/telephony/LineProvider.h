// The interface between the telephony layer and its line providers (sim, sip, modem): what a provider tells
// the layer about a line and its calls, and the commands the layer gives a line.
#pragma once

#include "Telephony.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kalvo::telephony {

// Layer-wide identifier of a call, allocated by the layer (never 0, never reused).
using CallId = uint32_t;
// Identifier of an asynchronous request; the positive value lineAnswer/lineDrop/lineMakeCall returned.
using RequestId = int32_t;

// One [LineN] section of the telephony configuration.
struct LineConfig
{
    DWORD deviceId = 0;                      // N of [LineN]
    std::string name;                        // "name"
    std::string provider;                    // "provider"
    std::map<std::string, std::string> keys; // every other key, as written (trimmed)
    std::string configPath; // the file it came from (relative paths in values are relative to it)
};

// What a line can do; turned into LINEDEVCAPS and LINEADDRESSCAPS by the layer.
struct LineCaps
{
    std::string name;         // line name (LINEDEVCAPS LineName)
    std::string providerInfo; // e.g. "Kalvo SIP line" (ProviderInfo)
    std::string switchInfo;   // e.g. the listening address (SwitchInfo)
    DWORD permanentLineId = 0;
    DWORD mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE;
    DWORD bearerModes = LINEBEARERMODE_VOICE;
    DWORD maxRate = 0;
    DWORD callerIdFlags = LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME | LINECALLPARTYID_UNKNOWN;
    DWORD generateDigitModes = LINEDIGITMODE_DTMF;
    DWORD monitorDigitModes = LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND;
    DWORD lineStates = LINEDEVSTATE_RINGING | LINEDEVSTATE_CONNECTED | LINEDEVSTATE_DISCONNECTED |
                       LINEDEVSTATE_INSERVICE | LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_OPEN |
                       LINEDEVSTATE_CLOSE | LINEDEVSTATE_REINIT;
    DWORD numTerminals = 0;
    DWORD maxNumActiveCalls = 1;
    DWORD lineFeatures = LINEFEATURE_MAKECALL;
    DWORD highestApiVersion = TAPI_VERSION_1_4; // a device that refuses 1.4 says TAPI_VERSION_1_0 here
};

// Caller, called party and media of a call; an absent optional means "not known" (its flag is
// cleared), an empty string a known but empty text.
struct CallData
{
    DWORD mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
    DWORD bearerMode = LINEBEARERMODE_VOICE;
    DWORD rate = 0;
    DWORD origin = LINECALLORIGIN_EXTERNAL;
    DWORD reason = LINECALLREASON_DIRECT;
    std::optional<std::string> callerNumber;
    std::optional<std::string> callerName;
    // Why the caller's number (or, with a number, its name) is missing: LINECALLPARTYID_BLOCKED
    // (withheld by the caller), _OUTOFAREA (the network could not give it), _UNAVAIL (none sent for
    // this call) or _UNKNOWN (not known yet: the line may still send it).
    DWORD callerAbsence = LINECALLPARTYID_UNKNOWN;
    std::optional<std::string> calledNumber;
    std::optional<std::string> calledName;
    std::string displayableAddress;
};

// The layer's side: how a provider reports what happens on its line. Every function may be called
// from any thread (the SIP thread included), also from inside a LineDevice command; none of them
// calls back into the provider, they only update the layer's state and queue notifications.
class LineEventSink
{
public:
    virtual ~LineEventSink() = default;

    // A new incoming call in the OFFERING state; every application with the line open gets a
    // handle and LINE_CALLSTATE OFFERING (the first owner with LINECALLPRIVILEGE_OWNER, everyone
    // else with MONITOR). Send callInfo(CALLERID) next, also when the caller is unknown.
    // @return its id, or 0 when the device is being replaced (then report nothing more of it).
    virtual CallId offerCall(const CallData& data) = 0;

    // The call moved to state (LINECALLSTATE_); mode is the state's mode (the disconnect mode for
    // DISCONNECTED). IDLE ends the call on the provider's side; handles live on until deallocated.
    virtual void callState(CallId call, DWORD state, DWORD mode = 0) = 0;

    // The call's information changed (LINECALLINFOSTATE_ bits in changed, CALLERID for caller id);
    // sends LINE_CALLINFO even when nothing differs.
    virtual void callInfo(CallId call, const CallData& data, DWORD changed) = 0;

    // The line rings for the ringCount-th time (1, 2, ...) of the offered call: LINE_LINEDEVSTATE
    // RINGING with ringMode in dwParam2 and ringCount in dwParam3, to handles that asked for it.
    virtual void ring(DWORD ringCount, DWORD ringMode = 1) = 0;

    // Any other line device state (LINEDEVSTATE_INSERVICE, _OUTOFSERVICE ...), filtered the same way.
    virtual void lineState(DWORD state, DWORD param2 = 0, DWORD param3 = 0) = 0;

    // The remote party sent a digit ('0'-'9', '*', '#', 'A'-'D') detected in mode; LINE_MONITORDIGITS
    // to each handle of the call that monitors that mode.
    virtual void digit(CallId call, char digit, DWORD mode = LINEDIGITMODE_DTMF) = 0;

    // lineGenerateDigits finished (LINEGENERATETERM_DONE) or was cancelled: LINE_GENERATE.
    virtual void digitsGenerated(CallId call, DWORD termination = LINEGENERATETERM_DONE) = 0;

    // An asynchronous request finished: LINE_REPLY(request, result) to the application that made it.
    // result is 0 or a negative LINEERR_ code.
    virtual void completeRequest(RequestId request, LONG result) = 0;
};

// The wave devices of a line in the wave device table (kalvo::wave ids), or 0xFFFFFFFF when absent.
struct LineWaveIds
{
    DWORD waveIn = 0xFFFFFFFFu;
    DWORD waveOut = 0xFFFFFFFFu;
};

// The provider's side: one line device. The layer calls these from the application's thread and
// never while holding its own lock, so a command may call the sink at once (the notification still
// reaches the application later, through its event loop).
class LineDevice
{
public:
    virtual ~LineDevice() = default;

    // The line's capabilities; stable while the device exists.
    virtual LineCaps caps() const = 0;

    // The first application opened the line / the last one closed it (start and stop listening).
    virtual void open() {}
    virtual void close() {}

    // Answers the offered call. @return 0 when accepted (finish with completeRequest(request, ...),
    // then callState CONNECTED), or a negative LINEERR_ code returned to the application at once.
    virtual LONG answer(CallId call, RequestId request) = 0;

    // The application lets the offered call ring (lineAccept): a line that tells the caller it
    // rings only now does so here, and reports ACCEPTED. Same result rules as answer; a line that
    // always rings keeps the default.
    virtual LONG accept(CallId call, RequestId request)
    {
        (void)call;
        (void)request;
        return LINEERR_OPERATIONUNAVAIL;
    }

    // Drops the call (DISCONNECTED, then IDLE). Same result rules as answer. request 0 is the
    // layer's own drop when the call's last owner closes its line or shuts down: do it at once, no
    // reply is wanted (completeRequest(0, ...) is ignored).
    virtual LONG drop(CallId call, RequestId request) = 0;

    // Places a call the layer has created as call. Same result rules as answer; report progress with
    // callState (DIALING, PROCEEDING, CONNECTED ...).
    virtual LONG makeCall(CallId call, const std::string& address, RequestId request) = 0;

    // Sends digits on the call; report the end with digitsGenerated. @return 0 or LINEERR_.
    virtual LONG generateDigits(CallId call, const std::string& digits, DWORD mode, DWORD durationMs) = 0;

    // The digit modes wanted for the call changed (the union over its handles; 0 = none). Providers
    // that always detect may ignore it. @return 0 or LINEERR_.
    virtual LONG monitorDigits(CallId call, DWORD modes)
    {
        (void)call;
        (void)modes;
        return 0;
    }

    // Every application released the idle call; the provider may forget it.
    virtual void deallocate(CallId call) { (void)call; }

    // Whether the open line can take calls now; when it cannot, reason says why in one line (UTF-8).
    // When it can, reason may hold a notice the user must see in the log (an unsafe setting).
    virtual bool inService(std::string& reason) const
    {
        (void)reason;
        return true;
    }

    // Whether the open line can carry a conversation: its wave-in and wave-out devices streaming at
    // the same time. When it cannot, reason says why in a short plain sentence (UTF-8).
    virtual bool canTalk(std::string& reason) const
    {
        (void)reason;
        return true;
    }

    // How a caller reaches the open line, in one short line for the user (a SIP address a softphone
    // dials, a modem's port); empty when there is nothing to say.
    virtual std::string reachAddress() const { return {}; }

    // Whether the open line is still reaching its device (a modem being set up): then it is neither
    // in service nor out of service yet, and reports LINEDEVSTATE_INSERVICE or _OUTOFSERVICE once it
    // knows. open() never waits for that.
    virtual bool opening() const { return false; }

    // The line's wave-in and wave-out devices (registered by the provider in the wave device table).
    virtual LineWaveIds waveDevices() const = 0;
};

// A provider by name: makes line devices from configuration sections.
class LineProvider
{
public:
    virtual ~LineProvider() = default;

    // The name used as "provider = ..." in the configuration.
    virtual std::string name() const = 0;

    // The provider's own keys (beside name and provider); other keys are reported as unknown.
    virtual std::vector<std::string> knownKeys() const = 0;

    // Creates the device of one section, reporting to events. On failure returns null and sets
    // error to a one-line reason (the line is then left out).
    virtual std::unique_ptr<LineDevice> createLine(const LineConfig& config, LineEventSink& events,
                                                   std::string& error) = 0;
};

} // namespace kalvo::telephony
