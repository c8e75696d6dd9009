// The library's four entry points: self-registration under HKEY_CLASSES_ROOT, the class object that
// makes Tapi controls, and whether the library may be unloaded.
#include "KorvanDispatch.h"
#include "Registry.h"
#include "TapiDispatch.h"

#include <cstring>
#include <dlfcn.h>
#include <string>

#define KORVAN_EXPORT extern "C" __attribute__((visibility("default")))

namespace korvan {

namespace {

class ClassFactory final : public IClassFactory
{
public:
    ClassFactory() { ++TapiDispatch::liveObjects(); }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    uint32_t AddRef() override { return ++m_references; }
    uint32_t Release() override
    {
        const uint32_t left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    int32_t CreateInstance(ITapiDispatch** control) override
    {
        if (control == nullptr)
            return E_POINTER;
        *control = new TapiDispatch;
        return S_OK;
    }

private:
    ~ClassFactory() { --TapiDispatch::liveObjects(); }
    std::atomic<uint32_t> m_references{1};
};

// Writes the default value of HKEY_CLASSES_ROOT\key, creating the key.
bool setDefault(const std::string& key, const std::string& value)
{
    HKEY handle = 0;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, key.c_str(), &handle) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExA(handle, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

// Removes HKEY_CLASSES_ROOT\key; one that is already gone counts as removed.
bool removeKey(const std::string& key)
{
    const LONG result = RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// The absolute path of this library, as the loader found it.
std::string libraryPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryPath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    char resolved[4096];
    if (realpath(info.dli_fname, resolved) != nullptr)
        return resolved;
    return info.dli_fname;
}

const std::string kClassKey = std::string("CLSID\\") + kClassId;

} // namespace

} // namespace korvan

using namespace korvan;

KORVAN_EXPORT int32_t DllRegisterServer()
{
    const std::string path = libraryPath();
    if (path.empty())
        return SELFREG_E_CLASS;
    const bool written = setDefault(kProgId, "Korvan Tapi Control") &&
                         setDefault(std::string(kProgId) + "\\CLSID", kClassId) &&
                         setDefault(kClassKey, kProgId) && setDefault(kClassKey + "\\ProgID", kProgId) &&
                         setDefault(kClassKey + "\\InprocServer32", path);
    return written ? S_OK : SELFREG_E_CLASS;
}

KORVAN_EXPORT int32_t DllUnregisterServer()
{
    // Children first: a key with sub-keys cannot be deleted.
    const bool removed = removeKey(kClassKey + "\\InprocServer32") && removeKey(kClassKey + "\\ProgID") &&
                         removeKey(kClassKey) && removeKey(std::string(kProgId) + "\\CLSID") &&
                         removeKey(kProgId);
    return removed ? S_OK : SELFREG_E_CLASS;
}

KORVAN_EXPORT int32_t DllGetClassObject(const char* classId, const char* interfaceId, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (classId == nullptr || std::strcmp(classId, kClassId) != 0)
        return CLASS_E_CLASSNOTAVAILABLE;
    if (interfaceId == nullptr || std::strcmp(interfaceId, kClassFactoryId) != 0)
        return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(new ClassFactory);
    return S_OK;
}

KORVAN_EXPORT int32_t DllCanUnloadNow()
{
    return TapiDispatch::liveObjects().load() == 0 ? S_OK : S_FALSE;
}
