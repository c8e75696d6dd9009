// Stands in for a line's wave device (the simulated line's devices are not registered yet): a thread
// that takes or gives 20 ms blocks of 8000 Hz mono frames at a set pace, and lets the test see them.
#pragma once

#include "WaveDevice.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace kalvo::test {

class FakeLineDevice : public wave::WaveDevice
{
public:
    // period: time between two 160-frame blocks (20 ms is real time).
    FakeLineDevice(wave::WaveDirection direction, std::chrono::microseconds period);
    ~FakeLineDevice() override;

    wave::WaveDeviceInfo info() const override;
    int startOutput(const wave::WaveFormat& format, std::shared_ptr<wave::WaveSource> source) override;
    int startInput(const wave::WaveFormat& format, std::shared_ptr<wave::WaveSink> sink) override;
    void stop() override;
    uint64_t framesProcessed() const override { return m_processed.load(); }

    // Out: every frame the source gave, in order, over all streams.
    std::vector<int16_t> played() const;
    // In: frames the device delivers next (silence once they run out).
    void feed(const std::vector<int16_t>& frames);
    // In: true once every fed frame has been delivered.
    bool fedAll() const;
    bool running() const { return m_thread.joinable(); }

private:
    void run();

    wave::WaveDirection m_direction;
    std::chrono::microseconds m_period;
    std::shared_ptr<wave::WaveSource> m_source;
    std::shared_ptr<wave::WaveSink> m_sink;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_processed{0};
    mutable std::mutex m_mutex;
    std::vector<int16_t> m_played;
    std::vector<int16_t> m_feed;
    size_t m_fedAt = 0;
};

} // namespace kalvo::test
