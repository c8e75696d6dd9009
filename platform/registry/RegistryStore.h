// Where each registry root lives on disk, and the locked, crash-safe read-modify-write of its file.
#pragma once

#include "RegistryHive.h"

#include <functional>
#include <string>
#include <vector>

namespace kalvo::registry {

// The folder of the root files: $KALVO_REGISTRY_DIR, else $XDG_CONFIG_HOME/kalvo/registry.
std::string registryDirectory();

// The files moved aside because they did not parse, since the last call; each is named once, so
// the program can tell its user once.
std::vector<std::string> takeMovedAsideFiles();

class RegistryStore
{
public:
    // rootName: "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER" or "HKEY_CLASSES_ROOT".
    explicit RegistryStore(std::string rootName);

    std::string filePath() const;

    // Reads the root's file as it is now. A file that does not parse is moved aside with a
    // timestamp (and reported on standard error), and reads as empty.
    RegistryHive load() const;

    // Loads the hive under an exclusive lock, lets change() edit it, and when change() returns
    // true writes it to a temporary file, flushes it and renames it over the old one.
    // @return false when the file could not be written (the old file stays).
    bool update(const std::function<bool(RegistryHive&)>& change) const;

private:
    RegistryHive loadUnlocked() const;

    std::string m_rootName;
};

} // namespace kalvo::registry
