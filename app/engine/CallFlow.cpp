// The incoming call flow.
#include "CallFlow.h"

#include "PrivateFiles.h"
#include "RecordingFile.h"
#include "RecoveredMessages.h"

#include "CallScreen.h"
#include "CallStore.h"
#include "CallerRules.h"
#include "CallerViewer.h"
#include "Clock.h"
#include "ErrorTrap.h"
#include "LineControl.h"
#include "LineMonitor.h"
#include "LocaleText.h"
#include "MessageStore.h"
#include "Settings.h"
#include "TimeBase.h"
#include "WaveControl.h"
#include "mdlLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr int kWaitBeforeRecordMs = 300;
const QString kPcmFormat = QStringLiteral(" Format:, 1, 1, 16, 8000->");
const QString kMuLawFormat = QStringLiteral(" Format:, 7, 1, 8, 8000->");
} // namespace

CallFlow::CallFlow(EngineContext& context, LineMonitor& monitor, QObject* parent)
    : QObject(parent), m_context(context), m_monitor(monitor), m_limits(context, *this)
{
}

void CallFlow::TapiInComeCall(int lineIndex)
{
    ErrorTrap trap("ErrTapiInComeCall ", [this](const QString& l) { logLine(l); });
    EngineState& state = m_context.state;
    logLine("InCommingCall" + tag(lineIndex));
    state.AdminMode = false;
    state.InCall = true;
    state.RecordSeconds = 0;
    state.DigitBuffer.clear();
    state.WrongPasswords = 0;
    state.DoNotAnswer = false;
    state.Announced = false;
    state.Blocked = false;
    state.RuleCounted = false;
    state.Accepted = false;
    state.GreetingPlaying = false;
    state.BeepPlaying = false;
    state.RemotePlaying = false;
    state.ErrorTonePlaying = false;
    state.KeyedDigits = false;
    state.Talking = false;
    state.PickUpPending = false;
    state.Screening = false;
    state.ScreenedOut = false;
    state.PassedScreening = false;
    state.ScreenReason.clear();
    state.RuleGreeting.clear();
    state.call = CurrentCall();
    const QDateTime now = m_context.clock.now();
    trap.step([&] {
        state.call.CallDate = LocaleText::shortDate(now.date());
        state.call.CallTime = LocaleText::timeWithSeconds(now.time());
    });
    m_context.status("InComing Call");
    // The ring sound and the caller viewer wait for the caller's identity (which every line sends
    // right after the call, as far as it knows it then): a caller the rules refuse gets neither.
}

void CallFlow::announce()
{
    EngineState& state = m_context.state;
    if (state.Announced || state.Blocked || state.Screening || state.ScreenedOut || !state.InCall)
        return;
    state.Announced = true;
    ErrorTrap trap("ErrTapiInComeCall ", [this](const QString& l) { logLine(l); });
    const MainEvents& events = m_context.settings.events;
    trap.step([&] {
        if (events.cPlayInRing != 0 && m_playOnCard && !(m_cardPlaying && m_cardPlaying()))
            m_playOnCard(m_context.programFolder + "/Sound/" + events.PlayInRing);
    });
    trap.step([&] {
        m_context.viewer.newCall();
        if (events.ViewDetails != 0) {
            m_context.viewer.ViewCallViewer(events.cAnimation != 0, events.AnimationFast,
                                            events.cCloseCallerView, events.CloseCallerView);
            m_context.viewer.setStatus("New Call");
        }
    });
}

