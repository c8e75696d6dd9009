// The line providers by name.
#include "ProviderRegistry.h"

#include <algorithm>

namespace kalvo::telephony {

void ProviderRegistry::add(std::unique_ptr<LineProvider> provider)
{
    std::string name = provider->name();
    auto same = std::find_if(m_providers.begin(), m_providers.end(),
                             [&](const std::unique_ptr<LineProvider>& p) { return p->name() == name; });
    if (same != m_providers.end())
        *same = std::move(provider);
    else
        m_providers.push_back(std::move(provider));
}

LineProvider* ProviderRegistry::find(const std::string& name) const
{
    for (const auto& p : m_providers)
        if (p->name() == name)
            return p.get();
    return nullptr;
}

std::vector<std::string> ProviderRegistry::names() const
{
    std::vector<std::string> result;
    for (const auto& p : m_providers)
        result.push_back(p->name());
    return result;
}

} // namespace kalvo::telephony
