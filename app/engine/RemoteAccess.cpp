// Remote access by touch tones.
#include "RemoteAccess.h"

#include "CallFlow.h"
#include "ErrorTrap.h"
#include "HelperFiles.h"
#include "LineControl.h"
#include "MessageStore.h"
#include "RemotePlayback.h"
#include "RemotePrompts.h"
#include "Settings.h"
#include "WaveControl.h"

RemoteAccess::RemoteAccess(EngineContext& context, CallFlow& flow, MessageStore& store, QObject* parent)
    : QObject(parent), m_context(context), m_flow(flow), m_store(store),
      m_lockout(RemoteLockout::defaultPath(), context.clock),
      m_prompts(new RemotePrompts(
          HelperFiles::programPath("Sayer"), [this](const QString& l) { logLine(l); }, this)),
      m_playback(new RemotePlayback(context, flow, store, *m_prompts, this))
{
    m_flow.setRemotePlaybackDone([this] { m_playback->donePlay(); });
    connect(m_playback, &RemotePlayback::showing, this, &RemoteAccess::showing);
    connect(m_playback, &RemotePlayback::callsChanged, this, &RemoteAccess::callsChanged);
}

QString RemoteAccess::maskedDigit(const QString& digit)
{
    QString masked = digit;
    for (QChar& c : masked)
        if (c.isDigit() || (c >= QLatin1Char('A') && c <= QLatin1Char('D')) ||
            (c >= QLatin1Char('a') && c <= QLatin1Char('d')))
            c = QLatin1Char('x');
    return masked;
}

void RemoteAccess::TapiMonitorDigit(int lineIndex, const QString& digit)
{
    ErrorTrap trap("ErrTapiMonitorDigit ", [this](const QString& l) { logLine(l); });
    EngineState& state = m_context.state;
    logLine("MonitorDigit[LineIndex:" + QString::number(lineIndex) + "]->" + maskedDigit(digit));
    // The screening key is screening's, and a caller not yet let through gets no remote access.
    if (state.Screening || state.ScreenedOut)
        return;
    bool recording = false;
    trap.step([&] { recording = m_context.wave1.IsRecording(); });
    if (recording)
        return;
    if (state.AdminMode) {
        m_playback->key(digit);
        return;
    }
    state.KeyedDigits = true;
    if (digit != QLatin1String("*")) {
        state.DigitBuffer += digit;
    } else {
        const MainOptions& options = m_context.settings.options;
        // Remote access needs it switched on and a password: an empty one would let a lone "*" in.
        const bool allowed = options.AllowRemoteAccess != 0 && !options.Pass.isEmpty();
        if (allowed && !state.DigitBuffer.isEmpty()) {
            bool lockedOut = false;
            trap.step([&] { lockedOut = m_lockout.lockedOut(); });
            if (m_lockout.cannotRead().isEmpty())
                m_context.tellSolved("remote");
            if (!lockedOut && state.DigitBuffer == options.Pass) {
                trap.step([&] { m_lockout.recordRight(); });
                startRemoteAccess(lineIndex);
                return;
            }
            state.DigitBuffer.clear();
            if (refuse(lineIndex, !lockedOut))
                return;
            playErrorTone();
        }
        state.DigitBuffer.clear();
    }
    m_context.status("Monitoring Digits: " + state.DigitBuffer);
}

bool RemoteAccess::refuse(int lineIndex, bool wrongPassword)
{
    ErrorTrap trap("ErrTapiMonitorDigit ", [this](const QString& l) { logLine(l); });
    const QString where = "[LineIndex:" + QString::number(lineIndex) + "]";
    if (wrongPassword) {
        logLine("Remote Control Wrong Password " + where);
        bool lockStarted = false;
        trap.step([&] { lockStarted = m_lockout.recordWrong(); });
        if (lockStarted)
            logLine("Remote Control Locked Out Until " +
                    m_lockout.until().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + " " + where);
    } else if (const QString why = m_lockout.cannotRead(); !why.isEmpty()) {
        logLine("Remote Control Refused, Lockout State Cannot Be Read From " + RemoteLockout::defaultPath() +
                " (" + why + ") " + where);
        m_context.tellProblem("remote", "Remote access is refused: the lockout state " +
                                            RemoteLockout::defaultPath() + " cannot be read (" + why +
                                            "). Remove or repair it to let remote access in again.");
    } else if (m_lockout.cannotSave()) {
        logLine("Remote Control Refused, Lockout State Cannot Be Saved To " + RemoteLockout::defaultPath() +
                " " + where);
    } else {
        logLine("Remote Control Refused, Locked Out " + where);
    }
    // A caller gets a few tries per call, then the line is given back.
    if (++m_context.state.WrongPasswords >= RemoteLockout::kWrongPerCall) {
        logLine("Remote Control Hang Up After " + QString::number(m_context.state.WrongPasswords) +
                " Tries " + where);
        m_flow.DropCall();
        return true;
    }
    return false;
}

void RemoteAccess::playErrorTone()
{
    EngineState& state = m_context.state;
    // Only the greeting is interrupted; a try that comes during the beep is not answered by a tone.
    if (!state.GreetingPlaying)
        return;
    const QString tone = m_prompts->errorTonePath();
    if (tone.isEmpty())
        return;
    ErrorTrap("ErrTapiMonitorDigit ", [this](const QString& l) { logLine(l); }).step([&] {
        WaveControl& wave = m_context.wave1;
        if (wave.IsPlaying())
            wave.StopPlay();
        const int result = wave.PlayFile(tone, m_context.tapi.LineGetWaveOutID(state.LineIndex));
        if (result == 0)
            state.ErrorTonePlaying = true;
        else
            m_flow.replayGreeting();
    });
}

void RemoteAccess::startRemoteAccess(int lineIndex)
{
    EngineState& state = m_context.state;
    // Touch tones stay on: the caller's keys steer the playback.
    state.BeepPlaying = false;
    state.GreetingPlaying = false;
    state.ErrorTonePlaying = false;
    // The call is no longer an ordinary one: its Disconnected and Idle are not handled, so it is
    // neither stored nor followed by actions.
    state.InCall = false;
    state.AdminMode = true;
    logLine("Remote Control [LineIndex:" + QString::number(lineIndex) + "]");
    m_context.status("Administrator Mode");
    m_playback->start();
}
