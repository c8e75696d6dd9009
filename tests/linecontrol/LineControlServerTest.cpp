// The library's boundary: self-registration in the registry, loading by ProgID, the exports, the
// class object, and how the dispatch interface refuses calls that do not fit.
#include "LineControlTestSupport.h"

#include "Registry.h"
#include "VbError.h"

#include <QFileInfo>
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

namespace {

QString classesRootDefault(const std::string& key)
{
    HKEY handle = 0;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, key.c_str(), &handle) != ERROR_SUCCESS)
        return "<absent>";
    char data[1024] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    const LONG result = RegQueryValueExA(handle, "", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS ? QString::fromUtf8(data) : "<no value>";
}

void* library()
{
    void* handle = dlopen(binaryPath("libkorvan.so").toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    return handle;
}

template <typename Fn> Fn entry(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(library(), name));
}

} // namespace

// Registering writes the ProgID, its class id and the library's own path; unregistering removes
// exactly those keys and leaves the rest of the hive alone.
TEST(LineControlServer, RegistersAndUnregistersUnderClassesRoot)
{
    IsolatedHome home;
    HKEY other = 0;
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "SAPI.SpVoice", &other), ERROR_SUCCESS);
    RegCloseKey(other);

    ASSERT_EQ(entry<korvan::DllRegisterServerFn>("DllRegisterServer")(), korvan::S_OK);
    EXPECT_EQ(classesRootDefault("Korvan.Tapi\\CLSID"), korvan::kClassId);
    const std::string classKey = std::string("CLSID\\") + korvan::kClassId;
    EXPECT_EQ(classesRootDefault(classKey + "\\ProgID"), "Korvan.Tapi");
    EXPECT_EQ(QFileInfo(classesRootDefault(classKey + "\\InprocServer32")).canonicalFilePath(),
              QFileInfo(binaryPath("libkorvan.so")).canonicalFilePath());
    EXPECT_EQ(TapiControl::registeredLibrary(), classesRootDefault(classKey + "\\InprocServer32"));

    ASSERT_EQ(entry<korvan::DllUnregisterServerFn>("DllUnregisterServer")(), korvan::S_OK);
    EXPECT_EQ(classesRootDefault("Korvan.Tapi"), "<absent>");
    EXPECT_EQ(classesRootDefault(classKey), "<absent>");
    EXPECT_TRUE(TapiControl::registeredLibrary().isEmpty());
    EXPECT_NE(classesRootDefault("SAPI.SpVoice"), "<absent>");
    // Unregistering what is not registered is no failure.
    EXPECT_EQ(entry<korvan::DllUnregisterServerFn>("DllUnregisterServer")(), korvan::S_OK);
}

// Without the ProgID the program cannot create the control; ensureRegistered registers the library
// found in the given folder (beside the program), after which creation by ProgID works, and a
// folder without the library registers nothing.
TEST(LineControlServer, LoadsByProgIdAfterRegisteringTheLibraryBesideTheProgram)
{
    IsolatedHome home;
    ensureWidgetApplication();
    QString error;
    EXPECT_EQ(TapiControl::create(&error), nullptr);
    EXPECT_TRUE(error.contains("Korvan.Tapi"));

    EXPECT_FALSE(TapiControl::ensureRegistered(home.path()));
    EXPECT_TRUE(TapiControl::registeredLibrary().isEmpty());

    ASSERT_TRUE(TapiControl::ensureRegistered(binaryPath("")));
    auto control = TapiControl::create(&error);
    ASSERT_NE(control, nullptr) << error.toStdString();
    EXPECT_EQ(control->NumOfLines(), 0);
    EXPECT_EQ(control->GetTapiStrError(0), " SUCCESS");
}

