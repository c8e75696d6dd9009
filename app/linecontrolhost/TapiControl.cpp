// The program's typed wrapper of the line control.
#include "TapiControl.h"

#include "HelperFiles.h"
#include "Registry.h"
#include "VbError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>

namespace kalvo {

using namespace korvan;

namespace {

// The default value of HKEY_CLASSES_ROOT\key, or empty.
QString classesRootDefault(const std::string& key)
{
    HKEY handle = 0;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, key.c_str(), &handle) != ERROR_SUCCESS)
        return {};
    DWORD type = 0;
    DWORD size = 0;
    QString value;
    if (RegQueryValueExA(handle, "", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
        std::string data(size, '\0');
        if (RegQueryValueExA(handle, "", nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            data.resize(std::min<size_t>(size, data.size()));
            value = QString::fromStdString(data.c_str());
        }
    }
    RegCloseKey(handle);
    return value;
}

// Loads a library (kept loaded for the rest of the process, as a component server stays loaded).
void* loadLibrary(const QString& path, QString* error)
{
    void* library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && error != nullptr)
        *error = QString::fromLocal8Bit(dlerror());
    return library;
}

// A dispatch failure as the run-time error the program's handlers log.
[[noreturn]] void raise(int32_t status, const ExcepInfo& info)
{
    switch (status) {
    case DISP_E_EXCEPTION:
        throw VbError(info.number, info.description);
    case DISP_E_MEMBERNOTFOUND:
        throw VbError(VbObjectDoesNotSupportProperty);
    case DISP_E_BADPARAMCOUNT:
        throw VbError(450, "Wrong number of arguments or invalid property assignment");
    case DISP_E_TYPEMISMATCH:
        throw VbError(VbTypeMismatch);
    default:
        throw VbError(VbApplicationDefined);
    }
}

} // namespace

QString TapiControl::registeredLibrary()
{
    const QString classId = classesRootDefault(std::string(kProgId) + "\\CLSID");
    if (classId.isEmpty())
        return {};
    return classesRootDefault("CLSID\\" + classId.toStdString() + "\\InprocServer32");
}

bool TapiControl::ensureRegistered(const QString& libDir)
{
    // A registration left by a removed install or build tree is renewed with the library at hand.
    const QString registered = registeredLibrary();
    if (!registered.isEmpty() && QFileInfo::exists(registered))
        return true;
    const QString dir = libDir.isEmpty() ? HelperFiles::folderOf("libkorvan.so") : libDir;
    if (dir.isEmpty())
        return false;
    void* library = loadLibrary(QDir(dir).filePath("libkorvan.so"), nullptr);
    if (library == nullptr)
        return false;
    const auto registerServer = reinterpret_cast<DllRegisterServerFn>(dlsym(library, "DllRegisterServer"));
    return registerServer != nullptr && registerServer() == S_OK;
}

std::unique_ptr<TapiControl> TapiControl::create(QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error != nullptr)
            *error = reason;
        return nullptr;
    };
    const QString path = registeredLibrary();
    if (path.isEmpty())
        return fail(QString("%1 is not registered").arg(kProgId));
    QString loadError;
    void* library = loadLibrary(path, &loadError);
    if (library == nullptr)
        return fail(loadError);
    const auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(library, "DllGetClassObject"));
    if (getClassObject == nullptr)
        return fail(path + " has no DllGetClassObject");
    void* object = nullptr;
    const int32_t status = getClassObject(kClassId, kClassFactoryId, &object);
    if (status != S_OK || object == nullptr)
        return fail(
            QString("DllGetClassObject failed: 0x%1").arg(static_cast<uint32_t>(status), 8, 16, QChar('0')));
    auto* factory = static_cast<IClassFactory*>(object);
    ITapiDispatch* control = nullptr;
    const int32_t created = factory->CreateInstance(&control);
    factory->Release();
    if (created != S_OK || control == nullptr)
        return fail("the control could not be created");
    return std::unique_ptr<TapiControl>(new TapiControl(control));
}

TapiControl::TapiControl(ITapiDispatch* control) : m_control(control)
{
    m_control->Advise(this);
}

TapiControl::~TapiControl()
{
    m_control->Advise(nullptr);
    m_control->Release();
}

