/* Telephony API stand-in: the structure layouts exactly as the Windows line and phone API defines
 * them (every field 32-bit, the 1.4 fixed-part sizes), checked at compile time. */
#ifndef KALVO_PLATFORM_TELEPHONY_STRUCTURES_H
#define KALVO_PLATFORM_TELEPHONY_STRUCTURES_H

#include "TelephonyBaseTypes.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Structures (1.4 layouts; every field 32-bit, variable data follows the fixed part) ---- */

typedef struct linedialparams_tag
{
    DWORD dwDialPause;
    DWORD dwDialSpeed;
    DWORD dwDigitDuration;
    DWORD dwWaitForDialtone;
} LINEDIALPARAMS;

typedef struct lineextensionid_tag
{
    DWORD dwExtensionID0;
    DWORD dwExtensionID1;
    DWORD dwExtensionID2;
    DWORD dwExtensionID3;
} LINEEXTENSIONID;

typedef LINEEXTENSIONID PHONEEXTENSIONID;

typedef struct linedevcaps_tag
{
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwSwitchInfoSize;
    DWORD dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize;
    DWORD dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes;
    DWORD dwNumAddresses;
    DWORD dwBearerModes;
    DWORD dwMaxRate;
    DWORD dwMediaModes;
    DWORD dwGenerateToneModes;
    DWORD dwGenerateToneMaxNumFreq;
    DWORD dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq;
    DWORD dwMonitorToneMaxNumEntries;
    DWORD dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout;
    DWORD dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize;
    DWORD dwMedCtlMediaMaxListSize;
    DWORD dwMedCtlToneMaxListSize;
    DWORD dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags;
    DWORD dwMaxNumActiveCalls;
    DWORD dwAnswerMode;
    DWORD dwRingModes;
    DWORD dwLineStates;
    DWORD dwUUIAcceptSize;
    DWORD dwUUIAnswerSize;
    DWORD dwUUIMakeCallSize;
    DWORD dwUUIDropSize;
    DWORD dwUUISendUserUserInfoSize;
    DWORD dwUUICallInfoSize;
    LINEDIALPARAMS MinDialParams;
    LINEDIALPARAMS MaxDialParams;
    LINEDIALPARAMS DefaultDialParams;
    DWORD dwNumTerminals;
    DWORD dwTerminalCapsSize;
    DWORD dwTerminalCapsOffset;
    DWORD dwTerminalTextEntrySize;
    DWORD dwTerminalTextSize;
    DWORD dwTerminalTextOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwLineFeatures; /* 1.4 */
} LINEDEVCAPS, *LPLINEDEVCAPS;

typedef struct lineaddresscaps_tag
{
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwLineDeviceID;
    DWORD dwAddressSize;
    DWORD dwAddressOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwAddressSharing;
    DWORD dwAddressStates;
    DWORD dwCallInfoStates;
    DWORD dwCallerIDFlags;
    DWORD dwCalledIDFlags;
    DWORD dwConnectedIDFlags;
    DWORD dwRedirectionIDFlags;
    DWORD dwRedirectingIDFlags;
    DWORD dwCallStates;
    DWORD dwDialToneModes;
    DWORD dwBusyModes;
    DWORD dwSpecialInfo;
    DWORD dwDisconnectModes;
    DWORD dwMaxNumActiveCalls;
    DWORD dwMaxNumOnHoldCalls;
    DWORD dwMaxNumOnHoldPendingCalls;
    DWORD dwMaxNumConference;
    DWORD dwMaxNumTransConf;
    DWORD dwAddrCapFlags;
    DWORD dwCallFeatures;
    DWORD dwRemoveFromConfCaps;
    DWORD dwRemoveFromConfState;
    DWORD dwTransferModes;
    DWORD dwParkModes;
    DWORD dwForwardModes;
    DWORD dwMaxForwardEntries;
    DWORD dwMaxSpecificEntries;
    DWORD dwMinFwdNumRings;
    DWORD dwMaxFwdNumRings;
    DWORD dwMaxCallCompletions;
    DWORD dwCallCompletionConds;
    DWORD dwCallCompletionModes;
    DWORD dwNumCompletionMessages;
    DWORD dwCompletionMsgTextEntrySize;
    DWORD dwCompletionMsgTextSize;
    DWORD dwCompletionMsgTextOffset;
    DWORD dwAddressFeatures; /* 1.4 */
} LINEADDRESSCAPS, *LPLINEADDRESSCAPS;

