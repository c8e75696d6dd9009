// Writing the settings key.
#include "SettingsWriter.h"

#include "ErrorTrap.h"
#include "VbConvert.h"
#include "mdlReg.h"

namespace {
void store(const QString& name, const QString& value)
{
    mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, value);
}

// A switch: stored as "1" or "0", kept as 1 or 0.
void storeFlag(const char* name, bool on, int16_t& kept)
{
    store(QString::fromLatin1(name), on ? QStringLiteral("1") : QStringLiteral("0"));
    kept = on ? 1 : 0;
}

void storeText(const char* name, const QString& value, QString& kept)
{
    store(QString::fromLatin1(name), value);
    kept = value;
}
} // namespace

void SettingsWriter::PutMainOptions(const OptionsInput& in, const ErrorTrap& trap)
{
    MainOptions& o = m_settings.options;
    store("SecSilence", in.SecSilence);
    trap.step([&] { o.SecSilence = VbConvert::toInt32(in.SecSilence); });
    storeFlag("cDropSilence", in.cDropSilence, o.cDropSilence);
    store("ValSilence", QString::number(in.ValSilence));
    o.ValSilence = in.ValSilence;
    storeFlag("WornDelete", in.WornDelete, o.WornDelete);
    storeFlag("WornClear", in.WornClear, o.WornClear);
    storeFlag("ListMessageOnly", in.ListMessageOnly, o.ListMessageOnly);
    if (in.Modem) {
        store("Modem", QString::number(*in.Modem));
        o.Modem = *in.Modem;
    }
    storeFlag("PreScreen", in.PreScreen, o.PreScreen);
    storeText("ModemName", in.ModemName, o.ModemName);
    store("Sound", QString::number(in.Sound));
    o.Sound = in.Sound;
    storeFlag("RecordMessage", in.RecordMessage, o.RecordMessage);
    storeText("Greeting", in.Greeting, o.Greeting);
    store("NumOfRing", in.NumOfRing);
    trap.step([&] { o.NumOfRing = VbConvert::toInt16(in.NumOfRing); });
    store("MaxRec", in.MaxRec);
    trap.step([&] { o.MaxRec = VbConvert::toInt32(in.MaxRec); });
    storeFlag("AllowRemoteAccess", in.AllowRemoteAccess, o.AllowRemoteAccess);
    storeText("Pass", in.Pass, o.Pass);
    storeFlag("CompressMessages", in.CompressMessages, o.CompressMessages);
    storeFlag("pQuickToolbar", in.pQuickToolbar, o.pQuickToolbar);
}

void SettingsWriter::PutMainEvents(const EventsInput& in, const ErrorTrap& trap)
{
    MainEvents& e = m_settings.events;
    storeFlag("cPlayInIdle", in.cPlayInIdle, e.cPlayInIdle);
    storeText("PlayInIdle", in.PlayInIdle, e.PlayInIdle);
    storeFlag("ViewDetails", in.ViewDetails, e.ViewDetails);
    storeFlag("WhenMsgViewMsg", in.WhenMsgViewMsg, e.WhenMsgViewMsg);
    storeText("PlayInRing", in.PlayInRing, e.PlayInRing);
    storeFlag("cPlayInRing", in.cPlayInRing, e.cPlayInRing);
    storeFlag("cAnimation", in.cAnimation, e.cAnimation);
    store("AnimationFast", QString::number(in.AnimationFast));
    e.AnimationFast = in.AnimationFast;
    storeFlag("cCloseCallerView", in.cCloseCallerView, e.cCloseCallerView);
    store("CloseCallerView", in.CloseCallerView);
    trap.step([&] { e.CloseCallerView = VbConvert::toInt16(in.CloseCallerView); });
    storeFlag("cOnlyIfGotMessage", in.cOnlyIfGotMessage, e.cOnlyIfGotMessage);
    store("CallerViewAs", QString::number(in.CallerViewAs));
    e.CallerViewAs = in.CallerViewAs;
}