bool CallFlow::applyCallerRules(int lineIndex)
{
    EngineState& state = m_context.state;
    if (!state.InCall || state.Blocked || m_context.tapi.LineConnected(lineIndex))
        return state.Blocked;
    // A line that may still learn who calls is asked again when it has.
    if (!state.call.caller.settled())
        return false;
    if (!m_rules) {
        letRing(lineIndex);
        return false;
    }
    const RuleMatcher::Decision decision = m_rules->check(state.call.caller);
    state.RuleGreeting =
        decision.verdict == RuleMatcher::Decision::Verdict::Allow ? decision.greeting : QString();
    if (decision.ruleId != 0 && !state.RuleCounted) {
        state.RuleCounted = true;
        m_rules->count(decision.ruleId, m_context.clock.now().date());
    }
    if (m_rules->error().isEmpty())
        m_context.tellSolved("rules");
    else
        m_context.tellProblem("rules", "Caller rules: " + m_rules->error());
    const ScreenVerdict verdict = ScreenVerdict::judge(
        m_screen ? m_screen->policy() : ScreenVerdict::Policy(), state.call.caller, decision);
    if (verdict.screened() && m_screen) {
        m_screen->start(lineIndex, verdict.reason);
        return true;
    }
    if (verdict.kind != ScreenVerdict::Kind::Block) {
        letRing(lineIndex);
        return false;
    }
    state.Blocked = true;
    state.DoNotAnswer = true;
    const QString caller = state.call.CallerName + ":" + state.call.CallerNumber;
    logLine("CallerBlocked" + tag(lineIndex) + "->" + state.call.CallerName + "-" + state.call.CallerNumber);
    m_context.log.WriteCallsLog("Blocked [" + caller + "]");
    m_context.status("Blocked Call");
    if (m_context.viewer.isLoaded())
        m_context.viewer.CloseViewer();
    refuseOffered(m_rules->cannotRefuse() == kalvo::CallerRuleStore::CannotRefuse::AnswerAndHangUp);
    return true;
}

void CallFlow::letRing(int lineIndex)
{
    // Best effort: a line that always rings has nothing to do, and says so.
    EngineState& state = m_context.state;
    if (state.Accepted)
        return;
    state.Accepted = true;
    try {
        m_context.tapi.LineAccept(lineIndex);
    } catch (...) {
    }
}

void CallFlow::TapiRing(int lineIndex, int ringNumber)
{
    // A refused caller's rings are not counted; a call whose identity never came is announced now.
    EngineState& state = m_context.state;
    if (state.Blocked || state.Screening || state.ScreenedOut)
        return;
    // With screening on, the desk hears nothing before the caller is judged.
    if (!m_screen || m_screen->policy().mode == ScreenVerdict::Mode::Off || state.call.caller.settled())
        announce();
    ErrorTrap trap("ErrTapiRing ", [this](const QString& l) { logLine(l); });
    logLine("Ring" + tag(lineIndex) + "->" + QString::number(ringNumber));
    m_context.status("Ring :" + QString::number(ringNumber));
    trap.step([&] { AnswerToCall(lineIndex, ringNumber, false); });
    trap.step([&] {
        if (m_context.viewer.isLoaded())
            m_context.viewer.setStatus("Ring : " + QString::number(ringNumber));
    });
}

void CallFlow::AnswerToCall(int lineIndex, int ringNumber, bool force)
{
    ErrorTrap("ErrAnswerToCall ", [this](const QString& l) { logLine(l); }).step([&] {
        LineControl& tapi = m_context.tapi;
        if (tapi.LineConnected(lineIndex))
            return;
        EngineState& state = m_context.state;
        const bool atThreshold = ringNumber >= m_context.settings.options.NumOfRing && !state.DoNotAnswer;
        if (!force && !atThreshold)
            return;
        state.call.RingsAtAnswer = QString::number(ringNumber);
        const int request = tapi.LineAnswer(lineIndex);
        logLine("LineAnswer" + tag(lineIndex) + "->Proc Num: " + QString::number(request));
    });
}

