// Wiring of the answering engine.
#include "AnsweringEngine.h"

#include "CallerRules.h"
#include "ErrorTrap.h"
#include "LineControl.h"
#include "MessageList.h"
#include "RemotePlayback.h"
#include "Settings.h"
#include "WaveControl.h"

AnsweringEngine::AnsweringEngine(LineControl& tapi, WaveControl& wave1, mdlLog& log, Settings& settings,
                                 const TimeBase& timeBase, const Clock& clock, CallerViewer& viewer,
                                 MessageList& list, MessageStore& messages, CallStore& store,
                                 kalvo::MailSender& mail1, const QString& programFolder,
                                 std::function<void(const QString&)> status, QObject* parent)
    : QObject(parent), m_context{tapi,  wave1,  log,     settings,      timeBase,
                                 clock, viewer, m_state, programFolder, std::move(status)}
{
    m_state.LineIndex = settings.engine.LineIndex;
    m_context.problem = [this](const QString& cause, const QString& text) { emit problem(cause, text); };
    m_context.solved = [this](const QString& cause) { emit solved(cause); };
    m_monitor = new LineMonitor(m_context, this);
    m_flow = new CallFlow(m_context, *m_monitor, this);
    m_remote = new RemoteAccess(m_context, *m_flow, messages, this);
    // The list shows the call remote access is at.
    connect(m_remote, &RemoteAccess::showing, this, [&list](qint64 id) { list.selectId(id); });
    connect(m_remote, &RemoteAccess::callsChanged, this, [this, &list] {
        list.makeList();
        list.selectId(m_remote->playback().currentCall());
    });
    m_actions = new PostCallActions(m_context, *m_monitor, list, messages, store, mail1, this);
    m_flow->setEndOfCall([this] { m_actions->run(); });
    m_talk = new DeskTalk(m_context, *m_flow, this);
    m_flow->setPickedUp([this] { return m_talk->lineConnected(); });
    // The conversation ends before the call flow handles the caller's hang-up.
    connect(&tapi, &LineControl::Disconnected, m_talk, &DeskTalk::callEnded);
    connect(&tapi, &LineControl::Idle, m_talk, &DeskTalk::callEnded);
    for (auto event : {&LineControl::InComeCall, &LineControl::Connected})
        connect(&tapi, event, m_talk, &DeskTalk::scheduleChanged);
    connect(&tapi, &LineControl::CallerID, m_talk, &DeskTalk::scheduleChanged);
    // The rules live in the call database's file; they are read when a call needs them.
    m_rules = std::make_unique<CallerRules>(programFolder + "/Calls");
    m_flow->setCallerRules(m_rules.get());
    // A desktop that suspends on idle must not cut a message short: the lock is held from the
    // offered call until the line is idle again, remote access included.
    m_inhibitor = new SleepInhibitor(this);
    connect(&tapi, &LineControl::InComeCall, m_inhibitor, &SleepInhibitor::acquire);
    connect(&tapi, &LineControl::Idle, m_inhibitor, &SleepInhibitor::release);
    list.setRemoteAccessActive([this] { return m_state.AdminMode && m_state.RemotePlaying; });

    connect(&tapi, &LineControl::ProcError, m_monitor, &LineMonitor::TapiProcError);
    connect(&tapi, &LineControl::LineState, m_monitor, &LineMonitor::TapiLineState);
    connect(&tapi, &LineControl::InComeCall, m_flow, &CallFlow::TapiInComeCall);
    connect(&tapi, &LineControl::Ring, m_flow, &CallFlow::TapiRing);
    connect(&tapi, &LineControl::CallerID, m_flow, &CallFlow::TapiCallerID);
    connect(&tapi, &LineControl::Connected, m_flow, &CallFlow::TapiConnected);
    connect(&tapi, &LineControl::Disconnected, m_flow, &CallFlow::TapiDisConnected);
    connect(&tapi, &LineControl::Idle, m_flow, &CallFlow::TapiIdle);
    connect(&tapi, &LineControl::MonitorDigit, m_remote, &RemoteAccess::TapiMonitorDigit);
    connect(&wave1, &WaveControl::DonePlay, m_flow, &CallFlow::LineWaveDonePlay);
    // Screening comes after the call flow's own handlers: its count follows the flow's status text.
    m_screen = new CallScreen(m_context, *m_flow, *m_rules, this);
    m_flow->setCallScreen(m_screen);
    connect(&tapi, &LineControl::MonitorDigit, m_screen, &CallScreen::digit);
    connect(&tapi, &LineControl::Disconnected, m_screen, &CallScreen::disconnected);
    connect(&tapi, &LineControl::Idle, m_screen, &CallScreen::idle);
    connect(m_monitor, &LineMonitor::lineSwitched, this, &AnsweringEngine::lineSwitched);
    connect(m_monitor, &LineMonitor::switchRestored, this, &AnsweringEngine::switchRestored);
    connect(m_monitor, &LineMonitor::userNotice, this, &AnsweringEngine::userNotice);
}

AnsweringEngine::~AnsweringEngine() = default;

void AnsweringEngine::setCardPlayer(const std::function<void(const QString&)>& play,
                                    const std::function<bool()>& playing)
{
    m_flow->setCardPlayer(play, playing);
    m_actions->setCardPlayer(play, playing);
}

void AnsweringEngine::setWindowHooks(std::function<bool()> windowHidden, std::function<void()> startTrayBlink)
{
    m_actions->setWindowHooks(std::move(windowHidden), std::move(startTrayBlink));
}

bool AnsweringEngine::startLine()
{
    if (!m_monitor->SelectModemDevice())
        return false;
    m_monitor->OpenLine(m_state.LineIndex);
    return true;
}

void AnsweringEngine::openLine(int lineIndex)
{
    m_state.LineIndex = lineIndex;
    m_monitor->OpenLine(lineIndex);
}

void AnsweringEngine::closeLine(int lineIndex)
{
    m_monitor->CloseLine(lineIndex);
}

void AnsweringEngine::followStoredLine()
{
    if (!m_state.LineIsOpen)
        m_state.LineIndex = m_context.settings.engine.LineIndex;
}

void AnsweringEngine::answerNow()
{
    m_flow->AnswerToCall(m_state.LineIndex, 0, true);
}

void AnsweringEngine::dropIncoming()
{
    m_flow->DropInComeCall();
}

void AnsweringEngine::doNotAnswer()
{
    m_flow->setDoNotAnswer();
}

void AnsweringEngine::finishOnExit(const ErrorTrap& trap)
{
    trap.step([&] { finishCallInProgress(); });
    trap.step([&] {
        if (m_context.wave1.IsPlaying())
            m_context.wave1.StopPlay();
    });
    trap.step([&] { m_monitor->CloseLine(m_state.LineIndex); });
}

void AnsweringEngine::finishCallInProgress()
{
    if (!m_state.InCall)
        return;
    m_talk->callEnded();
    if (m_context.wave1.IsRecording())
        m_flow->StopRecMessage();
    if (m_context.tapi.LineConnected(m_state.LineIndex))
        m_flow->DropCall();
    if (!m_state.AdminMode)
        m_actions->storeCall();
    // The line's own Idle for this call finds it finished and stores nothing twice.
    m_state.InCall = false;
}
