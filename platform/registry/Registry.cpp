// The registry functions over the per-root files: a table of open key handles, and the Run value
// that lives in the desktop's autostart entry.
#include "Registry.h"

#include "AutostartEntry.h"
#include "RegistryStore.h"

#include <cstring>
#include <functional>
#include <map>
#include <mutex>

using namespace kalvo::registry;

namespace {

struct OpenKey
{
    const char* root = nullptr;
    std::string path;
};

std::mutex g_mutex;
std::map<HKEY, OpenKey> g_handles;
HKEY g_nextHandle = 0x100;

const char* rootName(HKEY h)
{
    switch (h) {
    case HKEY_CLASSES_ROOT:
        return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER:
        return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE:
        return "HKEY_LOCAL_MACHINE";
    default:
        return nullptr;
    }
}

bool resolve(HKEY h, OpenKey& key)
{
    if (const char* root = rootName(h)) {
        key = OpenKey{root, std::string()};
        return true;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_handles.find(h);
    if (it == g_handles.end())
        return false;
    key = it->second;
    return true;
}

HKEY newHandle(const OpenKey& key)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    // Handles stay below the root values and never reach 0.
    while (g_nextHandle == 0 || g_nextHandle >= 0x80000000u || g_handles.count(g_nextHandle))
        g_nextHandle = g_nextHandle >= 0x80000000u ? 0x100 : g_nextHandle + 1;
    HKEY h = g_nextHandle++;
    g_handles[h] = key;
    return h;
}

std::string join(const std::string& base, const char* sub)
{
    std::string s = normaliseKeyPath(sub ? sub : "");
    if (base.empty())
        return s;
    return s.empty() ? base : base + "\\" + s;
}

bool isRunKey(const OpenKey& key)
{
    return std::strcmp(key.root, "HKEY_LOCAL_MACHINE") == 0 && sameName(key.path, kRunKeyPath);
}

bool isRunValue(const OpenKey& key, const char* name)
{
    return isRunKey(key) && name && sameName(name, kRunValueName);
}

bool keyExists(const OpenKey& key)
{
    if (key.path.empty())
        return true;
    std::string command;
    if (isRunKey(key) && AutostartEntry::read(command))
        return true;
    return RegistryStore(key.root).load().findKey(key.path) != nullptr;
}

// Copies data out the way every query function does: size only, too small, or the bytes.
LONG copyOut(const std::string& bytes, uint32_t valueType, DWORD* type, BYTE* data, DWORD* cbData)
{
    if (data && !cbData)
        return ERROR_INVALID_PARAMETER;
    if (type)
        *type = valueType;
    if (!data) {
        if (cbData)
            *cbData = DWORD(bytes.size());
        return ERROR_SUCCESS;
    }
    if (*cbData < bytes.size()) {
        *cbData = DWORD(bytes.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    *cbData = DWORD(bytes.size());
    return ERROR_SUCCESS;
}

// The values of an open key in order, with the Run value where the autostart entry exists.
bool listValues(const OpenKey& key, std::vector<RegistryValue>& values)
{
    RegistryHive hive = RegistryStore(key.root).load();
    const RegistryKey* stored = hive.findKey(key.path);
    if (stored)
        values = stored->values;
    std::string command;
    if (isRunKey(key)) {
        std::erase_if(values, [](const RegistryValue& v) { return sameName(v.name, kRunValueName); });
        if (AutostartEntry::read(command))
            values.push_back(RegistryValue{kRunValueName, REG_SZ, command + '\0'});
    }
    return stored || !values.empty() || key.path.empty();
}

LONG editKey(const OpenKey& key, const std::function<LONG(RegistryKey&)>& edit)
{
    LONG result = ERROR_SUCCESS;
    bool written = RegistryStore(key.root).update([&](RegistryHive& hive) {
        RegistryKey* stored = key.path.empty() ? &hive.createKey("") : hive.findKey(key.path);
        result = stored ? edit(*stored) : ERROR_FILE_NOT_FOUND;
        return result == ERROR_SUCCESS;
    });
    return written ? result : ERROR_ACCESS_DENIED;
}

// The key subKey names below an open key, for RegOpenKeyA and RegCreateKeyA.
LONG subKeyOf(HKEY hKey, const char* subKey, PHKEY result, OpenKey& key)
{
    OpenKey base;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    if (!resolve(hKey, base))
        return ERROR_INVALID_HANDLE;
    key = OpenKey{base.root, join(base.path, subKey)};
    return ERROR_SUCCESS;
}

} // namespace

extern "C" {

LONG RegOpenKeyA(HKEY hKey, const char* subKey, PHKEY result)
{
    OpenKey key;
    if (const LONG status = subKeyOf(hKey, subKey, result, key); status != ERROR_SUCCESS)
        return status;
    if (!keyExists(key))
        return ERROR_FILE_NOT_FOUND;
    *result = key.path.empty() ? (rootName(hKey) ? hKey : newHandle(key)) : newHandle(key);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY hKey, const char* subKey, PHKEY result)
{
    OpenKey key;
    if (const LONG status = subKeyOf(hKey, subKey, result, key); status != ERROR_SUCCESS)
        return status;
    if (!key.path.empty()) {
        bool ok = RegistryStore(key.root).update([&](RegistryHive& hive) {
            if (hive.findKey(key.path))
                return false;
            hive.createKey(key.path);
            return true;
        });
        if (!ok)
            return ERROR_ACCESS_DENIED;
    }
    *result = (key.path.empty() && rootName(hKey)) ? hKey : newHandle(key);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, const char* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* cbData)
{
    OpenKey key;
    if (!resolve(hKey, key))
        return ERROR_INVALID_HANDLE;
    std::string command;
    if (isRunValue(key, valueName)) {
        if (!AutostartEntry::read(command))
            return ERROR_FILE_NOT_FOUND;
        return copyOut(command + '\0', REG_SZ, type, data, cbData);
    }
    RegistryHive hive = RegistryStore(key.root).load();
    const RegistryKey* stored = hive.findKey(key.path);
    const RegistryValue* value =
        stored ? RegistryHive::findValue(*stored, valueName ? valueName : "") : nullptr;
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    return copyOut(value->data, value->type, type, data, cbData);
}

LONG RegSetValueExA(HKEY hKey, const char* valueName, DWORD, DWORD type, const BYTE* data, DWORD cbData)
{
    OpenKey key;
    if (!resolve(hKey, key))
        return ERROR_INVALID_HANDLE;
    if (!data && cbData)
        return ERROR_INVALID_PARAMETER;
    std::string bytes(reinterpret_cast<const char*>(data), data ? cbData : 0);
    if (isRunValue(key, valueName)) {
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return ERROR_INVALID_PARAMETER;
        std::string command = bytes.substr(0, bytes.find('\0'));
        return AutostartEntry::write(command) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
    std::string name = valueName ? valueName : "";
    return editKey(key, [&](RegistryKey& stored) {
        if (RegistryValue* old = RegistryHive::findValue(stored, name)) {
            old->type = type;
            old->data = bytes;
        } else {
            stored.values.push_back(RegistryValue{name, type, bytes});
        }
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, const char* valueName)
{
    OpenKey key;
    if (!resolve(hKey, key))
        return ERROR_INVALID_HANDLE;
    if (isRunValue(key, valueName))
        return AutostartEntry::remove() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    std::string name = valueName ? valueName : "";
    return editKey(key, [&](RegistryKey& stored) {
        size_t before = stored.values.size();
        std::erase_if(stored.values, [&](const RegistryValue& v) { return sameName(v.name, name); });
        return stored.values.size() == before ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyA(HKEY hKey, const char* subKey)
{
    OpenKey base;
    if (!resolve(hKey, base))
        return ERROR_INVALID_HANDLE;
    std::string path = join(base.path, subKey);
    if (!subKey || normaliseKeyPath(subKey).empty())
        return ERROR_INVALID_PARAMETER;
    LONG result = ERROR_SUCCESS;
    bool written = RegistryStore(base.root).update([&](RegistryHive& hive) {
        if (!hive.findKey(path))
            result = ERROR_FILE_NOT_FOUND;
        else if (!hive.removeKey(path))
            result = ERROR_KEY_HAS_CHILDREN;
        return result == ERROR_SUCCESS;
    });
    return written ? result : ERROR_ACCESS_DENIED;
}

LONG RegEnumValueA(HKEY hKey, DWORD index, char* valueName, DWORD* cchValueName, DWORD*, DWORD* type,
                   BYTE* data, DWORD* cbData)
{
    OpenKey key;
    if (!resolve(hKey, key))
        return ERROR_INVALID_HANDLE;
    if (!valueName || !cchValueName)
        return ERROR_INVALID_PARAMETER;
    std::vector<RegistryValue> values;
    if (!listValues(key, values))
        return ERROR_FILE_NOT_FOUND;
    if (index >= values.size())
        return ERROR_NO_MORE_ITEMS;
    const RegistryValue& v = values[index];
    if (*cchValueName < v.name.size() + 1)
        return ERROR_MORE_DATA;
    std::memcpy(valueName, v.name.c_str(), v.name.size() + 1);
    *cchValueName = DWORD(v.name.size());
    return copyOut(v.data, v.type, type, data, cbData);
}

LONG RegEnumKeyA(HKEY hKey, DWORD index, char* name, DWORD cchName)
{
    OpenKey key;
    if (!resolve(hKey, key))
        return ERROR_INVALID_HANDLE;
    if (!name)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string> names = RegistryStore(key.root).load().subKeys(key.path);
    if (index >= names.size())
        return ERROR_NO_MORE_ITEMS;
    if (cchName < names[index].size() + 1)
        return ERROR_MORE_DATA;
    std::memcpy(name, names[index].c_str(), names[index].size() + 1);
    return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY hKey)
{
    OpenKey key;
    return resolve(hKey, key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegCloseKey(HKEY hKey)
{
    if (rootName(hKey))
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_handles.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // extern "C"
