// A wave device of a modem line. Wave out is pulled by the line's playback pacing; wave in holds the
// last moments of the caller's audio back, so a busy or dial tone the modem reports at the end of a
// call can be cut from the message instead of being recorded.
#pragma once

#include "WaveDevice.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace kalvo::modem {

class ModemWaveDevice : public kalvo::wave::WaveDevice
{
public:
    // onStart is called (from the caller's thread) when a stream starts, to wake the line's thread.
    ModemWaveDevice(std::string name, kalvo::wave::WaveDirection direction, std::function<void()> onStart);

    kalvo::wave::WaveDeviceInfo info() const override;
    int startOutput(const kalvo::wave::WaveFormat& format,
                    std::shared_ptr<kalvo::wave::WaveSource> source) override;
    int startInput(const kalvo::wave::WaveFormat& format,
                   std::shared_ptr<kalvo::wave::WaveSink> sink) override;
    // Ends the stream; wave in first hands over the audio it held back.
    void stop() override;
    uint64_t framesProcessed() const override { return m_processed.load(); }

    // True while a stream runs.
    bool active() const;

    // Wave out: up to count frames from the stream's source; 0 when no stream runs or it has none now.
    size_t pull(int16_t* out, size_t count);

    // Wave in: received frames; those older than the hold-back reach the sink.
    void push(const int16_t* frames, size_t count);
    // Wave in: forgets the held-back audio (it was the tone that ended the call).
    void discardHeld();

    // How long wave in holds audio back: long enough for a modem to recognise a busy or dial tone.
    static constexpr size_t kHoldBackFrames = 8000 * 2;

private:
    std::string m_name;
    kalvo::wave::WaveDirection m_direction;
    std::function<void()> m_onStart;
    std::atomic<uint64_t> m_processed{0};
    mutable std::mutex m_mutex; // held during callbacks: stop() returning means none runs any more
    std::shared_ptr<kalvo::wave::WaveSource> m_source;
    std::shared_ptr<kalvo::wave::WaveSink> m_sink;
    std::deque<int16_t> m_held;
};

} // namespace kalvo::modem
