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
      m_monitor(std::make_shared<FrameRing>(static_cast<size_t>(rate) * channels / 2, channels))
{
}

void RecordSink::writeFrames(const int16_t* frames, size_t frameCount)
{
    const size_t samples = frameCount * m_channels;
    int peak = 0;
    for (size_t i = 0; i < samples; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(frames[i])));
    m_peak.store(peak, std::memory_order_relaxed);
    const size_t stored = m_ring.write(frames, samples);
    if (stored < samples)
        m_dropped.fetch_add((samples - stored) / m_channels, std::memory_order_relaxed);
    if (m_monitoring.load(std::memory_order_acquire))
        m_monitor->write(frames, samples);
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
