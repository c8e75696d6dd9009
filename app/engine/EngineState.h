// What the answering engine works with: the watched line, the current call and its flags, and the
// parts of the main form it reaches.
#pragma once

#include "WaveControl.h"

#include "CurrentCall.h"

#include <QString>
#include <cstdint>
#include <functional>

class CallerViewer;
class Clock;
class LineControl;
class TimeBase;

class mdlLog;
struct Settings;

struct EngineState
{
    int32_t LineIndex = -1; // the watched line; -1 for none
    bool LineIsOpen = false;
    bool InCall = false;
    bool AdminMode = false;
    bool GreetingPlaying = false;
    bool BeepPlaying = false;
    bool RemotePlaying = false;
    bool ErrorTonePlaying = false; // a refused password's tone interrupts the greeting
    bool KeyedDigits = false;      // the caller pressed keys during this call
    bool DoNotAnswer = false;
    bool Announced = false; // the ring sound and the caller viewer were given for this call
    bool Blocked = false;   // a caller rule refused this call: nothing more is done for it
    bool RuleCounted = false;
    bool Accepted = false;        // the line was told to let this call ring
    bool Talking = false;         // the owner talks with the caller at the desk
    bool PickUpPending = false;   // picked up while ringing: the conversation starts once connected
    bool Screening = false;       // answered to ask the caller for the key; nothing announced yet
    bool ScreenedOut = false;     // hung up by screening: nothing is stored, sounded or sent
    bool PassedScreening = false; // the caller pressed the key and goes on as a normal call
    QString ScreenReason;
    QString
        RuleGreeting; // the greeting the caller's allow rule names (a file in Greets); empty for the default
    QString DigitBuffer;
    int32_t WrongPasswords = 0; // remote-access tries refused during this call
    int32_t RecordSeconds = 0;
    int32_t SilenceMs = 0;
    CurrentCall call;
};

// The references every engine part is given.
struct EngineContext
{
    LineControl& tapi;
    WaveControl& wave1;
    mdlLog& log;
    Settings& settings;
    const TimeBase& timeBase;
    const Clock& clock;
    CallerViewer& viewer;
    EngineState& state;
    QString programFolder;                      // no trailing "/"
    std::function<void(const QString&)> status; // the first status-bar panel
    // A failure the user must act on, by cause ("mail", "program", "store", "record", "line",
    // "greeting"), and the end of that failure; the window tells each cause once.
    std::function<void(const QString& cause, const QString& text)> problem = {};
    std::function<void(const QString& cause)> solved = {};

    // The messages folder, ending in "/".
    QString messagesFolder() const;
    // The system-log line writer.
    void sysLog(const QString& line) const;
    // "[LineIndex:" + n + "]" for the watched line.
    QString lineTag() const;
    // Tells a failure, or its end, when the window listens.
    void tellProblem(const QString& cause, const QString& text) const;
    void tellSolved(const QString& cause) const;
};