void CallFlow::TapiCallerID(int lineIndex, const QString& callerName, const QString& callerNumber)
{
    // Caller identification is best effort: its errors are ignored.
    try {
        EngineState& state = m_context.state;
        state.call.setCaller(
            CallerIdentity::fromLine(callerName, callerNumber, m_context.tapi.LineCallerIDFlags(lineIndex)));
        logLine("CallerID" + tag(lineIndex) + "->" + state.call.CallerName + "-" + state.call.CallerNumber);
        m_context.status("Caller ID Information");
        if (applyCallerRules(lineIndex))
            return;
        announce();
        if (m_context.viewer.isLoaded()) {
            m_context.viewer.setStatus("CallerID Information");
            m_context.viewer.setDetails(state.call.CallerName, state.call.CallerNumber, state.call.CallDate,
                                        state.call.CallTime);
        }
    } catch (...) {
    }
}

void CallFlow::TapiConnected(int lineIndex)
{
    EngineState& state = m_context.state;
    // A blocked caller on a line that cannot refuse is answered only to be hung up on.
    if (!state.InCall || state.Blocked || state.ScreenedOut)
        return;
    if (state.Screening && m_screen) {
        m_context.status("Line Connected");
        m_screen->connected(lineIndex);
        return;
    }
    ErrorTrap trap("ErrTapiConnected ", [this](const QString& l) { logLine(l); });
    m_context.status("Line Connected");
    trap.step([&] {
        if (!m_context.tapi.LineConnected(lineIndex))
            return;
        // Picked up while ringing: the owner talks, nobody is greeted.
        if (m_pickedUp && m_pickedUp()) {
            logLine("Connected" + tag(lineIndex));
            return;
        }
        logLine("Connected" + tag(lineIndex));
        greet(lineIndex);
    });
    trap.step([&] {
        if (m_context.viewer.isLoaded()) {
            m_context.viewer.setStatus("Connected");
            m_context.viewer.DisableChoices();
        }
    });
}

void CallFlow::greet(int lineIndex)
{
    ErrorTrap trap("ErrTapiConnected ", [this](const QString& l) { logLine(l); });
    trap.step([&] { m_context.tapi.LineMonitorDigits(lineIndex, true); });
    m_context.state.GreetingPlaying = true;
    const QString folder = m_context.programFolder + "/Greets/";
    // The caller's own greeting, when it plays, takes the default's place; one that cannot play
    // must not cost the owner the call, so the default greeting follows at once.
    const QString own = m_context.state.RuleGreeting;
    bool ownPlays = false;
    trap.step([&] {
        if (own.isEmpty())
            return;
        QString why = QStringLiteral("not a file of the Greets folder");
        if (RuleMatcher::plainGreetingName(own)) {
            const int played = m_context.wave1.PlayFile(
                folder + own, m_context.tapi.LineGetWaveOutID(m_context.state.LineIndex));
            ownPlays = played == 0;
            why = m_context.wave1.PlayErrorText(played);
        }
        if (ownPlays) {
            m_context.tellSolved("rule greeting");
            return;
        }
        logLine("Rule Greeting \"" + own + "\" cannot be played (" + why +
                "), the default greeting plays instead");
        // The owner chose this greeting for these callers: a log line alone would go unseen.
        m_context.tellProblem("rule greeting", "The greeting \"" + own +
                                                   "\" of an allow rule cannot be played (" + why +
                                                   "); its callers hear the default greeting");
    });
    if (ownPlays)
        return;
    trap.step([&] {
        const QString greeting = m_context.settings.engine.GreetingFile;
        const int played = playOnLine("Play Greeting ", folder + greeting, false);
        if (played == 0)
            m_context.tellSolved("greeting");
        else
            m_context.tellProblem("greeting", "The greeting \"" + greeting + "\" cannot be played: " +
                                                  m_context.wave1.PlayErrorText(played));
    });
}

void CallFlow::replayGreeting()
{
    greet(m_context.state.LineIndex);
}

int CallFlow::playOnLine(const QString& what, const QString& path, bool logAlways)
{
    const int result =
        m_context.wave1.PlayFile(path, m_context.tapi.LineGetWaveOutID(m_context.state.LineIndex));
    if (logAlways || result != 0)
        logLine(what + m_context.wave1.PlayErrorText(result));
    if (result != 0) {
        // No DonePlay will come for a file that did not start; the flow goes on as if it had, so
        // the caller still gets the beep and the recording.
        QMetaObject::invokeMethod(this, &CallFlow::LineWaveDonePlay, Qt::QueuedConnection);
    }
    return result;
}

