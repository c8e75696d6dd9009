// The desktop's autostart entry for Kalvo, which stands behind the "Run" value of the registry.
#pragma once

#include <string>

namespace kalvo::registry {

// The registry key whose value "Kalvo" is backed by the autostart entry.
extern const char* const kRunKeyPath;
extern const char* const kRunValueName;

class AutostartEntry
{
public:
    // $XDG_CONFIG_HOME/autostart/kalvo.desktop
    static std::string filePath();

    // The entry's command; false when there is no entry.
    static bool read(std::string& command);
    // Writes (replaces) the entry with this command, atomically. false on failure.
    static bool write(const std::string& command);
    // Removes the entry. false when there was none.
    static bool remove();
};

} // namespace kalvo::registry
