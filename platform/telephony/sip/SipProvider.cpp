// The SIP line provider.
#include "SipProvider.h"

#include "SipLine.h"
#include "SipSettings.h"

namespace kalvo::sip {

std::vector<std::string> SipProvider::knownKeys() const
{
    return SipSettings::keys();
}

std::unique_ptr<kalvo::telephony::LineDevice>
SipProvider::createLine(const kalvo::telephony::LineConfig& config, kalvo::telephony::LineEventSink& events,
                        std::string& error)
{
    SipSettings settings;
    if (!SipSettings::parse(config, settings, error))
        return nullptr;
    return std::make_unique<SipLine>(config, std::move(settings), events);
}

} // namespace kalvo::sip

// This provider's entry in the list the build assembles (kalvo_line_provider in CMake).
namespace kalvo::telephony::providers {
std::unique_ptr<LineProvider> sip()
{
    return std::make_unique<kalvo::sip::SipProvider>();
}
} // namespace kalvo::telephony::providers
