// Call screening in the call flow.
#include "CallScreen.h"

#include "CallFlow.h"
#include "CallerRules.h"
#include "CallerViewer.h"
#include "Clock.h"
#include "ErrorTrap.h"
#include "LineControl.h"
#include "Settings.h"
#include "TimeBase.h"
#include "WaveControl.h"
#include "mdlLog.h"

#include <QFileInfo>
#include <QTimer>
#include <algorithm>

CallScreen::CallScreen(EngineContext& context, CallFlow& flow, CallerRules& rules, QObject* parent)
    : QObject(parent), m_context(context), m_flow(flow), m_rules(rules), m_wait(new QTimer(this))
{
    m_wait->setSingleShot(true);
    // A coarse timer may end the wait up to 5% early, cutting off a caller about to press the key.
    m_wait->setTimerType(Qt::PreciseTimer);
    connect(m_wait, &QTimer::timeout, this, [this] {
        if (m_context.state.Screening)
            screenOut(QStringLiteral("timed out"));
    });
}

ScreenVerdict::Policy CallScreen::policy() const
{
    const ScreenSettings& s = m_context.settings.screen;
    ScreenVerdict::Policy policy;
    if (s.ScreenCallers == 1 || s.ScreenCallers == 2)
        policy.mode = static_cast<ScreenVerdict::Mode>(s.ScreenCallers);
    policy.ownNumber = s.OwnNumber;
    return policy;
}

QString CallScreen::promptPath(const QString& programFolder, const QString& prompt, const QString& key)
{
    if (!prompt.trimmed().isEmpty())
        return programFolder + "/Greets/" + prompt + ".wav";
    const QString name = key == QLatin1String("*")   ? QStringLiteral("star")
                         : key == QLatin1String("#") ? QStringLiteral("hash")
                                                     : key;
    return programFolder + "/screen-prompt-" + name + ".wav";
}

QString CallScreen::defaultPromptText(const QString& key)
{
    const QString spoken = key == QLatin1String("*")   ? QStringLiteral("star")
                           : key == QLatin1String("#") ? QStringLiteral("the hash key")
                                                       : key;
    return "To reach us, please press " + spoken + " now.";
}

QString CallScreen::callerTag() const
{
    return "[" + m_context.state.call.CallerName + ":" + m_context.state.call.CallerNumber + "]";
}

void CallScreen::start(int lineIndex, const QString& reason)
{
    EngineState& state = m_context.state;
    state.Screening = true;
    state.DoNotAnswer = true; // rings change nothing now
    state.ScreenReason = reason;
    m_context.sysLog("CallerScreened[LineIndex:" + QString::number(lineIndex) + "]->" + reason);
    m_context.status("Screening Call");
    // The caller never rang the desk: no ring sound, no window, no notification.
    ErrorTrap("ErrAnswerToCall ", [this](const QString& l) { m_context.sysLog(l); }).step([&] {
        state.call.RingsAtAnswer = QStringLiteral("0");
        const int request = m_context.tapi.LineAnswer(lineIndex);
        m_context.sysLog("LineAnswer[LineIndex:" + QString::number(lineIndex) +
                         "]->Proc Num: " + QString::number(request));
    });
    // Bounds the whole screening, also when the line never connects.
    const int seconds = std::max<int>(1, m_context.settings.screen.ScreenWait);
    m_context.timeBase.setInterval(*m_wait, seconds * 1000);
    m_wait->start();
}

void CallScreen::connected(int lineIndex)
{
    ErrorTrap trap("ErrTapiConnected ", [this](const QString& l) { m_context.sysLog(l); });
    LineControl& tapi = m_context.tapi;
    if (!tapi.LineConnected(lineIndex))
        return;
    m_context.sysLog("Connected[LineIndex:" + QString::number(lineIndex) + "]");
    trap.step([&] { tapi.LineMonitorDigits(lineIndex, true); });
    const ScreenSettings& s = m_context.settings.screen;
    QString prompt = promptPath(m_context.programFolder, s.ScreenPrompt, s.ScreenKey);
    if (!QFileInfo::exists(prompt)) {
        // The caller still hears that something is asked of them.
        m_context.tellProblem("screen",
                              "The screening prompt " + prompt + " is missing; callers hear the beep");
        prompt = m_context.programFolder + "/beep.wav";
    } else {
        m_context.tellSolved("screen");
    }
    trap.step([&] {
        const int result = m_context.wave1.PlayFile(prompt, tapi.LineGetWaveOutID(lineIndex));
        if (result != 0)
            m_context.sysLog("Play Screen Prompt " + m_context.wave1.PlayErrorText(result));
    });
    // The caller has the whole wait from here, the prompt included.
    m_wait->start();
}

