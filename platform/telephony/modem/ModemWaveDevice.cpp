// Modem line wave devices.
#include "ModemWaveDevice.h"

#include <vector>

namespace kalvo::modem {

ModemWaveDevice::ModemWaveDevice(std::string name, kalvo::wave::WaveDirection direction,
                                 std::function<void()> onStart)
    : LineWaveDevice(std::move(name), direction), m_onStart(std::move(onStart))
{
}

int ModemWaveDevice::startOutput(const kalvo::wave::WaveFormat& format,
                                 std::shared_ptr<kalvo::wave::WaveSource> source)
{
    if (m_admit && !m_admit())
        return kalvo::wave::WAVE_ERR_ALLOCATED;
    return LineWaveDevice::startOutput(format, std::move(source));
}

void ModemWaveDevice::started()
{
    m_held.clear();
    if (m_onStart)
        m_onStart();
}

void ModemWaveDevice::deliver(kalvo::wave::WaveSink& sink, const int16_t* frames, size_t count)
{
    if (!m_holdBack) {
        // What was held goes first, so the sink hears the caller in order.
        if (!m_held.empty()) {
            const std::vector<int16_t> held(m_held.begin(), m_held.end());
            m_held.clear();
            sink.writeFrames(held.data(), held.size());
        }
        sink.writeFrames(frames, count);
        return;
    }
    m_held.insert(m_held.end(), frames, frames + count);
    if (m_held.size() <= kHoldBackFrames)
        return;
    const size_t ready = m_held.size() - kHoldBackFrames;
    const std::vector<int16_t> out(m_held.begin(), m_held.begin() + long(ready));
    m_held.erase(m_held.begin(), m_held.begin() + long(ready));
    sink.writeFrames(out.data(), out.size());
}

void ModemWaveDevice::stopping(kalvo::wave::WaveSink& sink)
{
    const std::vector<int16_t> rest(m_held.begin(), m_held.end());
    m_held.clear();
    if (!rest.empty())
        sink.writeFrames(rest.data(), rest.size());
}

void ModemWaveDevice::setHoldBack(bool on)
{
    std::lock_guard lock(mutex());
    m_holdBack = on;
}

void ModemWaveDevice::discardHeld()
{
    std::lock_guard lock(mutex());
    m_held.clear();
}

} // namespace kalvo::modem
