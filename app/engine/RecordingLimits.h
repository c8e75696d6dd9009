// The two timers that end a recording: silence detection (tmrSilence) and the recording-time limit
// (TimerRecord).
#pragma once

#include "EngineState.h"

#include <QObject>

class CallFlow;
class QTimer;

class RecordingLimits : public QObject
{
    Q_OBJECT

public:
    RecordingLimits(EngineContext& context, CallFlow& flow);

    // Starts the time limit, and silence detection when "cDropSilence" is on.
    void start();
    // Stops both timers.
    void stop();

    QTimer* tmrSilence() const { return m_silence; }
    QTimer* TimerRecord() const { return m_record; }

    // One 10 ms silence tick: counts quiet time, and ends the call after "SecSilence" of it.
    void silenceTick();
    // One second of recording: stops the recording at the limit, leaving the line connected.
    void recordTick();

private:
    EngineContext& m_context;
    CallFlow& m_flow;
    QTimer* m_silence;
    QTimer* m_record;
};