void CallFlow::LineWaveDonePlay()
{
    ErrorTrap trap("ErrLineWaveDonePlay ", [this](const QString& l) { logLine(l); });
    EngineState& state = m_context.state;
    LineControl& tapi = m_context.tapi;
    // A conversation stopped the greeting or the beep; a late DonePlay of either means nothing.
    // Screening's prompt leads nowhere by itself: the key or the wait decides.
    if (state.Talking || state.Screening || state.ScreenedOut)
        return;
    bool connected = false;
    trap.step([&] { connected = tapi.LineConnected(state.LineIndex); });
    if (!connected) {
        DropCall();
        return;
    }
    if (state.ErrorTonePlaying && !state.AdminMode) {
        state.ErrorTonePlaying = false;
        trap.step([&] { replayGreeting(); });
    } else if (state.GreetingPlaying && !state.AdminMode) {
        trap.step([&] { tapi.LineMonitorDigits(state.LineIndex, false); });
        state.GreetingPlaying = false;
        state.BeepPlaying = true;
        trap.step([&] { playOnLine("Play Beep ", m_context.programFolder + "/beep.wav", true); });
    } else if (state.BeepPlaying && !state.AdminMode) {
        state.BeepPlaying = false;
        RecMessage();
    } else if (state.RemotePlaying && m_remotePlaybackDone) {
        m_remotePlaybackDone();
    }
}

void CallFlow::RecMessage()
{
    ErrorTrap trap("ErrRecMessage ", [this](const QString& l) { logLine(l); });
    EngineState& state = m_context.state;
    const Settings& settings = m_context.settings;
    if (!settings.engine.RecordMessage || state.AdminMode) {
        DropCall();
        return;
    }
    m_context.timeBase.wait(kWaitBeforeRecordMs);
    // Events ran during the wait: a caller who hung up meanwhile leaves nothing to record.
    bool connected = false;
    trap.step([&] { connected = m_context.tapi.LineConnected(state.LineIndex); });
    if (!connected || !state.InCall || state.Talking)
        return;
    trap.step([&] {
        WaveControl& wave = m_context.wave1;
        const int device = m_context.tapi.lineGetID(state.LineIndex, LineControl::kWaveIn);
        const QString recordTag = "[LineIndex:" + QString::number(device) + "]";
        const int card = settings.options.Sound;
        if (settings.options.CompressMessages == 0) {
            const int check = wave.CheckRecordFormat(device, 1, 1, 1, 16, 8000);
            if (check != 0) {
                logLine("Cap Error Rec Message" + recordTag + kPcmFormat + wave.RecordErrorText(check));
                DropCall();
                return;
            }
            const int result = wave.StartRecord(device, 1, 1, 16, 8000);
            const QString line =
                "Start Record Message" + recordTag + kPcmFormat + wave.RecordErrorText(result);
            if (result != 0)
                logLine(line);
            logLine(line);
            if (settings.options.PreScreen != 0)
                logLine("PreScreen->" + wave.RecordErrorText(wave.StartMonitor(card, 1, 1, 16, 8000)));
        } else {
            const int result = wave.StartRecord(device, 7, 1, 8, 8000);
            logLine("Start Record Message" + recordTag + kMuLawFormat + wave.RecordErrorText(result));
            if (settings.options.PreScreen != 0)
                logLine("PreScreen->" + wave.RecordErrorText(wave.StartMonitor(card, 7, 1, 8, 8000)));
        }
        m_limits.start();
    });
    // The caller's details wait beside the spool file, so a crash during the message still leaves
    // a complete call for the next start.
    trap.step([&] {
        if (m_context.wave1.IsRecording())
            RecoveredMessages::noteRecordingStarted(kalvo::sound::RecordingFile::defaultSpoolFolder(),
                                                    state.call);
    });
}

