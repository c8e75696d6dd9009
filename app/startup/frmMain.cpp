// The main form.
#include "frmMain.h"

#include "SettingsLoader.h"
#include "VbConvert.h"
#include "mdlReg.h"

namespace {
// Twips per pixel at the desktop's usual 96 dots per inch.
constexpr int kTwipsPerPixel = 15;

int16_t storedSwitch(const char* name)
{
    try {
        return VbConvert::toInt16(mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name));
    } catch (...) {
        return 0;
    }
}
} // namespace

frmMain::frmMain(const QString& programFolder, const Clock& clock, QWidget* parent)
    : QMainWindow(parent), m_programFolder(programFolder), m_log(programFolder + "/Log/", clock)
{
    setObjectName("frmMain");
    setWindowTitle("Kalvo 1.0");
    resize(640, 480);
    loadSettings();
    m_log.WriteSysLog("Load Kalvo");
    m_log.WriteCallsLog("Load Kalvo");
}

void frmMain::loadSettings()
{
    // The switches are known before the loaders run, so their own conversion failures are logged.
    m_log.setSystemSwitch(storedSwitch("cLogSys"));
    m_log.setCallsSwitch(storedSwitch("cLogCalls"));
    SettingsLoader(m_log, m_programFolder).loadAll(m_settings);
    applyPlacement(m_settings.view);
}

void frmMain::applyPlacement(const WindowPlacement& view)
{
    if (windowState() != Qt::WindowNoState)
        return;
    const int32_t unset = WindowPlacement::kUnset;
    if (view.MeTop != unset && view.MeLeft != unset)
        move(view.MeLeft / kTwipsPerPixel, view.MeTop / kTwipsPerPixel);
    if (view.MeWidth != unset && view.MeHeight != unset && view.MeWidth > 0 && view.MeHeight > 0)
        resize(view.MeWidth / kTwipsPerPixel, view.MeHeight / kTwipsPerPixel);
}
