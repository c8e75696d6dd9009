// The stand-in line wave device.
#include "FakeLineDevice.h"

namespace kalvo::test {

using namespace kalvo::wave;

FakeLineDevice::FakeLineDevice(WaveDirection direction, std::chrono::microseconds period)
    : m_direction(direction), m_period(period)
{
}

FakeLineDevice::~FakeLineDevice()
{
    stop();
}

WaveDeviceInfo FakeLineDevice::info() const
{
    return {m_direction == WaveDirection::Out ? "Fake line wave-out" : "Fake line wave-in",
            m_direction,
            {WaveFormat{8000, 1}}};
}

int FakeLineDevice::startOutput(const WaveFormat& format, std::shared_ptr<WaveSource> source)
{
    if (m_direction != WaveDirection::Out)
        return WAVE_ERR_NOTSUPPORTED;
    if (running())
        return WAVE_ERR_ALLOCATED;
    if (!(format == WaveFormat{8000, 1}))
        return WAVE_ERR_BADFORMAT;
    m_source = std::move(source);
    m_processed = 0;
    m_stop = false;
    m_thread = std::thread([this] { run(); });
    return WAVE_OK;
}

int FakeLineDevice::startInput(const WaveFormat& format, std::shared_ptr<WaveSink> sink)
{
    if (m_direction != WaveDirection::In)
        return WAVE_ERR_NOTSUPPORTED;
    if (running())
        return WAVE_ERR_ALLOCATED;
    if (!(format == WaveFormat{8000, 1}))
        return WAVE_ERR_BADFORMAT;
    m_sink = std::move(sink);
    m_processed = 0;
    m_stop = false;
    m_thread = std::thread([this] { run(); });
    return WAVE_OK;
}

void FakeLineDevice::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_source.reset();
    m_sink.reset();
}

void FakeLineDevice::run()
{
    constexpr size_t kBlock = 160;
    int16_t block[kBlock];
    auto next = std::chrono::steady_clock::now();
    while (!m_stop) {
        if (m_direction == WaveDirection::Out) {
            const size_t given = m_source->readFrames(block, kBlock);
            std::lock_guard lock(m_mutex);
            m_played.insert(m_played.end(), block, block + given);
        } else {
            {
                std::lock_guard lock(m_mutex);
                for (size_t i = 0; i < kBlock; ++i)
                    block[i] = m_fedAt < m_feed.size() ? m_feed[m_fedAt++] : 0;
            }
            m_sink->writeFrames(block, kBlock);
        }
        m_processed += kBlock;
        next += m_period;
        std::this_thread::sleep_until(next);
    }
}

std::vector<int16_t> FakeLineDevice::played() const
{
    std::lock_guard lock(m_mutex);
    return m_played;
}

void FakeLineDevice::feed(const std::vector<int16_t>& frames)
{
    std::lock_guard lock(m_mutex);
    m_feed.insert(m_feed.end(), frames.begin(), frames.end());
}

bool FakeLineDevice::fedAll() const
{
    std::lock_guard lock(m_mutex);
    return m_fedAt >= m_feed.size();
}

} // namespace kalvo::test
