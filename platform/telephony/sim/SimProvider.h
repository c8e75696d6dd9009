// The provider `sim`: makes simulated lines from telephony.conf sections.
#pragma once

#include "LineProvider.h"

namespace kalvo::sim {

class SimProvider : public kalvo::telephony::LineProvider
{
public:
    std::string name() const override { return "sim"; }
    std::vector<std::string> knownKeys() const override;
    std::unique_ptr<kalvo::telephony::LineDevice> createLine(const kalvo::telephony::LineConfig& config,
                                                             kalvo::telephony::LineEventSink& events,
                                                             std::string& error) override;
};

} // namespace kalvo::sim
