// Recording limits and silence detection.
#include "RecordingLimits.h"

#include "CallFlow.h"
#include "LineControl.h"
#include "Settings.h"
#include "TimeBase.h"
#include "WaveControl.h"

#include "AudioFileReader.h"
#include "WaveSoundDevice.h"

#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

RecordingLimits::RecordingLimits(EngineContext& context, CallFlow& flow)
    : QObject(&flow), m_context(context), m_flow(flow), m_silence(new QTimer(this)),
      m_record(new QTimer(this))
{
    m_silence->setObjectName("tmrSilence");
    m_record->setObjectName("TimerRecord");
    m_context.timeBase.setInterval(*m_silence, 10);
    m_context.timeBase.setInterval(*m_record, 1000);
    connect(m_silence, &QTimer::timeout, this, &RecordingLimits::silenceTick);
    connect(m_record, &QTimer::timeout, this, &RecordingLimits::recordTick);
    connect(&m_context.wave1, &WaveControl::SilenceReached, this, [this] {
        if (m_watching)
            silenceReached();
    });
}

void RecordingLimits::start()
{
    m_record->start();
    if (m_context.settings.options.cDropSilence == 0)
        return;
    // The sound component measures silence on the audio as it arrives; only one that cannot is
    // asked for the level every 10 ms.
    const int limitMs = m_context.timeBase.interval(
        static_cast<int>(std::min<int64_t>(m_context.settings.options.SecSilence, INT32_MAX / 1000) * 1000));
    try {
        m_watching = m_context.wave1.WatchSilence(m_context.settings.options.ValSilence, limitMs);
    } catch (...) {
        m_watching = false;
    }
    if (!m_watching)
        m_silence->start();
}

void RecordingLimits::stop()
{
    m_record->stop();
    m_silence->stop();
    m_watching = false;
}

void RecordingLimits::silenceTick()
{
    EngineState& state = m_context.state;
    int level = 0;
    try {
        level = m_context.wave1.InputLevel();
    } catch (...) {
        return;
    }
    // A level equal to the threshold is silence.
    if (level > m_context.settings.options.ValSilence) {
        state.SilenceMs = 0;
        return;
    }
    // Each tick counts as 10 ms whatever the timer really took.
    state.SilenceMs += 10;
    if (static_cast<int64_t>(state.SilenceMs) <
        static_cast<int64_t>(m_context.settings.options.SecSilence) * 1000)
        return;
    silenceReached();
}

void RecordingLimits::silenceReached()
{
    EngineState& state = m_context.state;
    m_watching = false;
    state.SilenceMs = 0;
    try {
        if (m_context.wave1.IsRecording())
            m_flow.StopRecMessage();
        if (m_context.tapi.LineConnected(state.LineIndex))
            m_flow.DropCall();
    } catch (...) {
    }
    m_silence->stop();
}

void RecordingLimits::recordTick()
{
    EngineState& state = m_context.state;
    ++state.RecordSeconds;
    // The limit is reached exactly once; a limit of 0 never is, so it records without a limit.
    if (state.RecordSeconds != m_context.settings.engine.MaxRecordSeconds)
        return;
    try {
        if (m_context.wave1.IsRecording() && m_context.tapi.LineConnected(state.LineIndex))
            m_flow.StopRecMessage();
    } catch (...) {
    }
    m_record->stop();
    state.RecordSeconds = 0;
}

bool RecordingLimits::onlySilence(const QString& path, int level)
{
    SNDFILE* file = nullptr;
    SF_INFO info{};
    if (kalvo::sound::AudioFileReader::openFile(path, file, info) != 0 || info.channels < 1)
        return false;
    // Blocks of 20 ms; a few loud ones are a click on the line, not a caller speaking.
    constexpr int kLoudBlocksForSound = 5;
    const sf_count_t frames = std::max(1, info.samplerate / 50);
    std::vector<short> block(size_t(frames) * size_t(info.channels));
    int loud = 0;
    for (sf_count_t got; (got = sf_readf_short(file, block.data(), frames)) > 0;) {
        int peak = 0;
        for (sf_count_t i = 0; i < got * info.channels; ++i)
            peak = std::max(peak, std::abs(int(block[size_t(i)])));
        if (kalvo::sound::WaveSoundDevice::levelOfPeak(peak) > level && ++loud >= kLoudBlocksForSound)
            break;
    }
    sf_close(file);
    return loud < kLoudBlocksForSound;
}