void CallScreen::digit(int lineIndex, const QString& digit)
{
    EngineState& state = m_context.state;
    if (!state.Screening)
        return;
    if (digit.compare(m_context.settings.screen.ScreenKey, Qt::CaseInsensitive) == 0)
        pass(lineIndex);
    else
        screenOut(QStringLiteral("wrong key"));
}

void CallScreen::pass(int lineIndex)
{
    EngineState& state = m_context.state;
    ErrorTrap trap("ErrScreenPassed ", [this](const QString& l) { m_context.sysLog(l); });
    m_wait->stop();
    state.Screening = false;
    state.PassedScreening = true;
    trap.step([&] {
        if (m_context.wave1.IsPlaying())
            m_context.wave1.StopPlay();
    });
    m_context.sysLog("ScreenPassed[LineIndex:" + QString::number(lineIndex) + "]");
    m_context.log.WriteCallsLog("Passed screening " + callerTag());
    if (m_context.settings.screen.ScreenRemember != 0 &&
        !m_rules.remember(state.call.caller, m_context.clock.now().date()))
        m_context.tellProblem("rules", "Caller rules: " + m_rules.error());
    // Now the desk learns of the call, as of any other.
    m_flow.announce();
    trap.step([&] {
        if (m_context.viewer.isLoaded()) {
            m_context.viewer.setStatus("Passed Screening");
            m_context.viewer.setDetails(state.call.CallerName, state.call.CallerNumber, state.call.CallDate,
                                        state.call.CallTime);
            m_context.viewer.DisableChoices();
        }
    });
    m_flow.greet(lineIndex);
}

void CallScreen::screenOut(const QString& outcome)
{
    EngineState& state = m_context.state;
    ErrorTrap trap("ErrScreenedOut ", [this](const QString& l) { m_context.sysLog(l); });
    m_wait->stop();
    state.Screening = false;
    state.ScreenedOut = true;
    trap.step([&] {
        if (m_context.wave1.IsPlaying())
            m_context.wave1.StopPlay();
    });
    m_context.log.WriteCallsLog("Screened " + callerTag() + " " + state.ScreenReason);
    m_context.sysLog("ScreenedOut" + m_context.lineTag() + "->" + outcome);
    trap.step([&] {
        // A caller who hung up is dropped by the call flow already.
        if (outcome != QLatin1String("hung up"))
            m_flow.DropCall();
    });
    kalvo::ScreenedCall kept{0,
                             m_context.clock.now(),
                             state.call.caller.name.value_or(QString()),
                             state.call.caller.number.value_or(QString()),
                             state.ScreenReason,
                             outcome};
    if ((!m_store.isOpen() && !m_store.open(m_context.programFolder + "/Calls")) || !m_store.add(kept))
        m_context.tellProblem("screened", "A screened-out call cannot be kept: " + m_store.lastError());
    else
        m_context.tellSolved("screened");
}

void CallScreen::disconnected(int lineIndex)
{
    (void)lineIndex;
    if (m_context.state.Screening)
        screenOut(QStringLiteral("hung up"));
}

void CallScreen::idle(int lineIndex)
{
    (void)lineIndex;
    EngineState& state = m_context.state;
    if (state.Screening)
        screenOut(QStringLiteral("hung up"));
    if (state.ScreenedOut) {
        const int today = screenedOutToday();
        m_context.status("Screened out today: " + QString::number(today));
        emit screenedOut(today);
    }
}

int CallScreen::screenedOutToday()
{
    if (!m_store.isOpen() && !m_store.open(m_context.programFolder + "/Calls"))
        return 0;
    return m_store.countOn(m_context.clock.now().date());
}