Variant TapiControl::invoke(int32_t dispId, std::vector<Variant>& arguments)
{
    Variant result;
    ExcepInfo info;
    const int32_t status = m_control->Invoke(dispId, arguments, &result, &info);
    if (status != S_OK)
        raise(status, info);
    return result;
}

int32_t TapiControl::callLong(int32_t dispId, std::vector<Variant> arguments)
{
    return invoke(dispId, arguments).lVal;
}

void TapiControl::Invoke(int32_t eventId, const std::vector<Variant>& a)
{
    const auto n = [&a](size_t i) { return i < a.size() ? a[i].lVal : 0; };
    const auto s = [&a](size_t i) { return i < a.size() ? QString::fromStdString(a[i].strVal) : QString(); };
    switch (eventId) {
    case EVENTID_ProcError:
        emit ProcError(n(0), n(1), n(2));
        break;
    case EVENTID_Dialing:
        emit Dialing(n(0));
        break;
    case EVENTID_InComeCall:
        emit InComeCall(n(0));
        break;
    case EVENTID_MonitorDigit:
        emit MonitorDigit(n(0), s(1));
        break;
    case EVENTID_Idle:
        emit Idle(n(0));
        break;
    case EVENTID_Disconnected:
        emit Disconnected(n(0));
        break;
    case EVENTID_Connected:
        emit Connected(n(0));
        break;
    case EVENTID_Ring:
        emit Ring(n(0), n(1));
        break;
    case EVENTID_CallerID:
        emit CallerID(n(0), s(1), s(2));
        break;
    case EVENTID_DoneGenerateDigits:
        emit DoneGenerateDigits(n(0));
        break;
    case EVENTID_LineState:
        emit LineState(n(0), a.size() > 1 && a[1].boolVal != 0, s(2));
        break;
    default:
        break;
    }
}

