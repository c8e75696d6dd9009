// The in-memory copy of the settings key, read once at start and updated by the dialogs after they
// write the registry. Field names are the stored value names; widths are the loaders' conversions.
#pragma once

#include <QString>
#include <cstdint>

// What a text setting that was never stored reads as; never shown to the user as a value.
inline bool neverStored(const QString& text)
{
    return text == QLatin1String("Not Found");
}

struct MainOptions
{
    int32_t SecSilence = 0;
    int16_t cDropSilence = 0;
    int16_t ValSilence = 0;
    QString MassagesPath;
    int16_t RecordMessage = 0;
    int16_t NumOfRing = 0;
    int32_t MaxRec = 0;
    QString Pass;
    int16_t WornDelete = 0;
    int16_t WornClear = 0;
    int16_t ListMessageOnly = 0;
    int16_t Modem = 0;
    QString ModemName;
    int32_t Sound = 0;
    QString Greeting;
    int16_t AllowRemoteAccess = 0;
    int16_t CompressMessages = 0;
    int16_t pQuickToolbar = 0;
    int16_t PreScreen = 0;
};

struct MainActions
{
    int16_t pMailTo = 0;
    QString MailTo;
    QString SMTPServer;
    QString MailFrom;
    int16_t ActionsMailAllCalls = 0;
    int16_t pAppTo = 0;
    QString AppTo;
    int16_t pAppToBG = 0;
    int16_t ActionsAppAllCalls = 0;
};

struct MainEvents
{
    QString PlayInRing;
    int16_t cPlayInRing = 0;
    int16_t cOnlyIfGotMessage = 0;
    QString PlayInIdle;
    int16_t cPlayInIdle = 0;
    int16_t WhenMsgViewMsg = 0;
    int16_t ViewDetails = 0;
    int16_t cAnimation = 0;
    int16_t AnimationFast = 0;
    int16_t cCloseCallerView = 0;
    int16_t CloseCallerView = 0;
    // Where a call is shown: 0 the caller window, 1 a desktop notification, 2 both; -1 while never
    // stored (an older settings key), which counts as the first start's choice.
    int16_t CallerViewAs = -1;
};

// The stored window placement in twips; a coordinate that did not convert stays unset.
struct WindowPlacement
{
    static constexpr int32_t kUnset = INT32_MIN;
    int32_t MeTop = kUnset;
    int32_t MeLeft = kUnset;
    int16_t MeWinState = 0;
    int32_t MeWidth = kUnset;
    int32_t MeHeight = kUnset;
};

// The log properties as stored; they live in the key only (the logs keep their own switches).
struct LogProperties
{
    int16_t cLogCalls = 0;
    int16_t cLogSys = 0;
    int16_t cWornBeforeDelete = 0;
    QString LogFor;
};

// What the answering engine runs with, derived from the settings at start.
struct EngineSettings
{
    int32_t LineIndex = -1;       // the watched line; -1 for none
    bool RecordMessage = false;   // record a message after the greeting
    QString GreetingFile;         // Greeting + ".wav", in the program folder's Greets/
    int16_t MaxRecordSeconds = 0; // MaxRec x 60
    QString MessagesPath;         // ends in "/"
};

// Call screening; values never stored read as these defaults (screening off).
struct ScreenSettings
{
    int16_t ScreenCallers = 0; // 0 off, 1 unknown callers, 2 every caller not on an allow rule
    QString ScreenKey = QStringLiteral("1");
    int16_t ScreenWait = 8; // seconds
    QString ScreenPrompt;   // a greeting's name; empty for the spoken default
    int16_t ScreenRemember = 1;
    QString OwnNumber;
};

// Everything the settings loaders fill.
struct Settings
{
    MainOptions options;
    MainActions actions;
    MainEvents events;
    WindowPlacement view;
    EngineSettings engine;
    ScreenSettings screen;
};
