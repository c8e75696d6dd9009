// The keys and values of one registry root, and their text form (the regedit export format).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kalvo::registry {

struct RegistryValue
{
    std::string name; // empty for the key's default value
    uint32_t type = 0;
    std::string data; // the stored bytes, exactly as written
};

struct RegistryKey
{
    std::string path; // below the root, parts separated by '\', case kept as first created
    std::vector<RegistryValue> values;
};

// Key paths and value names compare without regard to ASCII case, as the registry does.
bool sameName(const std::string& a, const std::string& b);

// Removes leading, trailing and doubled separators: "\SOFTWARE\\Kalvo\" becomes "SOFTWARE\Kalvo".
std::string normaliseKeyPath(const std::string& path);

class RegistryHive
{
public:
    // rootName is the name the file's section headers start with, e.g. "HKEY_LOCAL_MACHINE".
    explicit RegistryHive(std::string rootName);

    // Reads the export text; false (and a reason) when it does not parse. An empty text is an empty hive.
    bool parse(const std::string& text, std::string& error);
    std::string serialise() const;

    RegistryKey* findKey(const std::string& path);
    const RegistryKey* findKey(const std::string& path) const;
    // Finds or creates the key and its missing parents.
    RegistryKey& createKey(const std::string& path);
    // Removes a key; false when it has sub-keys.
    bool removeKey(const std::string& path);
    // The names of the direct sub-keys of path, in file order.
    std::vector<std::string> subKeys(const std::string& path) const;

    static RegistryValue* findValue(RegistryKey& key, const std::string& name);
    static const RegistryValue* findValue(const RegistryKey& key, const std::string& name);

private:
    std::string m_rootName;
    std::vector<RegistryKey> m_keys;
};

} // namespace kalvo::registry
