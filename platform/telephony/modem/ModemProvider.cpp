// The modem line provider.
#include "ModemProvider.h"

#include "ModemLine.h"
#include "ModemSettings.h"

namespace kalvo::modem {

std::vector<std::string> ModemProvider::knownKeys() const
{
    return ModemSettings::keys();
}

std::unique_ptr<kalvo::telephony::LineDevice>
ModemProvider::createLine(const kalvo::telephony::LineConfig& config, kalvo::telephony::LineEventSink& events,
                          std::string& error)
{
    ModemSettings settings;
    if (!ModemSettings::parse(config, settings, error))
        return nullptr;
    return std::make_unique<ModemLine>(config, std::move(settings), events);
}

} // namespace kalvo::modem

// This provider's entry in the list the build assembles (kalvo_line_provider in CMake).
namespace kalvo::telephony::providers {
std::unique_ptr<LineProvider> modem()
{
    return std::make_unique<kalvo::modem::ModemProvider>();
}
} // namespace kalvo::telephony::providers
