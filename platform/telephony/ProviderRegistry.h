// The line providers the telephony layer knows, by name.
#pragma once

#include "LineProvider.h"

#include <memory>
#include <string>
#include <vector>

namespace kalvo::telephony {

class ProviderRegistry
{
public:
    // Adds a provider; a later one with the same name replaces the earlier.
    void add(std::unique_ptr<LineProvider> provider);

    // The provider of a name, or null when none is built in.
    LineProvider* find(const std::string& name) const;

    // Names of every provider, in the order added.
    std::vector<std::string> names() const;

private:
    std::vector<std::unique_ptr<LineProvider>> m_providers;
};

// Fills registry with the providers built into this program, in the build's order. Generated from
// the providers that called kalvo_line_provider (platform/telephony/CMakeLists.txt): a new provider
// calls it from its own CMakeLists.txt and defines kalvo::telephony::providers::<name>().
void addBuiltinProviders(ProviderRegistry& registry);

} // namespace kalvo::telephony
