// The C functions of the telephony API, each a thin entry into the layer.
#include "Layer.h"
#include "Telephony.h"
#include "TelephonyLayer.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

using kalvo::telephony::Layer;

namespace {

// Copies text into an 8-byte location buffer, cut to 7 bytes.
void copyLocation(char* out, const std::string& text)
{
    size_t n = text.size() < 7 ? text.size() : 7;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

std::mutex& configDialogsMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, kalvo::telephony::LineConfigDialog>& configDialogs()
{
    static std::map<std::string, kalvo::telephony::LineConfigDialog> dialogs;
    return dialogs;
}

kalvo::telephony::LineConfigDialog configDialogFor(const std::string& provider)
{
    std::lock_guard lock(configDialogsMutex());
    auto it = configDialogs().find(provider);
    return it == configDialogs().end() ? kalvo::telephony::LineConfigDialog() : it->second;
}

} // namespace

extern "C" {

LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, const char*,
                    DWORD* lpdwNumDevs)
{
    return Layer::instance().initialize(lphLineApp, lpfnCallback, lpdwNumDevs);
}

LONG lineShutdown(HLINEAPP hLineApp)
{
    return Layer::instance().shutdown(hLineApp);
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion, LINEEXTENSIONID* lpExtensionID)
{
    return Layer::instance().negotiate(hLineApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion,
                                       lpdwAPIVersion, lpExtensionID);
}

LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes, const LINECALLPARAMS*)
{
    if (dwExtVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    return Layer::instance().open(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwCallbackInstance,
                                  dwPrivileges, dwMediaModes);
}

LONG lineClose(HLINE hLine)
{
    return Layer::instance().close(hLine);
}

LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS* lpLineDevCaps)
{
    if (dwExtVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    return Layer::instance().getDevCaps(hLineApp, dwDeviceID, dwAPIVersion, lpLineDevCaps);
}

LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                        DWORD dwExtVersion, LINEADDRESSCAPS* lpAddressCaps)
{
    if (dwExtVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    return Layer::instance().getAddressCaps(hLineApp, dwDeviceID, dwAddressID, dwAPIVersion, lpAddressCaps);
}

LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates)
{
    return Layer::instance().setStatusMessages(hLine, dwLineStates, dwAddressStates);
}

LONG lineGetID(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING* lpDeviceID,
               const char* lpszDeviceClass)
{
    return Layer::instance().getId(hLine, dwAddressID, hCall, dwSelect, lpDeviceID, lpszDeviceClass);
}

LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* lpLineDevStatus)
{
    return Layer::instance().getLineDevStatus(hLine, lpLineDevStatus);
}

LONG lineAnswer(HCALL hCall, const char*, DWORD)
{
    return Layer::instance().answer(hCall);
}

LONG lineAccept(HCALL hCall, const char*, DWORD)
{
    return Layer::instance().accept(hCall);
}

LONG lineDrop(HCALL hCall, const char*, DWORD)
{
    return Layer::instance().drop(hCall);
}

LONG lineMakeCall(HLINE hLine, HCALL* lphCall, const char* lpszDestAddress, DWORD, const LINECALLPARAMS*)
{
    return Layer::instance().makeCall(hLine, lphCall, lpszDestAddress);
}

LONG lineDeallocateCall(HCALL hCall)
{
    return Layer::instance().deallocateCall(hCall);
}

LONG lineGenerateDigits(HCALL hCall, DWORD dwDigitMode, const char* lpszDigits, DWORD dwDuration)
{
    return Layer::instance().generateDigits(hCall, dwDigitMode, lpszDigits, dwDuration);
}

LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes)
{
    return Layer::instance().monitorDigits(hCall, dwDigitModes);
}

LONG lineSetTerminal(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, DWORD dwTerminalModes,
                     DWORD dwTerminalID, DWORD)
{
    return Layer::instance().setTerminal(hLine, dwAddressID, hCall, dwSelect, dwTerminalModes, dwTerminalID);
}

LONG lineGetCallInfo(HCALL hCall, LINECALLINFO* lpCallInfo)
{
    return Layer::instance().getCallInfo(hCall, lpCallInfo);
}

LONG lineTranslateDialog(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND, const char*)
{
    Layer& layer = Layer::instance();
    layer.ensureLoaded();
    LONG r = hLineApp ? layer.checkDevice(hLineApp, dwDeviceID, dwAPIVersion) : layer.checkDevice(dwDeviceID);
    if (r)
        return r;
    std::fprintf(stderr, "telephony: the location (country_code, area_code) is set in [location] of %s\n",
                 layer.path().c_str());
    return 0;
}