// A registration naming a library that is gone (a removed install or build tree) is renewed with the
// library at hand, so the program does not fail on a stale path.
TEST(LineControlServer, RenewsARegistrationWhoseLibraryIsGone)
{
    IsolatedHome home;
    ensureWidgetApplication();
    ASSERT_TRUE(TapiControl::ensureRegistered(binaryPath("")));
    HKEY server = 0;
    const std::string serverKey = std::string("CLSID\\") + korvan::kClassId + "\\InprocServer32";
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, serverKey.c_str(), &server), ERROR_SUCCESS);
    const std::string gone = home.path().toStdString() + "/removed/libkorvan.so";
    ASSERT_EQ(RegSetValueExA(server, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(gone.c_str()),
                             static_cast<DWORD>(gone.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(server);
    ASSERT_EQ(TapiControl::registeredLibrary().toStdString(), gone);

    ASSERT_TRUE(TapiControl::ensureRegistered(binaryPath("")));
    EXPECT_EQ(QFileInfo(TapiControl::registeredLibrary()).canonicalFilePath(),
              QFileInfo(binaryPath("libkorvan.so")).canonicalFilePath());
    QString error;
    EXPECT_NE(TapiControl::create(&error), nullptr) << error.toStdString();
}

// Only the four entry points are visible; the class object is handed out only for our class id and
// the factory interface, and DllCanUnloadNow follows the objects that are alive.
TEST(LineControlServer, ExportsOnlyTheEntryPointsAndCountsLiveObjects)
{
    // dlsym also searches the library's dependencies: a name may resolve, but never into it.
    void* handle = library();
    const auto insideKorvan = [handle](const char* name) {
        void* symbol = dlsym(handle, name);
        Dl_info info{};
        return symbol != nullptr && dladdr(symbol, &info) != 0 &&
               QString::fromUtf8(info.dli_fname).endsWith("libkorvan.so");
    };
    EXPECT_TRUE(insideKorvan("DllRegisterServer"));
    EXPECT_FALSE(insideKorvan("_ZN6korvan15GetTapiStrErrorEi"));
    EXPECT_FALSE(insideKorvan("lineInitialize"));
    EXPECT_FALSE(insideKorvan("RegOpenKeyA"));

    const auto getClassObject = entry<korvan::DllGetClassObjectFn>("DllGetClassObject");
    const auto canUnload = entry<korvan::DllCanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_EQ(canUnload(), korvan::S_OK);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject("{00000000-0000-0000-0000-000000000000}", korvan::kClassFactoryId, &object),
              korvan::CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(getClassObject(korvan::kClassId, korvan::kDispatchInterfaceId, &object), korvan::E_NOINTERFACE);
    EXPECT_EQ(getClassObject(korvan::kClassId, korvan::kClassFactoryId, nullptr), korvan::E_POINTER);

    ASSERT_EQ(getClassObject(korvan::kClassId, korvan::kClassFactoryId, &object), korvan::S_OK);
    auto* factory = static_cast<korvan::IClassFactory*>(object);
    korvan::ITapiDispatch* control = nullptr;
    ASSERT_EQ(factory->CreateInstance(&control), korvan::S_OK);
    factory->Release();
    EXPECT_EQ(canUnload(), korvan::S_FALSE);
    control->AddRef();
    control->Release();
    EXPECT_EQ(canUnload(), korvan::S_FALSE);
    control->Release();
    EXPECT_EQ(canUnload(), korvan::S_OK);
}

// Calls that do not fit a method fail with a clear error and change nothing: unknown identifiers,
// wrong argument counts, records of the wrong kind, and line methods before LineInitialize.
TEST(LineControlServer, RefusesCallsThatDoNotFit)
{
    ControlHome home(simConf(1));
    TapiControl& c = home.control();
    std::vector<korvan::Variant> none;
    try {
        c.invoke(0x60030001, none);
        FAIL() << "unknown identifier accepted";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 438);
    }
    std::vector<korvan::Variant> tooMany{korvan::Variant::fromLong(0), korvan::Variant::fromLong(0)};
    EXPECT_THROW(c.invoke(korvan::DISPID_LineAnswer, tooMany), VbError);
    std::vector<korvan::Variant> noRecord{korvan::Variant::fromLong(0), korvan::Variant::fromLong(5)};
    try {
        c.invoke(korvan::DISPID_LineGetDevDetails, noRecord);
        FAIL() << "a number accepted as LineDevCap";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 13);
    }

    EXPECT_EQ(c.NumOfLines(), 0);
    try {
        c.LineOpen(0);
        FAIL() << "LineOpen before LineInitialize";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 9);
        EXPECT_EQ(e.description(), "Subscript out of range");
    }
    EXPECT_THROW(c.LineOpened(0), VbError);
    EXPECT_THROW(c.LineAnswer(0), VbError);
    EXPECT_THROW(c.lineGetID(0, 2), VbError);
    EXPECT_THROW(c.PhoneOpen(0), VbError);
}
