// Names of the telephony constants, for printing notifications the way the API spells them.
#pragma once

#include "Telephony.h"

#include <string>

namespace kalvo::line {

std::string resultName(LONG result);        // "SUCCESS", "LINEERR_INUSE", or the number
std::string messageName(DWORD msg);         // "LINE_CALLSTATE" ...
std::string callStateName(DWORD state);     // "LINECALLSTATE_OFFERING" ...
std::string devStateName(DWORD state);      // "LINEDEVSTATE_RINGING" ...
std::string disconnectModeName(DWORD mode); // "LINEDISCONNECTMODE_NORMAL" ...
std::string mediaModeName(DWORD modes);     // bits joined with "|"
std::string digitModeName(DWORD modes);
std::string callInfoStateName(DWORD states);
std::string privilegeName(DWORD privilege);

} // namespace kalvo::line
