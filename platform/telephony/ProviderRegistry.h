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

// Fills registry with the providers built into this program (sim; sip once it is built). Defined in
// BuiltinProviders.cpp: a new provider adds one line there and its library to kalvo_telephony.
void addBuiltinProviders(ProviderRegistry& registry);

} // namespace kalvo::telephony
