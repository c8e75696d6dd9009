// The answering engine of the main form: the watched line, the call flow with its recording limits,
// remote access and the end-of-call steps, wired to the line control's events, the line sound's
// DonePlay and the mail sender's events. The window reaches it through the entry points below;
// only the engine's own parts change its state.
#pragma once

#include "CallFlow.h"
#include "CallScreen.h"
#include "DeskTalk.h"
#include "EngineState.h"
#include "LineMonitor.h"
#include "PostCallActions.h"
#include "RemoteAccess.h"
#include "SleepInhibitor.h"

#include <QObject>
#include <memory>

class CallStore;
class CallerRules;
class ErrorTrap;
class MessageList;
class MessageStore;

namespace kalvo {
class MailSender;
}

class AnsweringEngine : public QObject
{
    Q_OBJECT

public:
    // status writes the first status-bar panel; list is the window's call list, messages the store.
    // The engine starts on settings.engine.LineIndex.
    ~AnsweringEngine() override;
    AnsweringEngine(LineControl& tapi, WaveControl& wave1, mdlLog& log, Settings& settings,
                    const TimeBase& timeBase, const Clock& clock, CallerViewer& viewer, MessageList& list,
                    MessageStore& messages, CallStore& store, kalvo::MailSender& mail1,
                    const QString& programFolder, std::function<void(const QString&)> status,
                    QObject* parent);

    // The engine's parts, for tests and for reading.
    EngineState& state() { return m_state; }
    LineMonitor& monitor() { return *m_monitor; }
    CallFlow& flow() { return *m_flow; }
    RemoteAccess& remote() { return *m_remote; }
    PostCallActions& actions() { return *m_actions; }
    SleepInhibitor& sleepInhibitor() { return *m_inhibitor; }
    CallerRules& callerRules() { return *m_rules; }
    DeskTalk& talk() { return *m_talk; }
    CallScreen& screen() { return *m_screen; }

    // Plays a sound-card file (ring and end-of-call sounds), and tells whether the sound card is busy.
    void setCardPlayer(const std::function<void(const QString&)>& play, const std::function<bool()>& playing);
    // Whether the window is hidden, and the tray's blink for a call that ended meanwhile.
    void setWindowHooks(std::function<bool()> windowHidden, std::function<void()> startTrayBlink);

    // --- Entry points ---
    int lineIndex() const { return m_state.LineIndex; }
    bool lineIsOpen() const { return m_state.LineIsOpen; }
    // Chooses the modem line by its stored name and opens it. @return false when no line is chosen.
    bool startLine();
    // Opens a line and makes it the one calls are answered on.
    void openLine(int lineIndex);
    void closeLine(int lineIndex);
    // The settings were read again: a closed line follows the stored modem.
    void followStoredLine();
    // The caller viewer's choices on the ringing call: answer at once, reject, let it ring.
    void answerNow();
    void dropIncoming();
    void doNotAnswer();
    // Talking at the desk: take the call on the sound card, and end the conversation. Each returns
    // why it did nothing, or an empty text.
    QString pickUp() { return m_talk->PickUp(); }
    QString hangUp() { return m_talk->HangUp(); }
    // On the way out, each step through trap: a message being recorded is kept as the call's
    // message and the caller hung up on, the line's sound is stopped and the line closed.
    void finishOnExit(const ErrorTrap& trap);

signals:
    // Forwarded from the line monitor, for the window's line switch and message box.
    void lineSwitched(bool on);
    void switchRestored(bool down);
    void userNotice(const QString& text);
    // A failure the user must act on, by cause, and its end (see EngineContext).
    void problem(const QString& cause, const QString& text);
    void solved(const QString& cause);

private:
    void finishCallInProgress();

    EngineState m_state;
    EngineContext m_context;
    LineMonitor* m_monitor;
    CallFlow* m_flow;
    RemoteAccess* m_remote;
    PostCallActions* m_actions;
    SleepInhibitor* m_inhibitor;
    DeskTalk* m_talk;
    CallScreen* m_screen;
    std::unique_ptr<CallerRules> m_rules;
};