typedef struct linecallinfo_tag
{
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    HLINE hLine;
    DWORD dwLineDeviceID;
    DWORD dwAddressID;
    DWORD dwBearerMode;
    DWORD dwRate;
    DWORD dwMediaMode;
    DWORD dwAppSpecific;
    DWORD dwCallID;
    DWORD dwRelatedCallID;
    DWORD dwCallParamFlags;
    DWORD dwCallStates;
    DWORD dwMonitorDigitModes;
    DWORD dwMonitorMediaModes;
    LINEDIALPARAMS DialParams;
    DWORD dwOrigin;
    DWORD dwReason;
    DWORD dwCompletionID;
    DWORD dwNumOwners;
    DWORD dwNumMonitors;
    DWORD dwCountryCode;
    DWORD dwTrunk;
    DWORD dwCallerIDFlags;
    DWORD dwCallerIDSize;
    DWORD dwCallerIDOffset;
    DWORD dwCallerIDNameSize;
    DWORD dwCallerIDNameOffset;
    DWORD dwCalledIDFlags;
    DWORD dwCalledIDSize;
    DWORD dwCalledIDOffset;
    DWORD dwCalledIDNameSize;
    DWORD dwCalledIDNameOffset;
    DWORD dwConnectedIDFlags;
    DWORD dwConnectedIDSize;
    DWORD dwConnectedIDOffset;
    DWORD dwConnectedIDNameSize;
    DWORD dwConnectedIDNameOffset;
    DWORD dwRedirectionIDFlags;
    DWORD dwRedirectionIDSize;
    DWORD dwRedirectionIDOffset;
    DWORD dwRedirectionIDNameSize;
    DWORD dwRedirectionIDNameOffset;
    DWORD dwRedirectingIDFlags;
    DWORD dwRedirectingIDSize;
    DWORD dwRedirectingIDOffset;
    DWORD dwRedirectingIDNameSize;
    DWORD dwRedirectingIDNameOffset;
    DWORD dwAppNameSize;
    DWORD dwAppNameOffset;
    DWORD dwDisplayableAddressSize;
    DWORD dwDisplayableAddressOffset;
    DWORD dwCalledPartySize;
    DWORD dwCalledPartyOffset;
    DWORD dwCommentSize;
    DWORD dwCommentOffset;
    DWORD dwDisplaySize;
    DWORD dwDisplayOffset;
    DWORD dwUserUserInfoSize;
    DWORD dwUserUserInfoOffset;
    DWORD dwHighLevelCompSize;
    DWORD dwHighLevelCompOffset;
    DWORD dwLowLevelCompSize;
    DWORD dwLowLevelCompOffset;
    DWORD dwChargingInfoSize;
    DWORD dwChargingInfoOffset;
    DWORD dwTerminalModesSize;
    DWORD dwTerminalModesOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
} LINECALLINFO, *LPLINECALLINFO;

