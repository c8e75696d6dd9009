// A wave device of a line whose provider moves the audio itself (the SIP line's media clock, the
// modem line's port thread): wave out is pulled from the stream's source, wave in pushed to its sink.
#pragma once

#include "WaveDevice.h"

#include <atomic>
#include <mutex>
#include <string>

namespace kalvo::telephony {

class LineWaveDevice : public kalvo::wave::WaveDevice
{
public:
    LineWaveDevice(std::string name, kalvo::wave::WaveDirection direction);

    kalvo::wave::WaveDeviceInfo info() const override;
    int startOutput(const kalvo::wave::WaveFormat& format,
                    std::shared_ptr<kalvo::wave::WaveSource> source) override;
    int startInput(const kalvo::wave::WaveFormat& format,
                   std::shared_ptr<kalvo::wave::WaveSink> sink) override;
    void stop() override;
    uint64_t framesProcessed() const override { return m_processed.load(); }

    // True while a stream runs.
    bool active() const;

    // Wave out: fills up to count frames from the stream's source; returns how many it gave (0 when
    // no stream runs). Only frames actually taken count as played.
    size_t pull(int16_t* out, size_t count);

    // Wave in: hands count received frames to the stream's sink, if any.
    void push(const int16_t* frames, size_t count);

protected:
    // Hooks for a line that treats its audio specially; each runs with the device's lock held.
    // A stream has just started.
    virtual void started() {}
    // Received frames for the sink (the default hands them over at once).
    virtual void deliver(kalvo::wave::WaveSink& sink, const int16_t* frames, size_t count)
    {
        sink.writeFrames(frames, count);
    }
    // The wave-in stream is about to stop; its sink still takes frames.
    virtual void stopping(kalvo::wave::WaveSink& sink) { (void)sink; }
    std::mutex& mutex() const { return m_mutex; }

private:
    std::string m_name;
    kalvo::wave::WaveDirection m_direction;
    std::atomic<uint64_t> m_processed{0};
    // Held while a callback runs, so stop() returning means no callback runs any more.
    mutable std::mutex m_mutex;
    std::shared_ptr<kalvo::wave::WaveSource> m_source;
    std::shared_ptr<kalvo::wave::WaveSink> m_sink;
};

} // namespace kalvo::telephony
