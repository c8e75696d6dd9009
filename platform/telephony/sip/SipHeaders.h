// What the SIP line reads from requests: caller identification of an INVITE, the key of an INFO.
#pragma once

#include "LineProvider.h"

#include <string>
#include <string_view>

struct sip_msg;

namespace kalvo::sip {

// The call data of an INVITE: the number is the user part of P-Asserted-Identity when present and
// trusted (it came from the line's own registrar), else of From; the name is that header's display
// name. Every text is cleaned with cleanIdentity. Absent parts stay unset.
kalvo::telephony::CallData callDataFromInvite(const struct sip_msg* msg, bool trustAssertedIdentity = false);

// Caller-supplied text made safe to store and show: at most 128 characters (cut on a character
// boundary), control characters, line and paragraph separators, bidirectional controls and bytes
// that are not UTF-8 turned into spaces.
std::string cleanIdentity(std::string_view text);

// Why a request cannot be served as it stands (a missing To, From, Call-ID, CSeq or Via, a CSeq of
// another method, a Content-Length that is not the body's length). @return nullptr when it is whole.
const char* requestFault(const struct sip_msg* msg);

// The key of an INFO body: "Signal=5" for application/dtmf-relay (10 and 11 for '*' and '#'),
// "5" for application/dtmf. @return the key ('0'-'9', '*', '#', 'A'-'D'), or 0 when there is none.
char infoDigit(const struct sip_msg* msg);

} // namespace kalvo::sip