void CallFlow::StopRecMessage()
{
    ErrorTrap trap("ErrStopRecMessage ", [this](const QString& l) { logLine(l); });
    EngineState& state = m_context.state;
    WaveControl& wave = m_context.wave1;
    const QString folder = m_context.messagesFolder();
    const QString spool = kalvo::sound::RecordingFile::defaultSpoolFolder();
    trap.step([&] {
        // A messages folder that was removed is made again; one that cannot be written (a drive that
        // is gone, a read-only one) gives way to the program folder's, and the call points there.
        const QString kept = writableMessagesFolder(folder);
        const QString name = CallStore::messageFileName(kept, state.call.CallDate, state.call.CallTime);
        state.call.MessageFile = kept == folder ? name : kept + name;
        if (kept != folder)
            m_context.tellProblem("folder", "The messages folder " + folder +
                                                " cannot be written; messages are "
                                                "kept in " +
                                                kept + " until it can");
        // Should the file not be written after all, the recording that comes back at the next start
        // joins this call's record.
        RecoveredMessages::noteMessageFile(spool, state.call.MessageFile);
    });
    trap.step([&] {
        int result = wave.StopRecordToFile(MessageStore::messagePath(folder, state.call.MessageFile));
        const QString fallback = fallbackMessagesFolder();
        if (result != 0 && !state.call.MessageFile.startsWith('/') && folder != fallback) {
            // The folder filled up or failed during the call: the message goes to the program
            // folder's at once, so it is listed and playable now, not only after the next start.
            const QString why = wave.RecordErrorText(result);
            logLine("Record Message " + why);
            PrivateFiles::makeFolder(fallback);
            const QString kept =
                fallback + CallStore::messageFileName(fallback, state.call.CallDate, state.call.CallTime);
            result = wave.StopRecordToFile(kept);
            if (result == 0) {
                state.call.MessageFile = kept;
                m_context.tellProblem("folder", "The message could not be written to " + folder + " (" + why +
                                                    "); messages are kept in " + fallback + " until it can");
            }
        } else if (result == 0 && !state.call.MessageFile.startsWith('/')) {
            m_context.tellSolved("folder");
        }
        logLine("Record Message " + wave.RecordErrorText(result));
        if (result == 0)
            m_context.tellSolved("record");
        else
            m_context.tellProblem("record", "The message could not be written to " + folder + ": " +
                                                wave.RecordErrorText(result));
    });
    trap.step([&] { logLine("Close PreScreen" + wave.RecordErrorText(wave.StopMonitor())); });
    RecoveredMessages::noteRecordingEnded(spool);
    m_limits.stop();
    state.call.GotMessage = true;
    state.SilenceMs = 0;
    trap.step([&] { dropSilentMessage(folder); });
}

void CallFlow::dropSilentMessage(const QString& folder)
{
    // A caller who keyed at the greeting and then said nothing was trying remote access, not
    // leaving a message: the silence is not kept as one.
    EngineState& state = m_context.state;
    if (!state.KeyedDigits || state.AdminMode)
        return;
    const QString path = MessageStore::messagePath(folder, state.call.MessageFile);
    if (!RecordingLimits::onlySilence(path, m_context.settings.options.ValSilence))
        return;
    QFile::remove(path);
    logLine("Silent Message Not Kept" + m_context.lineTag());
    state.call.MessageFile.clear();
    state.call.GotMessage = false;
}

QString CallFlow::writableMessagesFolder(const QString& folder) const
{
    if (!QDir(folder).exists() && PrivateFiles::makeFolder(folder)) {
        // News rather than a lasting fault: it stays until the owner has seen it, and a folder gone
        // again later is told again.
        m_context.tellSolved("folder-made");
        m_context.tellProblem("folder-made",
                              "The messages folder " + folder + " was missing; it was made again");
    }
    const QFileInfo info(folder);
    if (info.isDir() && info.isWritable())
        return folder;
    const QString fallback = fallbackMessagesFolder();
    PrivateFiles::makeFolder(fallback);
    return fallback;
}

