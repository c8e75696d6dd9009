// The wave devices of a simulated line: wave out records what is played to the caller, wave in
// delivers the caller's voice, each on its own thread at 20 ms steps of 160 frames.
#pragma once

#include "WaveDevice.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace kalvo::sim {

class SimWaveDevice : public kalvo::wave::WaveDevice
{
public:
    SimWaveDevice(std::string name, kalvo::wave::WaveDirection direction);
    ~SimWaveDevice() override;

    kalvo::wave::WaveDeviceInfo info() const override;
    int startOutput(const kalvo::wave::WaveFormat& format,
                    std::shared_ptr<kalvo::wave::WaveSource> source) override;
    int startInput(const kalvo::wave::WaveFormat& format,
                   std::shared_ptr<kalvo::wave::WaveSink> sink) override;
    void stop() override;
    uint64_t framesProcessed() const override { return m_processed.load(); }

    // Audio flows to and from the caller only while the line has a connected call.
    void setConnected(bool connected) { m_connected = connected; }
    // Real time (20 ms per 160 frames) or as fast as the frames are read.
    void setRealTime(bool realTime) { m_realTime = realTime; }

    // Wave out: every frame played while connected, in order.
    std::vector<int16_t> played() const;
    void clearPlayed();

    // Wave in: queues the caller's voice; silence is delivered when the queue is empty.
    void queueCallerAudio(const std::vector<int16_t>& frames);
    size_t pendingCallerAudio() const;

private:
    int start(const kalvo::wave::WaveFormat& format);
    void run();

    std::string m_name;
    kalvo::wave::WaveDirection m_direction;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_realTime{true};
    std::atomic<uint64_t> m_processed{0};

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = false;
    bool m_stopRequested = false;
    std::shared_ptr<kalvo::wave::WaveSource> m_source;
    std::shared_ptr<kalvo::wave::WaveSink> m_sink;
    std::vector<int16_t> m_played;
    std::deque<int16_t> m_callerAudio;
    std::thread m_thread;
};

} // namespace kalvo::sim