void SettingsWriter::PutMainActions(const ActionsInput& in)
{
    MainActions& a = m_settings.actions;
    storeFlag("pMailTo", in.pMailTo, a.pMailTo);
    storeText("MailTo", in.MailTo, a.MailTo);
    storeText("SMTPServer", in.SMTPServer, a.SMTPServer);
    storeText("MailFrom", in.MailFrom, a.MailFrom);
    storeFlag("ActionsMailAllCalls", in.mailMessagesOnly, a.ActionsMailAllCalls);
    storeFlag("pAppTo", in.pAppTo, a.pAppTo);
    storeText("AppTo", in.AppTo, a.AppTo);
    storeFlag("pAppToBG", in.pAppToBG, a.pAppToBG);
    storeFlag("ActionsAppAllCalls", in.appMessagesOnly, a.ActionsAppAllCalls);
}

void SettingsWriter::PutLogProperties(const LogPropertiesInput& in)
{
    store("cLogCalls", in.cLogCalls ? "1" : "0");
    store("cLogSys", in.cLogSys ? "1" : "0");
    store("cWornBeforeDelete", in.cWornBeforeDelete ? "1" : "0");
    store("LogFor", in.LogFor);
}

void SettingsWriter::PutView(const WindowPlacement& view)
{
    m_settings.view = view;
    m_settings.view.MeWinState = 0;
    // Stored as the decimal form of a single-precision number, as the loader reads it back.
    store("MeTop", QString::number(float(view.MeTop)));
    store("MeLeft", QString::number(float(view.MeLeft)));
    store("MeWinState", QString::number(float(0)));
    store("MeWidth", QString::number(float(view.MeWidth)));
    store("MeHeight", QString::number(float(view.MeHeight)));
}

void SettingsWriter::PutRecordMessage(bool on)
{
    m_settings.engine.RecordMessage = on;
    storeFlag("RecordMessage", on, m_settings.options.RecordMessage);
}

void SettingsWriter::PutScreening(const ScreenInput& in)
{
    ScreenSettings& s = m_settings.screen;
    store("ScreenCallers", QString::number(in.ScreenCallers));
    s.ScreenCallers = in.ScreenCallers;
    storeText("ScreenKey", in.ScreenKey, s.ScreenKey);
    store("ScreenWait", QString::number(in.ScreenWait));
    s.ScreenWait = in.ScreenWait;
    storeText("ScreenPrompt", in.ScreenPrompt, s.ScreenPrompt);
    storeFlag("ScreenRemember", in.ScreenRemember, s.ScreenRemember);
    storeText("OwnNumber", in.OwnNumber, s.OwnNumber);
}

void SettingsWriter::PutNumOfRing(const QString& text)
{
    m_settings.options.NumOfRing = static_cast<int16_t>(text.toInt());
    store("NumOfRing", text);
}

void SettingsWriter::PutGreeting(const QString& name)
{
    m_settings.engine.GreetingFile = name + ".wav";
    storeText("Greeting", name, m_settings.options.Greeting);
}

void SettingsWriter::PutCloseCallerView(const QString& text)
{
    store("CloseCallerView", text);
    m_settings.events.CloseCallerView = VbConvert::toInt16(text);
}

void SettingsWriter::PutModem(int16_t index, const QString* name)
{
    m_settings.options.Modem = index;
    m_settings.engine.LineIndex = index;
    store("Modem", QString::number(index));
    if (name)
        storeText("ModemName", *name, m_settings.options.ModemName);
}

void SettingsWriter::PutMessagesPath(const QString& folder)
{
    storeText("MassagesPath", folder, m_settings.options.MassagesPath);
    m_settings.engine.MessagesPath = folder;
}

void SettingsWriter::PutRunAtLogin(bool on, const QString& command)
{
    if (on)
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kRunKey, "Kalvo", 1, command);
    else
        mdlReg::DeleteRegValue(mdlReg::HKeyLocalMachine, mdlReg::kRunKey, "Kalvo");
}
