/* Telephony API 1.4 stand-in: the line and phone functions with their Windows names, argument order
 * and result conventions (0 success, a negative LINEERR_/PHONEERR_ code, or a positive request id
 * for an asynchronous request that later completes with LINE_REPLY).
 *
 * Notifications: each application's callback runs on the thread that called lineInitialize (or
 * phoneInitialize), from that thread's Qt event loop, one at a time, in the order the lines produced
 * them, and never inside a line or phone call. A notification for an application, line or call that
 * no longer exists is dropped. Variable-size structures follow the Windows rules: dwTotalSize is the
 * caller's room; below the fixed part the result is LINEERR_STRUCTURETOOSMALL; otherwise the fixed
 * part is filled, dwNeededSize tells the full size, and a variable field that does not fit is left
 * out (size and offset 0). Nothing is ever written past dwTotalSize. */
#ifndef KALVO_PLATFORM_TELEPHONY_H
#define KALVO_PLATFORM_TELEPHONY_H

#include "TelephonyTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Line: initialisation ---- */

/* Registers an application: reads the telephony configuration on first use, returns a new
 * application handle and the number of line devices. lpfnCallback receives this application's
 * notifications on the calling thread. @return 0, LINEERR_INVALPOINTER or LINEERR_NOMEM. */
LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                    const char* lpszAppName, DWORD* lpdwNumDevs);

/* Closes every line of the application (dropping their calls), frees its call handles and
 * discards its pending notifications. @return 0 or LINEERR_INVALAPPHANDLE. */
LONG lineShutdown(HLINEAPP hLineApp);

/* Picks the highest version in [low, high] that the device supports (1.0 to 1.4 unless the device
 * refuses 1.4). @return 0, LINEERR_BADDEVICEID, LINEERR_INCOMPATIBLEAPIVERSION, LINEERR_INVALAPPHANDLE. */
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion, LINEEXTENSIONID* lpExtensionID);

/* ---- Line: devices ---- */

/* Opens a line device. dwPrivileges is a combination of LINECALLPRIVILEGE_ (OWNER requires media
 * modes); owners are offered incoming calls, monitors see them. dwCallbackInstance comes back with
 * every notification of this line and its calls. lpCallParams is ignored. @return 0, LINEERR_. */
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
              const LINECALLPARAMS* lpCallParams);

/* Closes a line; calls this line owned alone are dropped and their handles freed. @return 0 or
 * LINEERR_INVALLINEHANDLE. */
LONG lineClose(HLINE hLine);

/* Fills LINEDEVCAPS (line name, provider info, media and digit modes, line states ...).
 * @return 0, LINEERR_STRUCTURETOOSMALL, LINEERR_BADDEVICEID, LINEERR_INCOMPATIBLEAPIVERSION. */
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS* lpLineDevCaps);

/* Fills LINEADDRESSCAPS for address 0 (the only address of every line). @return 0 or LINEERR_. */
LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                        DWORD dwExtVersion, LINEADDRESSCAPS* lpAddressCaps);

/* Chooses which LINE_LINEDEVSTATE (and LINE_ADDRESSSTATE) notifications this line handle receives;
 * none until this is called. States the device does not report give LINEERR_INVALLINESTATE. */
LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates);

/* Device identifiers of a class: "wave/in", "wave/out", "wave/in/out" (two ids), "tapi/phone".
 * dwSelect LINECALLSELECT_LINE uses hLine, LINECALLSELECT_CALL uses hCall (ids of a call exist only
 * while it is not idle). @return 0, LINEERR_INVALDEVICECLASS, LINEERR_NODEVICE, LINEERR_INVALCALLSELECT,
 * LINEERR_INVALLINEHANDLE, LINEERR_INVALCALLHANDLE, LINEERR_STRUCTURETOOSMALL. */
LONG lineGetID(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING* lpDeviceID,
               const char* lpszDeviceClass);

/* Fills LINEDEVSTATUS of an open line: opens, media modes, active calls, features and
 * dwDevStatusFlags (CONNECTED, and INSERVICE while the line can take calls). While it is out of
 * service the device-specific part holds the provider's reason (UTF-8, zero-terminated). When the
 * line cannot carry a conversation (its wave devices cannot stream both ways at once), a second
 * zero-terminated text after that one says why (the first is then empty while in service).
 * @return 0, LINEERR_INVALLINEHANDLE, LINEERR_INVALPOINTER, LINEERR_STRUCTURETOOSMALL. */
LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* lpLineDevStatus);

/* ---- Line: calls ---- */

/* Answers an offered call (owner only). Asynchronous: @return a request id (> 0), or LINEERR_
 * (INVALCALLHANDLE, NOTOWNER, INVALCALLSTATE ...). */
LONG lineAnswer(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);