typedef struct linecallparams_tag
{
    DWORD dwTotalSize;
    DWORD dwBearerMode;
    DWORD dwMinRate;
    DWORD dwMaxRate;
    DWORD dwMediaMode;
    DWORD dwCallParamFlags;
    DWORD dwAddressMode;
    DWORD dwAddressID;
    LINEDIALPARAMS DialParams;
    DWORD dwOrigAddressSize;
    DWORD dwOrigAddressOffset;
    DWORD dwDisplayableAddressSize;
    DWORD dwDisplayableAddressOffset;
    DWORD dwCalledPartySize;
    DWORD dwCalledPartyOffset;
    DWORD dwCommentSize;
    DWORD dwCommentOffset;
    DWORD dwUserUserInfoSize;
    DWORD dwUserUserInfoOffset;
    DWORD dwHighLevelCompSize;
    DWORD dwHighLevelCompOffset;
    DWORD dwLowLevelCompSize;
    DWORD dwLowLevelCompOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
} LINECALLPARAMS, *LPLINECALLPARAMS;

/* The state of an open line (lineGetLineDevStatus). The device-specific part, when present, is the
 * provider's reason text (UTF-8, zero-terminated) while the line is out of service. */
#define LINEDEVSTATUSFLAGS_CONNECTED 0x00000001u
#define LINEDEVSTATUSFLAGS_MSGWAIT 0x00000002u
#define LINEDEVSTATUSFLAGS_INSERVICE 0x00000004u
#define LINEDEVSTATUSFLAGS_LOCKED 0x00000008u

typedef struct linedevstatus_tag
{
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwNumOpens;
    DWORD dwOpenMediaModes;
    DWORD dwNumActiveCalls;
    DWORD dwNumOnHoldCalls;
    DWORD dwNumOnHoldPendCalls;
    DWORD dwLineFeatures;
    DWORD dwNumCallCompletions;
    DWORD dwRingMode;
    DWORD dwSignalLevel;
    DWORD dwBatteryLevel;
    DWORD dwRoamMode;
    DWORD dwDevStatusFlags;
    DWORD dwTerminalModesSize;
    DWORD dwTerminalModesOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
} LINEDEVSTATUS, *LPLINEDEVSTATUS;

/* Device identifiers from lineGetID: for "wave/in", "wave/out" and "tapi/phone" the string is one
 * DWORD id (STRINGFORMAT_BINARY); for "wave/in/out" two DWORDs, the wave-in id then the wave-out id. */
typedef struct varstring_tag
{
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwStringFormat;
    DWORD dwStringSize;
    DWORD dwStringOffset;
} VARSTRING, *LPVARSTRING;

typedef struct phonecaps_tag
{
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwPhoneInfoSize;
    DWORD dwPhoneInfoOffset;
    DWORD dwPermanentPhoneID;
    DWORD dwPhoneNameSize;
    DWORD dwPhoneNameOffset;
    DWORD dwStringFormat;
    DWORD dwPhoneStates;
    DWORD dwHookSwitchDevs;
    DWORD dwHandsetHookSwitchModes;
    DWORD dwSpeakerHookSwitchModes;
    DWORD dwHeadsetHookSwitchModes;
    DWORD dwVolumeFlags;
    DWORD dwGainFlags;
    DWORD dwDisplayNumRows;
    DWORD dwDisplayNumColumns;
    DWORD dwNumRingModes;
    DWORD dwNumButtonLamps;
    DWORD dwButtonModesSize;
    DWORD dwButtonModesOffset;
    DWORD dwButtonFunctionsSize;
    DWORD dwButtonFunctionsOffset;
    DWORD dwLampModesSize;
    DWORD dwLampModesOffset;
    DWORD dwNumSetData;
    DWORD dwSetDataSize;
    DWORD dwSetDataOffset;
    DWORD dwNumGetData;
    DWORD dwGetDataSize;
    DWORD dwGetDataOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
} PHONECAPS, *LPPHONECAPS;

#ifdef __cplusplus
}
#endif

