// What the SIP line reads from requests: caller identification of an INVITE, the key of an INFO.
#pragma once

#include "LineProvider.h"

struct sip_msg;

namespace kalvo::sip {

// The call data of an INVITE: the number is the user part of P-Asserted-Identity when present,
// else of From; the name is that header's display name. Absent parts stay unset.
kalvo::telephony::CallData callDataFromInvite(const struct sip_msg* msg);

// The key of an INFO body: "Signal=5" for application/dtmf-relay (10 and 11 for '*' and '#'),
// "5" for application/dtmf. @return the key ('0'-'9', '*', '#', 'A'-'D'), or 0 when there is none.
char infoDigit(const struct sip_msg* msg);

} // namespace kalvo::sip
