// The answering engine of the main form: the watched line, the call flow with its recording limits,
// remote access and the end-of-call steps, wired to the line control's events, the line sound's
// DonePlay and the mail sender's events.
#pragma once

#include "CallFlow.h"
#include "EngineState.h"
#include "LineMonitor.h"
#include "PostCallActions.h"
#include "RemoteAccess.h"
#include "SleepInhibitor.h"

#include <QObject>
#include <memory>

class CallList;
class CallStore;

namespace kalvo {
class MailSender;
}

class AnsweringEngine : public QObject
{
    Q_OBJECT

public:
    // status writes the first status-bar panel. The engine starts on settings.engine.LineIndex.
    AnsweringEngine(LineControl& tapi, WaveControl& wave1, mdlLog& log, Settings& settings,
                    const TimeBase& timeBase, const Clock& clock, CallerViewer& viewer, CallList& list,
                    CallStore& store, kalvo::MailSender& mail1, const QString& programFolder,
                    std::function<void(const QString&)> status, QObject* parent);

    EngineState& state() { return m_state; }
    LineMonitor& monitor() { return *m_monitor; }
    CallFlow& flow() { return *m_flow; }
    RemoteAccess& remote() { return *m_remote; }
    PostCallActions& actions() { return *m_actions; }
    SleepInhibitor& sleepInhibitor() { return *m_inhibitor; }

    // Plays a sound-card file (ring and end-of-call sounds), and tells whether the sound card is busy.
    void setCardPlayer(const std::function<void(const QString&)>& play, const std::function<bool()>& playing);

private:
    EngineState m_state;
    EngineContext m_context;
    LineMonitor* m_monitor;
    CallFlow* m_flow;
    RemoteAccess* m_remote;
    PostCallActions* m_actions;
    SleepInhibitor* m_inhibitor;
};
