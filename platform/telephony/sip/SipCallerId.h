// Caller identification of an incoming INVITE: number and name from P-Asserted-Identity or From.
#pragma once

#include "LineProvider.h"

struct sip_msg;

namespace kalvo::sip {

// The call data of an INVITE: the number is the user part of P-Asserted-Identity when present,
// else of From; the name is that header's display name. Absent parts stay unset.
kalvo::telephony::CallData callDataFromInvite(const struct sip_msg* msg);

} // namespace kalvo::sip
