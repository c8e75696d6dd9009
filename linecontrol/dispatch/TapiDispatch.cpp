// Invoke of the Tapi control: argument checks, conversions and write-back for every method.
#include "TapiDispatch.h"

#include "TapiErrorText.h"
#include "TapiNotification.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace korvan {

namespace {

constexpr int32_t kOverflow = 6;
constexpr int32_t kTypeMismatch = 13;

// Whole-number text as the host language converts it: optional sign, decimal or &H hexadecimal.
int32_t longOfText(const std::string& text)
{
    const char* begin = text.c_str();
    while (*begin == ' ')
        ++begin;
    int base = 10;
    std::string digits = begin;
    if (digits.size() > 2 && (digits.compare(0, 2, "&H") == 0 || digits.compare(0, 2, "&h") == 0)) {
        base = 16;
        digits = digits.substr(2);
    }
    while (!digits.empty() && digits.back() == ' ')
        digits.pop_back();
    if (digits.empty())
        throw MethodError{kTypeMismatch};
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(digits.c_str(), &end, base);
    if (*end != '\0')
        throw MethodError{kTypeMismatch};
    if (base == 16 && value >= 0 && value <= 0xFFFFFFFFLL)
        return static_cast<int32_t>(static_cast<uint32_t>(value)); // &H8000000F is negative, as written
    if (errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        throw MethodError{kOverflow};
    return static_cast<int32_t>(value);
}

int32_t toLong(const Variant& v)
{
    switch (v.type) {
    case VarType::Empty:
        return 0;
    case VarType::Long:
        return v.lVal;
    case VarType::Bool:
        return v.boolVal;
    case VarType::String:
        return longOfText(v.strVal);
    default:
        throw MethodError{kTypeMismatch};
    }
}

bool toBool(const Variant& v)
{
    if (v.type == VarType::String) {
        if (v.strVal == "True" || v.strVal == "true")
            return true;
        if (v.strVal == "False" || v.strVal == "false")
            return false;
    }
    return toLong(v) != 0;
}

std::string toText(const Variant& v)
{
    switch (v.type) {
    case VarType::Empty:
        return {};
    case VarType::Long:
        return std::to_string(v.lVal);
    case VarType::Bool:
        return v.boolVal != 0 ? "True" : "False";
    case VarType::String:
        return v.strVal;
    default:
        throw MethodError{kTypeMismatch};
    }
}

CallInf& toCallInf(const Variant& v)
{
    if (v.type != VarType::CallInfRef || v.callInf == nullptr)
        throw MethodError{kTypeMismatch};
    return *v.callInf;
}

LineDevCap& toLineDevCap(const Variant& v)
{
    if (v.type != VarType::LineDevCapRef || v.lineDevCap == nullptr)
        throw MethodError{kTypeMismatch};
    return *v.lineDevCap;
}

// An optional argument counts as omitted when it is missing or Empty.
int32_t optionalLong(const std::vector<Variant>& arguments, size_t index)
{
    return index < arguments.size() ? toLong(arguments[index]) : 0;
}

} // namespace

std::string runTimeErrorText(int32_t number)
{
    switch (number) {
    case kOverflow:
        return "Overflow";
    case 9:
        return "Subscript out of range";
    case kTypeMismatch:
        return "Type mismatch";
    default:
        return "Application-defined or object-defined error";
    }
}

std::atomic<int>& TapiDispatch::liveObjects()
{
    static std::atomic<int> count{0};
    return count;
}

TapiDispatch::TapiDispatch()
{
    ++liveObjects();
    m_instance = ControlTable::add(m_control, *this);
    m_control.setCallbackInstance(m_instance);
}

TapiDispatch::~TapiDispatch()
{
    ControlTable::remove(m_instance);
    --liveObjects();
}

uint32_t TapiDispatch::AddRef()
{
    return ++m_references;
}

uint32_t TapiDispatch::Release()
{
    const uint32_t left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

int32_t TapiDispatch::Advise(IEventSink* sink)
{
    m_control.setEventSink(sink);
    return S_OK;
}

int32_t TapiDispatch::Invoke(int32_t dispId, std::vector<Variant>& arguments, Variant* result,
                             ExcepInfo* error)
{
    Variant value;
    int32_t status = S_OK;
    // Nothing is written back unless the method completes.
    std::vector<Variant> working = arguments;
    try {
        status = call(dispId, working, value);
    } catch (const MethodError& failure) {
        if (error != nullptr) {
            error->number = failure.number;
            error->description = runTimeErrorText(failure.number);
        }
        return DISP_E_EXCEPTION;
    } catch (const std::exception&) {
        if (error != nullptr) {
            error->number = 7;
            error->description = "Out of memory";
        }
        return DISP_E_EXCEPTION;
    }
    if (status != S_OK)
        return status;
    arguments = std::move(working);
    if (result != nullptr)
        *result = std::move(value);
    return S_OK;
}

int32_t TapiDispatch::call(int32_t dispId, std::vector<Variant>& args, Variant& result)
{
    const auto count = [&args](size_t low, size_t high) { return args.size() >= low && args.size() <= high; };
    Tapi& c = m_control;
    switch (dispId) {
    case DISPID_ShowAboutBox:
        if (!count(0, 0))
            return DISP_E_BADPARAMCOUNT;
        c.ShowAboutBox();
        return S_OK;
    case DISPID_LineGetCallInf: {
        if (!count(2, 2))
            return DISP_E_BADPARAMCOUNT;
        CallInf& info = toCallInf(args[1]);
        result = Variant::fromLong(c.LineGetCallInf(toLong(args[0]), info));
        return S_OK;
    }
    case DISPID_LineInitialize:
        if (!count(0, 0))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromLong(c.LineInitialize());
        return S_OK;
    case DISPID_NumOfLines:
        if (!count(0, 0))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromLong(c.NumOfLines());
        return S_OK;
    case DISPID_LineOpen:
        if (!count(1, 3))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromLong(c.LineOpen(toLong(args[0]), optionalLong(args, 1), optionalLong(args, 2)));
        return S_OK;
    case DISPID_LineMakeCall:
    case DISPID_LineGenerateDigits: {
        if (!count(2, 2))
            return DISP_E_BADPARAMCOUNT;
        const int32_t index = toLong(args[0]);
        const std::string text = toText(args[1]);
        result = Variant::fromLong(dispId == DISPID_LineMakeCall ? c.LineMakeCall(index, text)
                                                                 : c.LineGenerateDigits(index, text));
        return S_OK;
    }
    case DISPID_LineMonitorDigits:
        if (!count(2, 2))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromLong(c.LineMonitorDigits(toLong(args[0]), toBool(args[1])));
        return S_OK;
    case DISPID_GetLocationInf: {
        if (!count(2, 2))
            return DISP_E_BADPARAMCOUNT;
        std::string country = toText(args[0]);
        std::string city = toText(args[1]);
        c.GetLocationInf(country, city);
        args[0] = Variant::fromString(country);
        args[1] = Variant::fromString(city);
        return S_OK;
    }
    case DISPID_LineDialogLineConfig: {
        if (!count(1, 1))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromLong(c.LineDialogLineConfig(std::to_string(toLong(args[0]))));
        return S_OK;
    }
    case DISPID_GetTapiStrError:
        if (!count(1, 1))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromString(GetTapiStrError(toLong(args[0])));
        return S_OK;
    case DISPID_LineGetDevDetails: {
        if (!count(2, 2))
            return DISP_E_BADPARAMCOUNT;
        LineDevCap& details = toLineDevCap(args[1]);
        result = Variant::fromString(c.LineGetDevDetails(toLong(args[0]), details));
        return S_OK;
    }
    case DISPID_lineGetID:
        if (!count(2, 2))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromLong(c.lineGetID(toLong(args[0]), toLong(args[1])));
        return S_OK;
    case DISPID_LineOpened:
    case DISPID_LineConnected: {
        if (!count(1, 1))
            return DISP_E_BADPARAMCOUNT;
        const int32_t index = toLong(args[0]);
        result =
            Variant::fromBool(dispId == DISPID_LineOpened ? c.LineOpened(index) : c.LineConnected(index));
        return S_OK;
    }
    case DISPID_LineInService:
    case DISPID_LineCannotTalk:
    case DISPID_LineReach: {
        if (!count(1, 1))
            return DISP_E_BADPARAMCOUNT;
        const int32_t index = toLong(args[0]);
        result = Variant::fromString(dispId == DISPID_LineInService    ? c.LineInService(index)
                                     : dispId == DISPID_LineCannotTalk ? c.LineCannotTalk(index)
                                                                       : c.LineReach(index));
        return S_OK;
    }
    case DISPID_LineOpening:
        if (!count(1, 1))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromBool(c.LineOpening(toLong(args[0])));
        return S_OK;
    case DISPID_PhoneInitialize:
    case DISPID_NumOfPhones:
        if (!count(0, 0))
            return DISP_E_BADPARAMCOUNT;
        result = Variant::fromLong(dispId == DISPID_PhoneInitialize ? c.PhoneInitialize() : c.NumOfPhones());
        return S_OK;
    case DISPID_LineDrop:
    case DISPID_LineAccept:
    case DISPID_LineAnswer:
    case DISPID_LineCallerIDFlags:
    case DISPID_lineSetTerminal:
    case DISPID_LineShutdown:
    case DISPID_LineClose:
    case DISPID_LineTranslateDialog:
    case DISPID_LineGetWaveOutID:
    case DISPID_PhoneOpen:
    case DISPID_PhoneClose:
    case DISPID_PhoneShutdown:
    case DISPID_PhoneSetHookSwitch:
        if (!count(1, 1))
            return DISP_E_BADPARAMCOUNT;
        return callWithIndex(dispId, toLong(args[0]), result);
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

int32_t TapiDispatch::callWithIndex(int32_t dispId, int32_t index, Variant& result)
{
    Tapi& c = m_control;
    switch (dispId) {
    case DISPID_LineDrop:
        result = Variant::fromLong(c.LineDrop(index));
        break;
    case DISPID_LineAnswer:
        result = Variant::fromLong(c.LineAnswer(index));
        break;
    case DISPID_LineAccept:
        result = Variant::fromLong(c.LineAccept(index));
        break;
    case DISPID_LineCallerIDFlags:
        result = Variant::fromLong(c.LineCallerIDFlags(index));
        break;
    case DISPID_lineSetTerminal:
        c.lineSetTerminal(index);
        break;
    case DISPID_LineShutdown:
        result = Variant::fromLong(c.LineShutdown(index));
        break;
    case DISPID_LineClose:
        result = Variant::fromLong(c.LineClose(index));
        break;
    case DISPID_LineTranslateDialog:
        c.LineTranslateDialog(index);
        break;
    case DISPID_LineGetWaveOutID:
        result = Variant::fromLong(c.LineGetWaveOutID(index));
        break;
    case DISPID_PhoneOpen:
        result = Variant::fromLong(c.PhoneOpen(index));
        break;
    case DISPID_PhoneClose:
        result = Variant::fromLong(c.PhoneClose(index));
        break;
    case DISPID_PhoneShutdown:
        result = Variant::fromLong(c.PhoneShutdown(index));
        break;
    default:
        result = Variant::fromLong(c.PhoneSetHookSwitch(index));
        break;
    }
    return S_OK;
}

} // namespace korvan