LONG lineConfigDialog(DWORD dwDeviceID, HWND, const char*)
{
    Layer& layer = Layer::instance();
    layer.ensureLoaded();
    if (LONG r = layer.checkDevice(dwDeviceID))
        return r;
    kalvo::telephony::LineConfig line;
    if (layer.deviceConfig(dwDeviceID, line)) {
        kalvo::telephony::LineConfigDialog dialog = configDialogFor(line.provider);
        if (dialog) {
            const long result = dialog(line, layer.path());
            if (result < 0)
                return static_cast<LONG>(result);
            if (result == 0)
                layer.replaceDevice(dwDeviceID);
            return 0;
        }
    }
    // KALVO_CONFIG_EDITOR names another program (tests use "true"); the desktop's default otherwise.
    QString editor = qEnvironmentVariable("KALVO_CONFIG_EDITOR", QStringLiteral("xdg-open"));
    if (!QProcess::startDetached(editor, QStringList{QString::fromStdString(layer.path())}))
        return LINEERR_OPERATIONFAILED;
    return 0;
}

LONG tapiGetLocationInfo(char* lpszCountryCode, char* lpszCityCode)
{
    if (!lpszCountryCode || !lpszCityCode)
        return LINEERR_INVALPOINTER;
    kalvo::telephony::TelephonyConfig config = Layer::instance().config();
    if (!config.hasLocation())
        return LINEERR_INIFILECORRUPT;
    copyLocation(lpszCountryCode, config.countryCode());
    copyLocation(lpszCityCode, config.areaCode());
    return 0;
}

LONG phoneInitialize(HPHONEAPP* lphPhoneApp, HINSTANCE, PHONECALLBACK lpfnCallback, const char*,
                     DWORD* lpdwNumDevs)
{
    if (!lpfnCallback)
        return PHONEERR_INVALPOINTER;
    return Layer::instance().phoneInitialize(lphPhoneApp, lpdwNumDevs);
}

LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD, DWORD, DWORD, DWORD*, PHONEEXTENSIONID*)
{
    // No phone devices are offered, so every device id is out of range.
    return Layer::instance().phoneAppExists(hPhoneApp) ? PHONEERR_BADDEVICEID : PHONEERR_INVALAPPHANDLE;
}

LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD, HPHONE*, DWORD, DWORD, DWORD_PTR, DWORD)
{
    return Layer::instance().phoneAppExists(hPhoneApp) ? PHONEERR_BADDEVICEID : PHONEERR_INVALAPPHANDLE;
}

LONG phoneGetDevCaps(HPHONEAPP hPhoneApp, DWORD, DWORD, DWORD, PHONECAPS*)
{
    return Layer::instance().phoneAppExists(hPhoneApp) ? PHONEERR_BADDEVICEID : PHONEERR_INVALAPPHANDLE;
}

LONG phoneSetStatusMessages(HPHONE, DWORD, DWORD, DWORD)
{
    return PHONEERR_INVALPHONEHANDLE;
}

LONG phoneSetHookSwitch(HPHONE, DWORD, DWORD)
{
    return PHONEERR_INVALPHONEHANDLE;
}

LONG phoneClose(HPHONE)
{
    return PHONEERR_INVALPHONEHANDLE;
}

LONG phoneShutdown(HPHONEAPP hPhoneApp)
{
    return Layer::instance().phoneShutdown(hPhoneApp);
}

} // extern "C"

namespace kalvo::telephony {

std::string configurationPath()
{
    return Layer::instance().path();
}

void loadConfiguration()
{
    Layer::instance().ensureLoaded();
}

bool reloadConfiguration()
{
    return Layer::instance().reload();
}

LineDevice* lineDevice(DWORD deviceId)
{
    return Layer::instance().device(deviceId);
}

void setLineConfigDialog(const std::string& provider, LineConfigDialog dialog)
{
    std::lock_guard lock(configDialogsMutex());
    configDialogs()[provider] = std::move(dialog);
}

LineConfigDialog lineConfigDialogFor(const std::string& provider)
{
    return configDialogFor(provider);
}

bool replaceLineDevice(DWORD deviceId)
{
    return Layer::instance().replaceDevice(deviceId);
}

std::vector<std::string> configurationProblems()
{
    return Layer::instance().problems();
}

} // namespace kalvo::telephony