QString CallFlow::fallbackMessagesFolder() const
{
    return m_context.programFolder + "/Messages/";
}

void CallFlow::DropCall()
{
    // Hanging up ends remote access too; from here on the call list takes clicks again.
    if (m_context.state.AdminMode)
        m_context.state.RemotePlaying = false;
    // Hanging up is best effort: its errors are ignored.
    try {
        LineControl& tapi = m_context.tapi;
        const int result = tapi.LineDrop(m_context.state.LineIndex);
        logLine("LineDrop" + m_context.lineTag() + "->Proc Num: " + tapi.GetTapiStrError(result));
    } catch (...) {
    }
    try {
        m_monitor.PutStatusBarMonitoringModem();
    } catch (...) {
    }
}

void CallFlow::DropInComeCall()
{
    ErrorTrap("ErrDropInComeCall ", [this](const QString& l) { logLine(l); }).step([this] {
        LineControl& tapi = m_context.tapi;
        logLine("DropChice" + m_context.lineTag());
        if (!tapi.LineConnected(m_context.state.LineIndex))
            refuseOffered(true);
    });
}

void CallFlow::refuseOffered(bool answerWhenCannot)
{
    LineControl& tapi = m_context.tapi;
    const int line = m_context.state.LineIndex;
    // A line that can refuse a ringing call does: the caller is never connected, never charged.
    const int refused = tapi.LineDrop(line);
    logLine("LineDrop" + m_context.lineTag() + "->Proc Num: " + tapi.GetTapiStrError(refused));
    if (refused >= 0 || !answerWhenCannot)
        return;
    // One that cannot is answered and hung up at once.
    logLine("LineAnswer" + m_context.lineTag() + "->" + tapi.GetTapiStrError(tapi.LineAnswer(line)));
    logLine("LineDrop" + m_context.lineTag() + "->Proc Num: " + tapi.GetTapiStrError(tapi.LineDrop(line)));
}

void CallFlow::TapiDisConnected(int lineIndex)
{
    EngineState& state = m_context.state;
    if (!state.InCall)
        return;
    ErrorTrap trap("ErrTapiDisConnected ", [this](const QString& l) { logLine(l); });
    m_context.status("Line Disconnected");
    logLine("Disconnected" + tag(lineIndex));
    trap.step([&] {
        if (m_context.wave1.IsRecording())
            StopRecMessage();
    });
    trap.step([&] {
        // Nobody listens any more: a greeting or beep still playing would end with a DonePlay that
        // hangs up whatever call the line has by then, perhaps the next caller's.
        if (m_context.wave1.IsPlaying())
            m_context.wave1.StopPlay();
        state.GreetingPlaying = false;
        state.BeepPlaying = false;
        state.ErrorTonePlaying = false;
    });
    trap.step([&] {
        if (m_context.tapi.LineConnected(lineIndex))
            DropCall();
    });
    trap.step([&] {
        if (m_context.viewer.isLoaded())
            m_context.viewer.setStatus("Diconnected");
    });
}

void CallFlow::TapiIdle(int lineIndex)
{
    EngineState& state = m_context.state;
    if (!state.InCall)
        return;
    ErrorTrap trap("ErrTapiIdle ", [this](const QString& l) { logLine(l); });
    logLine("Idle" + tag(lineIndex));
    // A blocked or screened-out call is not stored, sounded, shown, mailed or handed to a program.
    if (!state.AdminMode && !state.Blocked && !state.ScreenedOut && m_endOfCall)
        trap.step([&] { m_endOfCall(); });
    trap.step([&] { m_monitor.PutStatusBarMonitoringModem(); });
    // The call is over: a repeated Idle for it stores, mails and starts nothing a second time.
    state.InCall = false;
}
