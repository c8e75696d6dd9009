// Wiring of the answering engine.
#include "AnsweringEngine.h"

#include "CallList.h"
#include "CallStore.h"
#include "LineControl.h"
#include "Settings.h"
#include "WaveControl.h"

AnsweringEngine::AnsweringEngine(LineControl& tapi, WaveControl& wave1, mdlLog& log, Settings& settings,
                                 const TimeBase& timeBase, const Clock& clock, CallerViewer& viewer,
                                 CallList& list, CallStore& store, const QString& programFolder,
                                 std::function<void(const QString&)> status, QObject* parent)
    : QObject(parent), m_context{tapi,  wave1,  log,     settings,      timeBase,
                                 clock, viewer, m_state, programFolder, std::move(status)},
      m_list(list), m_store(store)
{
    m_state.LineIndex = settings.engine.LineIndex;
    m_monitor = new LineMonitor(m_context, this);
    m_flow = new CallFlow(m_context, *m_monitor, this);
    m_remote = new RemoteAccess(m_context, *m_flow, list, this);
    m_flow->setEndOfCall([this] { storeFinishedCall(); });
    list.setRemoteAccessActive([this] { return m_state.AdminMode && m_state.RemotePlaying; });

    connect(&tapi, &LineControl::ProcError, m_monitor, &LineMonitor::TapiProcError);
    connect(&tapi, &LineControl::InComeCall, m_flow, &CallFlow::TapiInComeCall);
    connect(&tapi, &LineControl::Ring, m_flow, &CallFlow::TapiRing);
    connect(&tapi, &LineControl::CallerID, m_flow, &CallFlow::TapiCallerID);
    connect(&tapi, &LineControl::Connected, m_flow, &CallFlow::TapiConnected);
    connect(&tapi, &LineControl::Disconnected, m_flow, &CallFlow::TapiDisConnected);
    connect(&tapi, &LineControl::Idle, m_flow, &CallFlow::TapiIdle);
    connect(&tapi, &LineControl::MonitorDigit, m_remote, &RemoteAccess::TapiMonitorDigit);
    connect(&wave1, &WaveControl::DonePlay, m_flow, &CallFlow::LineWaveDonePlay);
}

void AnsweringEngine::storeFinishedCall()
{
    const CurrentCall& call = m_state.call;
    if (!CallStore::keepsCall(m_context.settings.options.ListMessageOnly, call.GotMessage))
        return;
    m_store.PutCallDetailsInDB(call, m_context.messagesFolder());
    m_list.makeList();
}
