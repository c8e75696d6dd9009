// Modem line wave devices.
#include "ModemWaveDevice.h"

#include <vector>

namespace kalvo::modem {

using namespace kalvo::wave;

namespace {
const WaveFormat kLineFormat{8000, 1};
}

ModemWaveDevice::ModemWaveDevice(std::string name, WaveDirection direction, std::function<void()> onStart)
    : m_name(std::move(name)), m_direction(direction), m_onStart(std::move(onStart))
{
}

WaveDeviceInfo ModemWaveDevice::info() const
{
    return WaveDeviceInfo{m_name, m_direction, {kLineFormat}};
}

int ModemWaveDevice::startOutput(const WaveFormat& format, std::shared_ptr<WaveSource> source)
{
    if (m_direction != WaveDirection::Out || !source)
        return WAVE_ERR_NOTSUPPORTED;
    if (!(format == kLineFormat))
        return WAVE_ERR_BADFORMAT;
    {
        std::lock_guard lock(m_mutex);
        if (m_source)
            return WAVE_ERR_ALLOCATED;
        m_processed = 0;
        m_source = std::move(source);
    }
    if (m_onStart)
        m_onStart();
    return WAVE_OK;
}

int ModemWaveDevice::startInput(const WaveFormat& format, std::shared_ptr<WaveSink> sink)
{
    if (m_direction != WaveDirection::In || !sink)
        return WAVE_ERR_NOTSUPPORTED;
    if (!(format == kLineFormat))
        return WAVE_ERR_BADFORMAT;
    {
        std::lock_guard lock(m_mutex);
        if (m_sink)
            return WAVE_ERR_ALLOCATED;
        m_processed = 0;
        m_held.clear();
        m_sink = std::move(sink);
    }
    if (m_onStart)
        m_onStart();
    return WAVE_OK;
}

void ModemWaveDevice::stop()
{
    std::shared_ptr<WaveSource> source;
    std::shared_ptr<WaveSink> sink;
    {
        std::lock_guard lock(m_mutex);
        if (m_sink && !m_held.empty()) {
            const std::vector<int16_t> rest(m_held.begin(), m_held.end());
            m_sink->writeFrames(rest.data(), rest.size());
        }
        m_held.clear();
        source = std::move(m_source);
        sink = std::move(m_sink);
    }
    // Released outside the lock: their destructors may be program code.
}

bool ModemWaveDevice::active() const
{
    std::lock_guard lock(m_mutex);
    return m_source || m_sink;
}

size_t ModemWaveDevice::pull(int16_t* out, size_t count)
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

void ModemWaveDevice::push(const int16_t* frames, size_t count)
{
    std::lock_guard lock(m_mutex);
    if (!m_sink)
        return;
    m_processed += count;
    m_held.insert(m_held.end(), frames, frames + count);
    if (m_held.size() <= kHoldBackFrames)
        return;
    const size_t ready = m_held.size() - kHoldBackFrames;
    const std::vector<int16_t> out(m_held.begin(), m_held.begin() + long(ready));
    m_held.erase(m_held.begin(), m_held.begin() + long(ready));
    m_sink->writeFrames(out.data(), out.size());
}

void ModemWaveDevice::discardHeld()
{
    std::lock_guard lock(m_mutex);
    m_held.clear();
}

} // namespace kalvo::modem
