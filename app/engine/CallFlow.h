// The life of one incoming call: the handlers of the line control's call events and of the line
// sound's DonePlay, and the procedures that answer, reject, record and hang up.
#pragma once

#include "EngineState.h"
#include "RecordingLimits.h"

#include <QObject>
#include <functional>

class CallScreen;
class CallerRules;
class LineMonitor;

class CallFlow : public QObject
{
    Q_OBJECT

public:
    CallFlow(EngineContext& context, LineMonitor& monitor, QObject* parent);

    // Remote access continues when one of its messages has played down the line.
    void setRemotePlaybackDone(std::function<void()> next) { m_remotePlaybackDone = std::move(next); }
    // The end-of-call steps run at Idle (store the call, rebuild the list, sounds, actions).
    void setEndOfCall(std::function<void()> steps) { m_endOfCall = std::move(steps); }
    // Plays a sound-card file (the ring sound), and tells whether the sound card is busy.
    void setCardPlayer(std::function<void(const QString&)> play, std::function<bool()> playing)
    {
        m_playOnCard = std::move(play);
        m_cardPlaying = std::move(playing);
    }
    // Asked when the line connects: true when the owner's pick-up takes the call (no greeting).
    void setPickedUp(std::function<bool()> pickedUp) { m_pickedUp = std::move(pickedUp); }
    // The caller rules asked when the caller's identity arrives; none when null.
    void setCallerRules(CallerRules* rules) { m_rules = rules; }
    // Screening, asked with the rules; none when null.
    void setCallScreen(CallScreen* screen) { m_screen = screen; }
    RecordingLimits& limits() { return m_limits; }

    // Answers at the ring threshold, or at once when forced (the caller viewer's answer choice).
    void AnswerToCall(int lineIndex, int ringNumber, bool force);
    // Rejects the offered call (the caller viewer's drop choice).
    void DropInComeCall();
    // The beep has played: record the message (or hang up in answer-only mode).
    void RecMessage();
    // Stops the recording and writes the message file.
    void StopRecMessage();
    // Hangs up.
    void DropCall();
    // Plays the greeting from its start again (after a refused password's tone).
    void replayGreeting();
    // The ring sound and the caller viewer of a call that no rule refused, once per call.
    void announce();
    // The connected line plays the greeting, with touch tones monitored.
    void greet(int lineIndex);
    // The caller viewer's choice to let this call ring.
    void setDoNotAnswer() { m_context.state.DoNotAnswer = true; }

public slots:
    void TapiInComeCall(int lineIndex);
    void TapiRing(int lineIndex, int ringNumber);
    void TapiCallerID(int lineIndex, const QString& callerName, const QString& callerNumber);
    void TapiConnected(int lineIndex);
    void TapiDisConnected(int lineIndex);
    void TapiIdle(int lineIndex);
    void LineWaveDonePlay();

private:
    void logLine(const QString& line) const { m_context.sysLog(line); }
    QString tag(int lineIndex) const { return "[LineIndex:" + QString::number(lineIndex) + "]"; }
    // A greeting or beep that could not start is logged and counts as played to its end.
    // @return the sound component's result.
    int playOnLine(const QString& what, const QString& path, bool logAlways);
    // The messages folder (made again when it is gone), or the program folder's Messages/ when it
    // cannot be written.
    QString writableMessagesFolder(const QString& folder) const;
    // The message just recorded is removed again when it holds only silence after keys.
    void dropSilentMessage(const QString& folder);
    // The program folder's Messages/, where messages go when the messages folder fails.
    QString fallbackMessagesFolder() const;
    // Asks the caller rules about the offered call; a blocked caller is refused, a screened one
    // answered to be asked for the key. @return true when the call was blocked or screened.
    bool applyCallerRules(int lineIndex);
    // Tells the line the offered call may ring, once per call.
    void letRing(int lineIndex);
    // Refuses the offered call; a line that cannot refuse answers and hangs up when answerWhenCannot,
    // else the call is left to ring.
    void refuseOffered(bool answerWhenCannot);

    EngineContext& m_context;
    LineMonitor& m_monitor;
    RecordingLimits m_limits;
    std::function<void()> m_remotePlaybackDone;
    std::function<void()> m_endOfCall;
    std::function<void(const QString&)> m_playOnCard;
    std::function<bool()> m_cardPlaying;
    std::function<bool()> m_pickedUp;
    CallerRules* m_rules = nullptr;
    CallScreen* m_screen = nullptr;
};
