// A wave device of a SIP line: wave out feeds the frames sent to the caller, wave in receives the
// frames decoded from the caller. The line's media clock drives both from the SIP thread.
#pragma once

#include "WaveDevice.h"

#include <atomic>
#include <mutex>
#include <string>

namespace kalvo::sip {

class SipWaveDevice : public kalvo::wave::WaveDevice
{
public:
    SipWaveDevice(std::string name, kalvo::wave::WaveDirection direction);

    kalvo::wave::WaveDeviceInfo info() const override;
    int startOutput(const kalvo::wave::WaveFormat& format,
                    std::shared_ptr<kalvo::wave::WaveSource> source) override;
    int startInput(const kalvo::wave::WaveFormat& format,
                   std::shared_ptr<kalvo::wave::WaveSink> sink) override;
    void stop() override;
    uint64_t framesProcessed() const override { return m_processed.load(); }

    // Wave out, from the media clock: fills up to count frames from the stream's source; returns how
    // many it gave (0 when no stream runs). Only frames actually taken count as played.
    size_t pull(int16_t* out, size_t count);

    // Wave in, from the media clock: hands count received frames to the stream's sink, if any.
    void push(const int16_t* frames, size_t count);

private:
    std::string m_name;
    kalvo::wave::WaveDirection m_direction;
    std::atomic<uint64_t> m_processed{0};
    // Held while a callback runs, so stop() returning means no callback runs any more.
    std::mutex m_mutex;
    std::shared_ptr<kalvo::wave::WaveSource> m_source;
    std::shared_ptr<kalvo::wave::WaveSink> m_sink;
};

} // namespace kalvo::sip
