// Simulated line wave devices.
#include "SimWaveDevice.h"

#include <chrono>

namespace kalvo::sim {

using namespace kalvo::wave;

namespace {
constexpr size_t kChunk = 160; // 20 ms at 8000 Hz
}

SimWaveDevice::SimWaveDevice(std::string name, WaveDirection direction)
    : m_name(std::move(name)), m_direction(direction)
{
}

SimWaveDevice::~SimWaveDevice()
{
    stop();
}

WaveDeviceInfo SimWaveDevice::info() const
{
    return WaveDeviceInfo{m_name, m_direction, {WaveFormat{8000, 1}}};
}

int SimWaveDevice::start(const WaveFormat& format)
{
    if (!(format == WaveFormat{8000, 1}))
        return WAVE_ERR_BADFORMAT;
    if (m_running)
        return WAVE_ERR_ALLOCATED;
    m_running = true;
    m_stopRequested = false;
    m_processed = 0;
    return WAVE_OK;
}

int SimWaveDevice::startOutput(const WaveFormat& format, std::shared_ptr<WaveSource> source)
{
    if (m_direction != WaveDirection::Out || !source)
        return WAVE_ERR_NOTSUPPORTED;
    std::lock_guard lock(m_mutex);
    if (int r = start(format))
        return r;
    m_source = std::move(source);
    m_thread = std::thread([this] { run(); });
    return WAVE_OK;
}

int SimWaveDevice::startInput(const WaveFormat& format, std::shared_ptr<WaveSink> sink)
{
    if (m_direction != WaveDirection::In || !sink)
        return WAVE_ERR_NOTSUPPORTED;
    std::lock_guard lock(m_mutex);
    if (int r = start(format))
        return r;
    m_sink = std::move(sink);
    m_thread = std::thread([this] { run(); });
    return WAVE_OK;
}

void SimWaveDevice::stop()
{
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        if (!m_running)
            return;
        m_stopRequested = true;
        thread = std::move(m_thread);
    }
    m_wake.notify_all();
    if (thread.joinable())
        thread.join();
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_source.reset();
    m_sink.reset();
}

void SimWaveDevice::run()
{
    using clock = std::chrono::steady_clock;
    auto next = clock::now();
    int16_t buffer[kChunk];
    for (;;) {
        bool fast;
        {
            std::unique_lock lock(m_mutex);
            fast =
                !m_realTime && m_connected && (m_direction == WaveDirection::Out || !m_callerAudio.empty());
            if (!fast) {
                next += std::chrono::milliseconds(20);
                m_wake.wait_until(lock, next, [this] { return m_stopRequested; });
            }
            if (m_stopRequested)
                return;
        }
        if (m_direction == WaveDirection::Out) {
            size_t got = m_source->readFrames(buffer, kChunk);
            m_processed += kChunk;
            if (m_connected && got > 0) {
                std::lock_guard lock(m_mutex);
                m_played.insert(m_played.end(), buffer, buffer + got);
            }
            if (fast && got == 0) {
                // Nothing more to send right now: fall back to the clock rather than spin.
                std::unique_lock lock(m_mutex);
                next = clock::now() + std::chrono::milliseconds(20);
                m_wake.wait_until(lock, next, [this] { return m_stopRequested; });
                if (m_stopRequested)
                    return;
            }
        } else {
            size_t n = 0;
            {
                std::lock_guard lock(m_mutex);
                if (m_connected)
                    for (; n < kChunk && !m_callerAudio.empty(); ++n) {
                        buffer[n] = m_callerAudio.front();
                        m_callerAudio.pop_front();
                    }
            }
            for (size_t i = n; i < kChunk; ++i)
                buffer[i] = 0;
            m_sink->writeFrames(buffer, kChunk);
            m_processed += kChunk;
        }
        if (fast)
            next = clock::now();
    }
}

std::vector<int16_t> SimWaveDevice::played() const
{
    std::lock_guard lock(m_mutex);
    return m_played;
}

void SimWaveDevice::clearPlayed()
{
    std::lock_guard lock(m_mutex);
    m_played.clear();
}

void SimWaveDevice::queueCallerAudio(const std::vector<int16_t>& frames)
{
    std::lock_guard lock(m_mutex);
    m_callerAudio.insert(m_callerAudio.end(), frames.begin(), frames.end());
}

size_t SimWaveDevice::pendingCallerAudio() const
{
    std::lock_guard lock(m_mutex);
    return m_callerAudio.size();
}

} // namespace kalvo::sim
