// The real-time side of recording and play-through: copies only, no locks, no program code.
#include "SoundStreams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kalvo::sound {

RecordSink::RecordSink(uint32_t rate, uint16_t channels)
    : m_channels(channels),
      // Eight seconds of slack for the file writer, half a second of play-through delay at most.
      m_ring(static_cast<size_t>(rate) * channels * 8, channels),
      m_monitor(std::make_shared<FrameRing>(static_cast<size_t>(rate) * channels / 2, channels)),
      m_wakeEvery(std::max<size_t>(rate / 5, 1))
{
}

void RecordSink::writeFrames(const int16_t* frames, size_t frameCount)
{
    const size_t samples = frameCount * m_channels;
    int peak = 0;
    for (size_t i = 0; i < samples; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(frames[i])));
    m_peak.store(peak, std::memory_order_relaxed);
    bool wake = countQuiet(peak, frameCount);
    const size_t stored = m_ring.write(frames, samples);
    if (stored < samples)
        m_dropped.fetch_add((samples - stored) / m_channels, std::memory_order_relaxed);
    if (m_monitoring.load(std::memory_order_acquire))
        m_monitor->write(frames, samples);
    m_sinceWake += frameCount;
    if (wake || m_sinceWake >= m_wakeEvery) {
        m_sinceWake = 0;
        m_wakes.fetch_add(1, std::memory_order_release);
        m_wakes.notify_one();
    }
}

bool RecordSink::countQuiet(int peak, size_t frameCount)
{
    const uint32_t watch = m_watch.load(std::memory_order_acquire);
    if (watch != m_countedWatch) {
        m_countedWatch = watch;
        m_quietFrames = 0;
    }
    const int quietPeak = m_quietPeak.load(std::memory_order_relaxed);
    if (quietPeak < 0 || m_reachedWatch.load(std::memory_order_relaxed) == watch)
        return false;
    if (peak > quietPeak) {
        m_quietFrames = 0;
        return false;
    }
    m_quietFrames += frameCount;
    if (m_quietFrames < m_limitFrames.load(std::memory_order_relaxed))
        return false;
    m_reachedWatch.store(watch, std::memory_order_release);
    return true;
}

void RecordSink::watchSilence(int quietPeak, uint64_t limitFrames)
{
    m_quietPeak.store(quietPeak, std::memory_order_relaxed);
    m_limitFrames.store(limitFrames, std::memory_order_relaxed);
    m_watch.fetch_add(1, std::memory_order_acq_rel);
}

void RecordSink::unwatchSilence()
{
    m_quietPeak.store(-1, std::memory_order_relaxed);
    m_watch.fetch_add(1, std::memory_order_acq_rel);
}

uint32_t RecordSink::waitForFrames(uint32_t seen) const
{
    m_wakes.wait(seen, std::memory_order_acquire);
    return m_wakes.load(std::memory_order_acquire);
}

void RecordSink::wakeWriter()
{
    m_wakes.fetch_add(1, std::memory_order_release);
    m_wakes.notify_all();
}

size_t RecordSink::takeFrames(int16_t* out, size_t frameCount)
{
    return m_ring.read(out, frameCount * m_channels) / m_channels;
}

MonitorSource::MonitorSource(std::shared_ptr<FrameRing> ring, uint32_t rate, uint16_t channels)
    : m_ring(std::move(ring)), m_channels(channels), m_cushion(static_cast<size_t>(rate) * channels * 3 / 50)
{
}

size_t MonitorSource::readFrames(int16_t* out, size_t frameCount)
{
    // Sixty milliseconds of cushion.
    if (!m_primed && m_ring->available() < m_cushion)
        return 0;
    m_primed = true;
    const size_t frames = m_ring->read(out, frameCount * m_channels) / m_channels;
    if (frames < frameCount)
        m_primed = false;
    return frames;
}

} // namespace kalvo::sound
