// The sample streams between the component and a wave device's real-time thread: a recording on its
// way to disk and its play-through (a file being played is a PlaybackStream).
#pragma once

#include "FrameRing.h"
#include "WaveDevice.h"

#include <atomic>
#include <memory>

namespace kalvo::sound {

// Takes recorded frames into a ring that the file writer drains, keeps the last block's peak for the
// input level, measures quiet time on the blocks as they arrive, and copies frames to the play-through
// ring while monitoring. The writer is woken by the frames themselves: every fifth of a second of
// audio, and at once when the quiet time reaches its limit.
class RecordSink : public wave::WaveSink
{
public:
    RecordSink(uint32_t rate, uint16_t channels);
    void writeFrames(const int16_t* frames, size_t frameCount) override;

    // Owner side: from now on, blocks whose peak is at most quietPeak count as quiet, and limitFrames
    // quiet frames in a row reach the silence limit, once per watch. Each call starts a new watch.
    void watchSilence(int quietPeak, uint64_t limitFrames);
    // Owner side: stops watching for silence.
    void unwatchSilence();
    // The number of the current watch, and of the last watch whose limit was reached (0: none).
    uint32_t silenceWatch() const { return m_watch.load(std::memory_order_acquire); }
    uint32_t silenceReached() const { return m_reachedWatch.load(std::memory_order_acquire); }

    // Writer side: waits until frames have come since the wake count `seen`; returns the new count.
    uint32_t waitForFrames(uint32_t seen) const;
    // Owner side: wakes the writer (to stop it).
    void wakeWriter();

    // Drains recorded frames into out (whole frames); returns how many frames.
    size_t takeFrames(int16_t* out, size_t frameCount);
    // Peak magnitude (0 to 32768) of the last block the device delivered.
    int peak() const { return m_peak.load(std::memory_order_relaxed); }
    // Frames lost because the file writer fell more than the ring's length behind.
    uint64_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }
    uint16_t channels() const { return m_channels; }

    // The play-through ring; filled only while monitoring is on.
    std::shared_ptr<FrameRing> monitorRing() const { return m_monitor; }
    void setMonitoring(bool on) { m_monitoring.store(on, std::memory_order_release); }

private:
    // Counts a block's quiet frames; true when this block reached the limit.
    bool countQuiet(int peak, size_t frameCount);

    uint16_t m_channels;
    FrameRing m_ring;
    std::shared_ptr<FrameRing> m_monitor;
    std::atomic<bool> m_monitoring{false};
    std::atomic<int> m_peak{0};
    std::atomic<uint64_t> m_dropped{0};
    // Writer wake-ups.
    size_t m_wakeEvery;
    size_t m_sinceWake = 0; // device thread only
    std::atomic<uint32_t> m_wakes{0};
    // Silence watch: written by the owner, the watch number last; counted on the device thread.
    std::atomic<int> m_quietPeak{-1};
    std::atomic<uint64_t> m_limitFrames{0};
    std::atomic<uint32_t> m_watch{0};
    std::atomic<uint32_t> m_reachedWatch{0};
    uint32_t m_countedWatch = 0; // device thread only
    uint64_t m_quietFrames = 0;  // device thread only
};

// Plays the recording's frames as they come. The input and output run on different clocks and block
// sizes, so it keeps a small cushion: after running dry it gives nothing (the device plays silence)
// until the cushion has built up again, rather than a crackle of short gaps.
class MonitorSource : public wave::WaveSource
{
public:
    MonitorSource(std::shared_ptr<FrameRing> ring, uint32_t rate, uint16_t channels);
    size_t readFrames(int16_t* out, size_t frameCount) override;

private:
    std::shared_ptr<FrameRing> m_ring;
    uint16_t m_channels;
    size_t m_cushion;
    bool m_primed = false;
};

} // namespace kalvo::sound
