// Tapi: device details, wave device identifiers, phones, location, dialogs and the about box.
#include "Tapi.h"

#include "AboutBox.h"
#include "ControlMessageBox.h"
#include "TapiBuffers.h"
#include "TapiErrorText.h"
#include "TapiNotification.h"

#include <cstdlib>
#include <cstring>

namespace korvan {

namespace {

VBool flagOf(DWORD value, DWORD bit)
{
    return (value & bit) != 0 ? VTrue : VFalse;
}

// The 32-bit id at the start of a VARSTRING's string data, or -1 when it has none.
int32_t firstIdOf(VarStringBuffer& id)
{
    const DWORD offset = id.get()->dwStringOffset;
    if (offset == 0)
        return -1;
    return static_cast<int32_t>(id.dwordAt(offset, 0xFFFFFFFFu));
}

} // namespace

std::string Tapi::LineGetDevDetails(int32_t lineIndex, LineDevCap& deviceType)
{
    deviceType.MediaUnknown = VFalse;
    deviceType.MediaInteractivevoice = VFalse;
    deviceType.MediaAutomatedvoice = VFalse;
    deviceType.MediaDatamodem = VFalse;
    deviceType.MaxRate = 0;
    deviceType.MonitorDigits = VFalse;
    deviceType.GenerateDigits = VFalse;
    deviceType.PhoneSupport = VFalse;
    deviceType.DeviceName = "Unknown";

    // A probe of its own: refreshes NumDevs, leaves the line table as it is.
    HLINEAPP probe = 0;
    DWORD numDevs = static_cast<DWORD>(m_numDevs);
    LONG result = lineInitialize(&probe, nullptr, TapiLineCallback, "", &numDevs);
    m_numDevs = static_cast<int32_t>(numDevs);
    if (result != 0)
        return GetTapiStrError(result);

    const DWORD device = static_cast<DWORD>(lineIndex);
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    result = lineNegotiateAPIVersion(probe, device, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &extension);
    if (result != 0) {
        deviceType.TapiCapability = VFalse;
        // The probe is released on every path, or each failed query would leave an application behind.
        lineShutdown(probe);
        return GetTapiStrError(result);
    }

    deviceType.TapiCapability = VTrue;
    DevCapsBuffer caps;
    result = lineGetDevCaps(probe, device, version, 0, caps.get());
    const LINEDEVCAPS& fixed = *caps.get();
    deviceType.MediaUnknown = flagOf(fixed.dwMediaModes, LINEMEDIAMODE_UNKNOWN);
    deviceType.MediaInteractivevoice = flagOf(fixed.dwMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
    deviceType.MediaAutomatedvoice = flagOf(fixed.dwMediaModes, LINEMEDIAMODE_AUTOMATEDVOICE);
    deviceType.MediaDatamodem = flagOf(fixed.dwMediaModes, LINEMEDIAMODE_DATAMODEM);
    deviceType.MediaG3fax = flagOf(fixed.dwMediaModes, LINEMEDIAMODE_G3FAX);
    deviceType.DeviceName = caps.text(fixed.dwLineNameOffset, fixed.dwLineNameSize);
    if (deviceType.DeviceName.empty())
        deviceType.DeviceName = "Unknown";
    deviceType.MaxRate = static_cast<int32_t>(fixed.dwMaxRate);
    deviceType.MonitorDigits = fixed.dwMonitorDigitModes != 0 ? VTrue : VFalse;
    deviceType.GenerateDigits = fixed.dwGenerateDigitModes != 0 ? VTrue : VFalse;
    deviceType.PhoneSupport = fixed.dwNumTerminals != 0 ? VTrue : VFalse;
    if (result != 0) {
        lineShutdown(probe);
        return GetTapiStrError(result);
    }

    AddressCapsBuffer address;
    result = lineGetAddressCaps(probe, device, 0, TAPI_VERSION_1_4, 0, address.get());
    deviceType.CallerID = address.get()->dwCallerIDFlags != 0 ? VTrue : VFalse;
    lineShutdown(probe);
    return result == 0 ? std::string() : GetTapiStrError(result);
}

int32_t Tapi::lineGetID(int32_t lineIndex, int32_t deviceClass)
{
    const LineEntry& entry = m_table.line(lineIndex);
    const char* className = "";
    switch (deviceClass) {
    case static_cast<int32_t>(DEVICECLASS::WAVEIN):
        className = "wave/in";
        break;
    case static_cast<int32_t>(DEVICECLASS::WAVEOUT):
        className = "wave/out";
        break;
    case static_cast<int32_t>(DEVICECLASS::WAVEINOUT):
        className = "wave/in/out";
        break;
    case static_cast<int32_t>(DEVICECLASS::TAPIPHONE):
        className = "tapi/phone";
        break;
    default:
        break;
    }
    VarStringBuffer id;
    const LONG result = ::lineGetID(entry.hLine, 0, entry.hCall, LINECALLSELECT_LINE, id.get(), className);
    if (result != 0)
        return result;
    return firstIdOf(id);
}

int32_t Tapi::LineGetWaveOutID(int32_t lineIndex)
{
    const LineEntry& entry = m_table.line(lineIndex);
    VarStringBuffer id;
    if (::lineGetID(entry.hLine, 0, entry.hCall, LINECALLSELECT_CALL, id.get(), "wave/out") != 0)
        return -1;
    return firstIdOf(id);
}

int32_t Tapi::PhoneInitialize()
{
    DWORD numPhones = static_cast<DWORD>(m_numPhones);
    const LONG result = phoneInitialize(&m_hPhoneApp, nullptr, TapiPhoneCallback, "0", &numPhones);
    m_numPhones = static_cast<int32_t>(numPhones);
    if (result != 0) {
        phoneShutdown(m_hPhoneApp);
        return result;
    }
    m_table.recreatePhones(m_numPhones);
    phoneShutdown(m_hPhoneApp);
    return 0;
}

int32_t Tapi::PhoneOpen(int32_t phoneIndex)
{
    PhoneEntry& entry = m_table.phone(phoneIndex);
    entry.DeviceId = phoneIndex;
    DWORD numPhones = 0;
    LONG result = phoneInitialize(&entry.hPhoneApp, nullptr, TapiPhoneCallback, "0", &numPhones);
    if (result != 0)
        return result;
    DWORD version = 0;
    PHONEEXTENSIONID extension{};
    const DWORD device = static_cast<DWORD>(phoneIndex);
    result = phoneNegotiateAPIVersion(entry.hPhoneApp, device, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version,
                                      &extension);
    if (result != 0)
        return result;
    result = phoneOpen(entry.hPhoneApp, device, &entry.hPhone, version, 0, m_callbackInstance,
                       PHONEPRIVILEGE_OWNER);
    if (result != 0)
        return result;
    PhoneCapsBuffer caps;
    result = phoneGetDevCaps(entry.hPhoneApp, device, version, 0, caps.get());
    if (result != 0)
        return result;
    return phoneSetStatusMessages(entry.hPhone, caps.get()->dwPhoneStates, 0, 0);
}

int32_t Tapi::PhoneClose(int32_t phoneIndex)
{
    return phoneClose(m_table.phone(phoneIndex).hPhone);
}

int32_t Tapi::PhoneShutdown(int32_t phoneIndex)
{
    return phoneShutdown(m_table.phone(phoneIndex).hPhoneApp);
}

int32_t Tapi::PhoneSetHookSwitch(int32_t phoneIndex)
{
    const LONG result = phoneSetHookSwitch(m_table.phone(phoneIndex).hPhone, PHONEHOOKSWITCHDEV_SPEAKER,
                                           PHONEHOOKSWITCHMODE_SPEAKER);
    return result < 0 ? result : 0;
}

void Tapi::GetLocationInf(std::string& countryCode, std::string& cityCode)
{
    char country[8] = {};
    char city[8] = {};
    if (tapiGetLocationInfo(country, city) != 0) {
        ControlMessageBox::show("error getLocInf");
        return;
    }
    countryCode.assign(country, strnlen(country, sizeof country));
    cityCode.assign(city, strnlen(city, sizeof city));
}

void Tapi::LineTranslateDialog(int32_t /*lineIndex*/)
{
    lineTranslateDialog(0, 0, TAPI_VERSION_1_4, nullptr, nullptr);
}

int32_t Tapi::LineDialogLineConfig(const std::string& lineIndex)
{
    const DWORD device = static_cast<DWORD>(std::strtol(lineIndex.c_str(), nullptr, 10));
    return lineConfigDialog(device, nullptr, "") == 0 ? 0 : -1;
}

void Tapi::ShowAboutBox()
{
    AboutBox::showModal();
}

} // namespace korvan
