// The answering engine of the main form: the watched line, the call flow with its recording limits
// and remote access, wired to the line control's events and the line sound's DonePlay.
#pragma once

#include "CallFlow.h"
#include "EngineState.h"
#include "LineMonitor.h"
#include "RemoteAccess.h"

#include <QObject>
#include <memory>

class CallList;
class CallStore;

class AnsweringEngine : public QObject
{
    Q_OBJECT

public:
    // status writes the first status-bar panel. The engine starts on settings.engine.LineIndex.
    AnsweringEngine(LineControl& tapi, WaveControl& wave1, mdlLog& log, Settings& settings,
                    const TimeBase& timeBase, const Clock& clock, CallerViewer& viewer, CallList& list,
                    CallStore& store, const QString& programFolder,
                    std::function<void(const QString&)> status, QObject* parent);

    EngineState& state() { return m_state; }
    LineMonitor& monitor() { return *m_monitor; }
    CallFlow& flow() { return *m_flow; }
    RemoteAccess& remote() { return *m_remote; }

    // The end-of-call steps of the engine: store the call (as "ListMessageOnly" says) and rebuild
    // the list.
    void storeFinishedCall();

private:
    EngineState m_state;
    EngineContext m_context;
    CallList& m_list;
    CallStore& m_store;
    LineMonitor* m_monitor;
    CallFlow* m_flow;
    RemoteAccess* m_remote;
};
