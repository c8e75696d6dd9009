// Writes the settings key and the in-memory settings together: the mirror of SettingsLoader. The
// windows hand over the values they show; only this class and the loader name a stored value.
#pragma once

#include "Settings.h"

#include <QString>
#include <cstdint>
#include <optional>

class ErrorTrap;

// The options dialog's values as shown: list texts as they stand (they are stored as text and
// converted for the in-memory copy), switches as on or off.
struct OptionsInput
{
    QString SecSilence;
    bool cDropSilence = false;
    int16_t ValSilence = 0;
    bool WornDelete = false;
    bool WornClear = false;
    bool ListMessageOnly = false;
    std::optional<int16_t> Modem; // absent when the line could not be looked up
    bool PreScreen = false;
    QString ModemName;
    int32_t Sound = 0;
    bool RecordMessage = false;
    QString Greeting;
    QString NumOfRing;
    QString MaxRec;
    bool AllowRemoteAccess = false;
    QString Pass;
    bool CompressMessages = false;
    bool pQuickToolbar = false;
};

// The events dialog's values as shown.
struct EventsInput
{
    bool cPlayInIdle = false;
    QString PlayInIdle;
    bool ViewDetails = false;
    bool WhenMsgViewMsg = false;
    QString PlayInRing;
    bool cPlayInRing = false;
    bool cAnimation = false;
    int16_t AnimationFast = 0;
    bool cCloseCallerView = false;
    QString CloseCallerView;
    bool cOnlyIfGotMessage = false;
    int16_t CallerViewAs = 0;
};

// The actions dialog's values as shown; the two condition lists as "only calls with a message".
struct ActionsInput
{
    bool pMailTo = false;
    QString MailTo;
    QString SMTPServer;
    QString MailFrom;
    bool mailMessagesOnly = false;
    bool pAppTo = false;
    QString AppTo;
    bool pAppToBG = false;
    bool appMessagesOnly = false;
};

// The log properties dialog's values as shown.
struct LogPropertiesInput
{
    bool cLogCalls = false;
    bool cLogSys = false;
    bool cWornBeforeDelete = false;
    QString LogFor;
};

// The screening page's values as shown.
struct ScreenInput
{
    int16_t ScreenCallers = 0;
    QString ScreenKey;
    int16_t ScreenWait = 8;
    QString ScreenPrompt;
    bool ScreenRemember = true;
    QString OwnNumber;
};

class SettingsWriter
{
public:
    explicit SettingsWriter(Settings& settings) : m_settings(settings) {}

    // The options dialog's OK, in the designed order. A list text that does not convert is stored
    // as it is, and trap logs the conversion error while the in-memory value stays.
    void PutMainOptions(const OptionsInput& input, const ErrorTrap& trap);
    // The events dialog's OK, in the designed order.
    void PutMainEvents(const EventsInput& input, const ErrorTrap& trap);
    // The actions dialog's OK, in the designed order.
    void PutMainActions(const ActionsInput& input);
    // The log properties dialog's OK; the log's own switches are the caller's to set.
    static void PutLogProperties(const LogPropertiesInput& input);
    // The screening page's OK.
    void PutScreening(const ScreenInput& input);
    // The window placement in twips, each as a single-precision number's text; "MeWinState" 0.
    void PutView(const WindowPlacement& view);

    // Values written the moment they change on screen.
    void PutRecordMessage(bool on);
    void PutNumOfRing(const QString& text);
    // The configured greeting (a name without ".wav"), also the file the next call plays.
    void PutGreeting(const QString& name);
    // "CloseCallerView" as picked; throws the conversion error when the text is not a number.
    void PutCloseCallerView(const QString& text);
    // The chosen modem line; a null name leaves "ModemName" as it is.
    void PutModem(int16_t index, const QString* name);
    // The messages folder (ending in "/"); the next recording and playback use it.
    void PutMessagesPath(const QString& folder);
    // The start-with-login command, or none.
    static void PutRunAtLogin(bool on, const QString& command);

private:
    Settings& m_settings;
};
