// The providers built into this program. A new provider adds its line here and links its library
// into kalvo_telephony (platform/telephony/CMakeLists.txt, as WHOLE_ARCHIVE).
#include "ModemProvider.h"
#include "ProviderRegistry.h"
#include "SimProvider.h"
#include "SipProvider.h"

namespace kalvo::telephony {

void addBuiltinProviders(ProviderRegistry& registry)
{
    registry.add(std::make_unique<kalvo::sim::SimProvider>());
    registry.add(std::make_unique<kalvo::sip::SipProvider>());
    registry.add(std::make_unique<kalvo::modem::ModemProvider>());
}

} // namespace kalvo::telephony
