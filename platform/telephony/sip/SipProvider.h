// The line provider "sip": SIP lines over libre/librem, one SIP/media thread per line.
#pragma once

#include "LineProvider.h"

namespace kalvo::sip {

class SipProvider : public kalvo::telephony::LineProvider
{
public:
    std::string name() const override { return "sip"; }
    std::vector<std::string> knownKeys() const override;
    std::unique_ptr<kalvo::telephony::LineDevice> createLine(const kalvo::telephony::LineConfig& config,
                                                             kalvo::telephony::LineEventSink& events,
                                                             std::string& error) override;
};

} // namespace kalvo::sip