int TapiControl::LineInitialize()
{
    return callLong(DISPID_LineInitialize, {});
}
int TapiControl::NumOfLines()
{
    return callLong(DISPID_NumOfLines, {});
}
int TapiControl::LineOpen(int LineIndex, int CallPrivilege, int MediaMode)
{
    return callLong(DISPID_LineOpen, {Variant::fromLong(LineIndex), Variant::fromLong(CallPrivilege),
                                      Variant::fromLong(MediaMode)});
}
int TapiControl::LineClose(int LineIndex)
{
    return callLong(DISPID_LineClose, {Variant::fromLong(LineIndex)});
}
int TapiControl::LineShutdown(int LineIndex)
{
    return callLong(DISPID_LineShutdown, {Variant::fromLong(LineIndex)});
}
bool TapiControl::LineOpened(int LineIndex)
{
    std::vector<Variant> arguments{Variant::fromLong(LineIndex)};
    return invoke(DISPID_LineOpened, arguments).boolVal != 0;
}
bool TapiControl::LineConnected(int LineIndex)
{
    std::vector<Variant> arguments{Variant::fromLong(LineIndex)};
    return invoke(DISPID_LineConnected, arguments).boolVal != 0;
}
QString TapiControl::LineInService(int LineIndex)
{
    std::vector<Variant> arguments{Variant::fromLong(LineIndex)};
    return QString::fromStdString(invoke(DISPID_LineInService, arguments).strVal);
}
QString TapiControl::LineCannotTalk(int LineIndex)
{
    std::vector<Variant> arguments{Variant::fromLong(LineIndex)};
    return QString::fromStdString(invoke(DISPID_LineCannotTalk, arguments).strVal);
}
QString TapiControl::LineReach(int LineIndex)
{
    std::vector<Variant> arguments{Variant::fromLong(LineIndex)};
    return QString::fromStdString(invoke(DISPID_LineReach, arguments).strVal);
}
int TapiControl::LineAccept(int LineIndex)
{
    return callLong(DISPID_LineAccept, {Variant::fromLong(LineIndex)});
}
int TapiControl::LineCallerIDFlags(int LineIndex)
{
    return callLong(DISPID_LineCallerIDFlags, {Variant::fromLong(LineIndex)});
}
bool TapiControl::LineOpening(int LineIndex)
{
    std::vector<Variant> arguments{Variant::fromLong(LineIndex)};
    return invoke(DISPID_LineOpening, arguments).boolVal != 0;
}
int TapiControl::LineAnswer(int LineIndex)
{
    return callLong(DISPID_LineAnswer, {Variant::fromLong(LineIndex)});
}
int TapiControl::LineDrop(int LineIndex)
{
    return callLong(DISPID_LineDrop, {Variant::fromLong(LineIndex)});
}
int TapiControl::LineMakeCall(int LineIndex, const QString& Number)
{
    return callLong(DISPID_LineMakeCall,
                    {Variant::fromLong(LineIndex), Variant::fromString(Number.toStdString())});
}
int TapiControl::LineGenerateDigits(int LineIndex, const QString& Digits)
{
    return callLong(DISPID_LineGenerateDigits,
                    {Variant::fromLong(LineIndex), Variant::fromString(Digits.toStdString())});
}
int TapiControl::LineMonitorDigits(int LineIndex, bool Status)
{
    return callLong(DISPID_LineMonitorDigits, {Variant::fromLong(LineIndex), Variant::fromBool(Status)});
}
void TapiControl::lineSetTerminal(int LineIndex)
{
    callLong(DISPID_lineSetTerminal, {Variant::fromLong(LineIndex)});
}
int TapiControl::LineGetCallInf(int LineIndex, CallInf& Callinfo)
{
    return callLong(DISPID_LineGetCallInf, {Variant::fromLong(LineIndex), Variant::fromCallInf(&Callinfo)});
}
QString TapiControl::LineGetDevDetails(int LineIndex, LineDevCap& DeviceType)
{
    std::vector<Variant> arguments{Variant::fromLong(LineIndex), Variant::fromLineDevCap(&DeviceType)};
    return QString::fromStdString(invoke(DISPID_LineGetDevDetails, arguments).strVal);
}
int TapiControl::lineGetID(int LineIndex, int lDeviceClass)
{
    return callLong(DISPID_lineGetID, {Variant::fromLong(LineIndex), Variant::fromLong(lDeviceClass)});
}
int TapiControl::LineGetWaveOutID(int LineIndex)
{
    return callLong(DISPID_LineGetWaveOutID, {Variant::fromLong(LineIndex)});
}
int TapiControl::PhoneInitialize()
{
    return callLong(DISPID_PhoneInitialize, {});
}
int TapiControl::NumOfPhones()
{
    return callLong(DISPID_NumOfPhones, {});
}
int TapiControl::PhoneOpen(int PhoneIndex)
{
    return callLong(DISPID_PhoneOpen, {Variant::fromLong(PhoneIndex)});
}
int TapiControl::PhoneClose(int PhoneIndex)
{
    return callLong(DISPID_PhoneClose, {Variant::fromLong(PhoneIndex)});
}
int TapiControl::PhoneShutdown(int PhoneIndex)
{
    return callLong(DISPID_PhoneShutdown, {Variant::fromLong(PhoneIndex)});
}
int TapiControl::PhoneSetHookSwitch(int PhoneIndex)
{
    return callLong(DISPID_PhoneSetHookSwitch, {Variant::fromLong(PhoneIndex)});
}
void TapiControl::GetLocationInf(QString& CountryCode, QString& CityCode)
{
    std::vector<Variant> arguments{Variant::fromString(CountryCode.toStdString()),
                                   Variant::fromString(CityCode.toStdString())};
    invoke(DISPID_GetLocationInf, arguments);
    CountryCode = QString::fromStdString(arguments[0].strVal);
    CityCode = QString::fromStdString(arguments[1].strVal);
}
void TapiControl::LineTranslateDialog(int LineIndex)
{
    callLong(DISPID_LineTranslateDialog, {Variant::fromLong(LineIndex)});
}
int TapiControl::LineDialogLineConfig(const QString& LineIndex)
{
    return callLong(DISPID_LineDialogLineConfig, {Variant::fromString(LineIndex.toStdString())});
}
QString TapiControl::GetTapiStrError(int ErrorNumber)
{
    std::vector<Variant> arguments{Variant::fromLong(ErrorNumber)};
    return QString::fromStdString(invoke(DISPID_GetTapiStrError, arguments).strVal);
}
void TapiControl::ShowAboutBox()
{
    callLong(DISPID_ShowAboutBox, {});
}

} // namespace kalvo
