// The sample streams between the component and a wave device's real-time thread: a recording on its
// way to disk and its play-through (a file being played is a PlaybackStream).
#pragma once

#include "FrameRing.h"
#include "WaveDevice.h"

#include <atomic>
#include <memory>

namespace kalvo::sound {

// Takes recorded frames into a ring that the user-interface thread drains to the file, keeps the last
// block's peak for the input level, and copies frames to the play-through ring while monitoring.
class RecordSink : public wave::WaveSink
{
public:
    RecordSink(uint32_t rate, uint16_t channels);
    void writeFrames(const int16_t* frames, size_t frameCount) override;

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
    uint16_t m_channels;
    FrameRing m_ring;
    std::shared_ptr<FrameRing> m_monitor;
    std::atomic<bool> m_monitoring{false};
    std::atomic<int> m_peak{0};
    std::atomic<uint64_t> m_dropped{0};
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
