// Reads the settings key into the in-memory settings.
#include "SettingsLoader.h"

#include "ErrorTrap.h"
#include "VbConvert.h"
#include "mdlLog.h"
#include "mdlReg.h"

namespace {

QString read(const char* name)
{
    return mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, QString::fromLatin1(name));
}

// One loader's reads: each conversion that fails is logged under the loader's label and leaves
// its field as it was.
class Reader
{
public:
    Reader(const char* label, mdlLog& log)
        : m_trap(QString::fromLatin1(label), [&log](const QString& line) { log.WriteSysLog(line); })
    {
    }
    void operator()(const char* name, int16_t& field) const
    {
        m_trap.step([&] { field = VbConvert::toInt16(read(name)); });
    }
    void operator()(const char* name, int32_t& field) const
    {
        m_trap.step([&] { field = VbConvert::toInt32(read(name)); });
    }
    void operator()(const char* name, QString& field) const { field = read(name); }
    const ErrorTrap& trap() const { return m_trap; }

private:
    ErrorTrap m_trap;
};

} // namespace

SettingsLoader::SettingsLoader(mdlLog& log, QString programFolder)
    : m_log(log), m_programFolder(std::move(programFolder))
{
}

void SettingsLoader::loadAll(Settings& settings)
{
    GetMainOptions(settings.options);
    GetMainAction(settings.actions);
    GetMainEvents(settings.events);
    GetView(settings.view);
    GetScreening(settings.screen);
    GetAppOptions(settings.options, settings.engine);
    // The options' copy shows the folder in use, also when it was just filled in.
    settings.options.MassagesPath = settings.engine.MessagesPath;
}

void SettingsLoader::GetMainOptions(MainOptions& o)
{
    Reader r("ErrGetMainOptions ", m_log);
    r("SecSilence", o.SecSilence);
    r("cDropSilence", o.cDropSilence);
    r("ValSilence", o.ValSilence);
    r("MassagesPath", o.MassagesPath);
    r("RecordMessage", o.RecordMessage);
    r("NumOfRing", o.NumOfRing);
    r("MaxRec", o.MaxRec);
    r("Pass", o.Pass);
    r("WornDelete", o.WornDelete);
    r("WornClear", o.WornClear);
    r("ListMessageOnly", o.ListMessageOnly);
    r("Modem", o.Modem);
    r("ModemName", o.ModemName);
    r("Sound", o.Sound);
    r("Greeting", o.Greeting);
    r("AllowRemoteAccess", o.AllowRemoteAccess);
    r("CompressMessages", o.CompressMessages);
    r("pQuickToolbar", o.pQuickToolbar);
    r("PreScreen", o.PreScreen);
}

void SettingsLoader::GetMainAction(MainActions& a)
{
    Reader r("ErrGetMainAction ", m_log);
    r("pMailTo", a.pMailTo);
    r("MailTo", a.MailTo);
    r("SMTPServer", a.SMTPServer);
    r("MailFrom", a.MailFrom);
    r("ActionsMailAllCalls", a.ActionsMailAllCalls);
    r("pAppTo", a.pAppTo);
    r("AppTo", a.AppTo);
    r("pAppToBG", a.pAppToBG);
    r("ActionsAppAllCalls", a.ActionsAppAllCalls);
}

void SettingsLoader::GetMainEvents(MainEvents& e)
{
    Reader r("ErrGetMainEvents ", m_log);
    r("PlayInRing", e.PlayInRing);
    r("cPlayInRing", e.cPlayInRing);
    r("cOnlyIfGotMessage", e.cOnlyIfGotMessage);
    r("PlayInIdle", e.PlayInIdle);
    r("cPlayInIdle", e.cPlayInIdle);
    r("WhenMsgViewMsg", e.WhenMsgViewMsg);
    r("ViewDetails", e.ViewDetails);
    r("cAnimation", e.cAnimation);
    r("AnimationFast", e.AnimationFast);
    r("cCloseCallerView", e.cCloseCallerView);
    r("CloseCallerView", e.CloseCallerView);
    // Added after the first releases: a key without it keeps the first start's choice.
    if (!neverStored(read("CallerViewAs")))
        r("CallerViewAs", e.CallerViewAs);
}

void SettingsLoader::GetView(WindowPlacement& v)
{
    Reader r("ErrGetView ", m_log);
    r("MeTop", v.MeTop);
    r("MeLeft", v.MeLeft);
    r("MeWinState", v.MeWinState);
    r("MeWidth", v.MeWidth);
    r("MeHeight", v.MeHeight);
}

void SettingsLoader::GetScreening(ScreenSettings& s)
{
    Reader r("ErrGetScreening ", m_log);
    const auto stored = [&](const char* name, auto& field) {
        if (!neverStored(read(name)))
            r(name, field);
    };
    stored("ScreenCallers", s.ScreenCallers);
    stored("ScreenKey", s.ScreenKey);
    stored("ScreenWait", s.ScreenWait);
    stored("ScreenPrompt", s.ScreenPrompt);
    stored("ScreenRemember", s.ScreenRemember);
    stored("OwnNumber", s.OwnNumber);
}

void SettingsLoader::GetAppOptions(const MainOptions& options, EngineSettings& engine)
{
    Reader r("ErrGetAppOption ", m_log);
    r("Modem", engine.LineIndex);

    QString messages = read("MassagesPath");
    if (messages.isEmpty()) {
        messages = m_programFolder + "/Messages/";
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "MassagesPath", 1, messages);
    }
    engine.MessagesPath = messages;

    int16_t logCalls = m_log.callsSwitch(), logSystem = m_log.systemSwitch();
    r("cLogCalls", logCalls);
    r("cLogSys", logSystem);
    m_log.setCallsSwitch(logCalls);
    m_log.setSystemSwitch(logSystem);

    engine.RecordMessage = options.RecordMessage != 0;
    engine.GreetingFile = options.Greeting + ".wav";
    // Past 546 minutes the seconds overflow 16 bits: logged, and the previous limit stays.
    r.trap().step([&] { engine.MaxRecordSeconds = VbConvert::multiply16(options.MaxRec, 60); });
}

namespace {
// A stored number read fresh, as a 16-bit or 32-bit value; what does not convert counts as 0.
int32_t storedNumber(const char* name, bool wide = false)
{
    try {
        return wide ? VbConvert::toInt32(read(name)) : VbConvert::toInt16(read(name));
    } catch (...) {
        return 0;
    }
}
} // namespace

bool SettingsLoader::RunsAtLogin()
{
    return mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kRunKey, "Kalvo") != mdlReg::kNotFound;
}

LogProperties SettingsLoader::GetLogProperties()
{
    LogProperties p;
    p.cLogCalls = static_cast<int16_t>(storedNumber("cLogCalls"));
    p.cLogSys = static_cast<int16_t>(storedNumber("cLogSys"));
    p.cWornBeforeDelete = static_cast<int16_t>(storedNumber("cWornBeforeDelete"));
    p.LogFor = read("LogFor");
    return p;
}

void SettingsLoader::GetLogSwitches(mdlLog& log)
{
    const LogProperties stored = GetLogProperties();
    log.setSystemSwitch(stored.cLogSys);
    log.setCallsSwitch(stored.cLogCalls);
}

QString SettingsLoader::StoredMessagesPath()
{
    return read("MassagesPath");
}

int32_t SettingsLoader::StoredSoundDevice()
{
    return storedNumber("Sound", true);
}
