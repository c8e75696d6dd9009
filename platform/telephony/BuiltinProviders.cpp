// The providers built into this program. A new provider adds its line here and links its library
// into kalvo_telephony (platform/telephony/CMakeLists.txt).
#include "ProviderRegistry.h"
#include "SimProvider.h"

namespace kalvo::telephony {

void addBuiltinProviders(ProviderRegistry& registry)
{
    registry.add(std::make_unique<kalvo::sim::SimProvider>());
}

} // namespace kalvo::telephony
