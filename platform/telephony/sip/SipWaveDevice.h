// A wave device of a SIP line: wave out feeds the frames sent to the caller, wave in receives the
// frames decoded from the caller. The line's media clock drives both from the SIP thread.
#pragma once

#include "LineWaveDevice.h"

namespace kalvo::sip {

class SipWaveDevice : public kalvo::telephony::LineWaveDevice
{
public:
    using LineWaveDevice::LineWaveDevice;
};

} // namespace kalvo::sip
