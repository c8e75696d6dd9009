// Line wave devices moved by their provider.
#include "LineWaveDevice.h"

namespace kalvo::telephony {

using namespace kalvo::wave;

namespace {
const WaveFormat kLineFormat{8000, 1};
}

LineWaveDevice::LineWaveDevice(std::string name, WaveDirection direction)
    : m_name(std::move(name)), m_direction(direction)
{
}

WaveDeviceInfo LineWaveDevice::info() const
{
    return WaveDeviceInfo{m_name, m_direction, {kLineFormat}};
}

int LineWaveDevice::startOutput(const WaveFormat& format, std::shared_ptr<WaveSource> source)
{
    if (m_direction != WaveDirection::Out || !source)
        return WAVE_ERR_NOTSUPPORTED;
    if (!(format == kLineFormat))
        return WAVE_ERR_BADFORMAT;
    std::lock_guard lock(m_mutex);
    if (m_source)
        return WAVE_ERR_ALLOCATED;
    m_processed = 0;
    m_source = std::move(source);
    started();
    return WAVE_OK;
}

int LineWaveDevice::startInput(const WaveFormat& format, std::shared_ptr<WaveSink> sink)
{
    if (m_direction != WaveDirection::In || !sink)
        return WAVE_ERR_NOTSUPPORTED;
    if (!(format == kLineFormat))
        return WAVE_ERR_BADFORMAT;
    std::lock_guard lock(m_mutex);
    if (m_sink)
        return WAVE_ERR_ALLOCATED;
    m_processed = 0;
    m_sink = std::move(sink);
    started();
    return WAVE_OK;
}

void LineWaveDevice::stop()
{
    std::shared_ptr<WaveSource> source;
    std::shared_ptr<WaveSink> sink;
    {
        std::lock_guard lock(m_mutex);
        if (m_sink)
            stopping(*m_sink);
        source = std::move(m_source);
        sink = std::move(m_sink);
    }
    // The stream objects are released outside the lock: their destructors may be program code.
}

bool LineWaveDevice::active() const
{
    std::lock_guard lock(m_mutex);
    return m_source || m_sink;
}

size_t LineWaveDevice::pull(int16_t* out, size_t count)
{
    std::lock_guard lock(m_mutex);
    if (!m_source)
        return 0;
    size_t got = m_source->readFrames(out, count);
    if (got > count)
        got = count;
    m_processed += got;
    return got;
}

void LineWaveDevice::push(const int16_t* frames, size_t count)
{
    std::lock_guard lock(m_mutex);
    if (!m_sink)
        return;
    m_processed += count;
    deliver(*m_sink, frames, count);
}

} // namespace kalvo::telephony
