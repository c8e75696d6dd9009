// SIP line wave devices.
#include "SipWaveDevice.h"

namespace kalvo::sip {

using namespace kalvo::wave;

SipWaveDevice::SipWaveDevice(std::string name, WaveDirection direction)
    : m_name(std::move(name)), m_direction(direction)
{
}

WaveDeviceInfo SipWaveDevice::info() const
{
    return WaveDeviceInfo{m_name, m_direction, {WaveFormat{8000, 1}}};
}

int SipWaveDevice::startOutput(const WaveFormat& format, std::shared_ptr<WaveSource> source)
{
    if (m_direction != WaveDirection::Out || !source)
        return WAVE_ERR_NOTSUPPORTED;
    if (!(format == WaveFormat{8000, 1}))
        return WAVE_ERR_BADFORMAT;
    std::lock_guard lock(m_mutex);
    if (m_source)
        return WAVE_ERR_ALLOCATED;
    m_processed = 0;
    m_source = std::move(source);
    return WAVE_OK;
}

int SipWaveDevice::startInput(const WaveFormat& format, std::shared_ptr<WaveSink> sink)
{
    if (m_direction != WaveDirection::In || !sink)
        return WAVE_ERR_NOTSUPPORTED;
    if (!(format == WaveFormat{8000, 1}))
        return WAVE_ERR_BADFORMAT;
    std::lock_guard lock(m_mutex);
    if (m_sink)
        return WAVE_ERR_ALLOCATED;
    m_processed = 0;
    m_sink = std::move(sink);
    return WAVE_OK;
}

void SipWaveDevice::stop()
{
    std::shared_ptr<WaveSource> source;
    std::shared_ptr<WaveSink> sink;
    {
        std::lock_guard lock(m_mutex);
        source = std::move(m_source);
        sink = std::move(m_sink);
    }
    // The stream objects are released outside the lock: their destructors may be program code.
}

size_t SipWaveDevice::pull(int16_t* out, size_t count)
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

void SipWaveDevice::push(const int16_t* frames, size_t count)
{
    std::lock_guard lock(m_mutex);
    if (!m_sink)
        return;
    m_sink->writeFrames(frames, count);
    m_processed += count;
}

} // namespace kalvo::sip
