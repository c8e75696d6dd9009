// What ends a recording: silence ("SecSilence" at or below "ValSilence", measured by the sound
// component on the audio itself, or by tmrSilence reading the level where it cannot) and the
// recording-time limit (TimerRecord).
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
    // Stops both limits.
    void stop();
    // True when a recorded file never rises above the silence level (as InputLevel measures it) for
    // more than a click; false when it has sound or cannot be read.
    static bool onlySilence(const QString& path, int level);

    QTimer* tmrSilence() const { return m_silence; }
    QTimer* TimerRecord() const { return m_record; }

    // One 10 ms silence tick: counts quiet time, and ends the call after "SecSilence" of it.
    void silenceTick();
    // The silence limit is reached: stops the recording and ends the call.
    void silenceReached();
    // One second of recording: stops the recording at the limit, leaving the line connected.
    void recordTick();

private:
    EngineContext& m_context;
    CallFlow& m_flow;
    QTimer* m_silence;
    QTimer* m_record;
    bool m_watching = false;
};