/* Lets an offered call ring (owner only): a line that tells the caller it rings only once the
 * application allows it does so now and reports LINECALLSTATE_ACCEPTED. Asynchronous like
 * lineAnswer; LINEERR_OPERATIONUNAVAIL from a line that always rings. */
LONG lineAccept(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);

/* Drops a call (owner only); the call goes DISCONNECTED then IDLE. Asynchronous like lineAnswer. */
LONG lineDrop(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);

/* Places a call to lpszDestAddress; *lphCall is the new call handle as soon as the request is
 * accepted. Asynchronous like lineAnswer. */
LONG lineMakeCall(HLINE hLine, HCALL* lphCall, const char* lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS* lpCallParams);

/* Frees the application's handle of a call. The only owner of a call that is not idle must drop
 * it first. @return 0, LINEERR_INVALCALLHANDLE, LINEERR_INVALCALLSTATE. */
LONG lineDeallocateCall(HCALL hCall);

/* Sends digits on a connected call; LINE_GENERATE (LINEGENERATETERM_DONE) follows when all are
 * sent. dwDuration 0 is the provider's default. @return 0 or LINEERR_ (INVALDIGITMODE, INVALDIGITS ...). */
LONG lineGenerateDigits(HCALL hCall, DWORD dwDigitMode, const char* lpszDigits, DWORD dwDuration);

/* Turns digit monitoring for this call handle on (dwDigitModes) or off (0); LINE_MONITORDIGITS
 * arrive only while it is on. @return 0 or LINEERR_INVALCALLHANDLE, LINEERR_INVALDIGITMODE,
 * LINEERR_INVALCALLSTATE (idle call). */
LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes);

/* Routes a class of information to a terminal; every line here has its terminals wired to the
 * media stream, so this only checks its arguments. @return 0 or LINEERR_. */
LONG lineSetTerminal(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, DWORD dwTerminalModes,
                     DWORD dwTerminalID, DWORD bEnable);

/* Fills LINECALLINFO: hLine of this application, media mode, states, origin, caller id (number in
 * CallerID, name in CallerIDName, both null-terminated), called id. @return 0 or LINEERR_. */
LONG lineGetCallInfo(HCALL hCall, LINECALLINFO* lpCallInfo);

/* ---- Line: dialogs and location ---- */

/* There is no dialling-rules dialog: the location lives in the telephony configuration. Prints
 * where it is on standard error. @return 0, LINEERR_BADDEVICEID, LINEERR_INCOMPATIBLEAPIVERSION. */
LONG lineTranslateDialog(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                         const char* lpszAddressIn);

/* Opens the telephony configuration file in the desktop's editor (a line is configured there).
 * @return 0, LINEERR_BADDEVICEID, LINEERR_OPERATIONFAILED. */
LONG lineConfigDialog(DWORD dwDeviceID, HWND hwndOwner, const char* lpszDeviceClass);

/* Copies the country code and area code of section [location] into the two buffers (at least 8
 * bytes each; longer texts are cut to 7 bytes). @return 0 or LINEERR_INIFILECORRUPT (no location). */
LONG tapiGetLocationInfo(char* lpszCountryCode, char* lpszCityCode);

/* ---- Phone ---- */

/* Registers a phone application. @return 0 and *lpdwNumDevs (phone devices), PHONEERR_INVALPOINTER. */
LONG phoneInitialize(HPHONEAPP* lphPhoneApp, HINSTANCE hInstance, PHONECALLBACK lpfnCallback,
                     const char* lpszAppName, DWORD* lpdwNumDevs);

/* Negotiates the phone API version. @return 0, PHONEERR_BADDEVICEID, PHONEERR_INCOMPATIBLEAPIVERSION. */
LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                              DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion, PHONEEXTENSIONID* lpExtensionID);

/* Opens a phone device. @return 0 or PHONEERR_. */
LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, HPHONE* lphPhone, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivilege);

/* Fills PHONECAPS. @return 0, PHONEERR_STRUCTURETOOSMALL, PHONEERR_BADDEVICEID. */
LONG phoneGetDevCaps(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     PHONECAPS* lpPhoneCaps);

/* Chooses the PHONE_STATE notifications of a phone handle. @return 0 or PHONEERR_. */
LONG phoneSetStatusMessages(HPHONE hPhone, DWORD dwPhoneStates, DWORD dwButtonModes, DWORD dwButtonStates);

/* Sets the hook switch of a phone device. @return 0 or PHONEERR_. */
LONG phoneSetHookSwitch(HPHONE hPhone, DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode);

/* Closes a phone handle. @return 0 or PHONEERR_INVALPHONEHANDLE. */
LONG phoneClose(HPHONE hPhone);

/* Closes the application's phones and forgets it. @return 0 or PHONEERR_INVALAPPHANDLE. */
LONG phoneShutdown(HPHONEAPP hPhoneApp);

#ifdef __cplusplus
}
#endif

#endif
