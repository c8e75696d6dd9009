// The line provider "modem": telephone lines through voice modems on serial ports.
#pragma once

#include "LineProvider.h"

namespace kalvo::modem {

class ModemProvider : public kalvo::telephony::LineProvider
{
public:
    std::string name() const override { return "modem"; }
    std::vector<std::string> knownKeys() const override;
    std::unique_ptr<kalvo::telephony::LineDevice> createLine(const kalvo::telephony::LineConfig& config,
                                                             kalvo::telephony::LineEventSink& events,
                                                             std::string& error) override;
};

} // namespace kalvo::modem