/* The sizes and offsets the line control computes its buffer reads from. */
#ifdef __cplusplus
#define KALVO_TAPI_STATIC_ASSERT static_assert
#else
#define KALVO_TAPI_STATIC_ASSERT _Static_assert
#endif
KALVO_TAPI_STATIC_ASSERT(sizeof(LINEDIALPARAMS) == 16, "LINEDIALPARAMS size");
KALVO_TAPI_STATIC_ASSERT(sizeof(LINEEXTENSIONID) == 16, "LINEEXTENSIONID size");
KALVO_TAPI_STATIC_ASSERT(sizeof(LINEDEVCAPS) == 240, "LINEDEVCAPS 1.4 fixed part");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwLineNameSize) == 32, "LINEDEVCAPS.dwLineNameSize");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwLineNameOffset) == 36, "LINEDEVCAPS.dwLineNameOffset");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwMaxRate) == 56, "LINEDEVCAPS.dwMaxRate");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwMediaModes) == 60, "LINEDEVCAPS.dwMediaModes");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwGenerateDigitModes) == 72,
                         "LINEDEVCAPS.dwGenerateDigitModes");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwMonitorDigitModes) == 84, "LINEDEVCAPS.dwMonitorDigitModes");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwLineStates) == 128, "LINEDEVCAPS.dwLineStates");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwNumTerminals) == 204, "LINEDEVCAPS.dwNumTerminals");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVCAPS, dwLineFeatures) == 236, "LINEDEVCAPS.dwLineFeatures");
KALVO_TAPI_STATIC_ASSERT(sizeof(LINEADDRESSCAPS) == 180, "LINEADDRESSCAPS 1.4 fixed part");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEADDRESSCAPS, dwCallerIDFlags) == 44, "LINEADDRESSCAPS.dwCallerIDFlags");
KALVO_TAPI_STATIC_ASSERT(sizeof(LINECALLINFO) == 296, "LINECALLINFO 1.4 fixed part");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLINFO, hLine) == 12, "LINECALLINFO.hLine");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLINFO, dwMediaMode) == 32, "LINECALLINFO.dwMediaMode");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLINFO, dwCallerIDFlags) == 108, "LINECALLINFO.dwCallerIDFlags");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLINFO, dwCallerIDSize) == 112, "LINECALLINFO.dwCallerIDSize");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLINFO, dwCallerIDOffset) == 116, "LINECALLINFO.dwCallerIDOffset");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLINFO, dwCallerIDNameSize) == 120,
                         "LINECALLINFO.dwCallerIDNameSize");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLINFO, dwCallerIDNameOffset) == 124,
                         "LINECALLINFO.dwCallerIDNameOffset");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLINFO, dwDevSpecificOffset) == 292,
                         "LINECALLINFO.dwDevSpecificOffset");
KALVO_TAPI_STATIC_ASSERT(sizeof(LINECALLPARAMS) == 112, "LINECALLPARAMS 1.4 size");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINECALLPARAMS, dwCallParamFlags) == 20, "LINECALLPARAMS.dwCallParamFlags");
KALVO_TAPI_STATIC_ASSERT(sizeof(LINEDEVSTATUS) == 76, "LINEDEVSTATUS 1.4 fixed part");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVSTATUS, dwDevStatusFlags) == 56, "LINEDEVSTATUS.dwDevStatusFlags");
KALVO_TAPI_STATIC_ASSERT(offsetof(LINEDEVSTATUS, dwDevSpecificOffset) == 72,
                         "LINEDEVSTATUS.dwDevSpecificOffset");
KALVO_TAPI_STATIC_ASSERT(sizeof(VARSTRING) == 24, "VARSTRING fixed part");
KALVO_TAPI_STATIC_ASSERT(offsetof(VARSTRING, dwStringSize) == 16, "VARSTRING.dwStringSize");
KALVO_TAPI_STATIC_ASSERT(offsetof(VARSTRING, dwStringOffset) == 20, "VARSTRING.dwStringOffset");
KALVO_TAPI_STATIC_ASSERT(sizeof(PHONECAPS) == 144, "PHONECAPS 1.4 fixed part");
KALVO_TAPI_STATIC_ASSERT(offsetof(PHONECAPS, dwPhoneStates) == 44, "PHONECAPS.dwPhoneStates");
#undef KALVO_TAPI_STATIC_ASSERT

#endif
