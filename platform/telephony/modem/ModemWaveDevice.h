// A wave device of a modem line. Wave out is pulled by the line's playback pacing; wave in holds the
// last moments of the caller's audio back while the line only listens, so a busy or dial tone the
// modem reports at the end of a call can be cut from the message instead of being recorded.
#pragma once

#include "LineWaveDevice.h"

#include <deque>
#include <functional>

namespace kalvo::modem {

class ModemWaveDevice : public kalvo::telephony::LineWaveDevice
{
public:
    // onStart is called (from the caller's thread) when a stream starts, to wake the line's thread.
    ModemWaveDevice(std::string name, kalvo::wave::WaveDirection direction, std::function<void()> onStart);

    // Wave in: forgets the held-back audio (it was the tone that ended the call).
    void discardHeld();
    // Wave in: while the line talks both ways the caller is heard at once (what was held goes first);
    // while it only listens, the last moments are held back again.
    void setHoldBack(bool on);
    // Wave out: asked before a stream starts; false refuses it (WAVE_ERR_ALLOCATED).
    void setAdmission(std::function<bool()> admit) { m_admit = std::move(admit); }

    int startOutput(const kalvo::wave::WaveFormat& format,
                    std::shared_ptr<kalvo::wave::WaveSource> source) override;

    // How long wave in holds audio back: long enough for a modem to recognise a busy or dial tone.
    static constexpr size_t kHoldBackFrames = 8000 * 2;

private:
    void started() override;
    void deliver(kalvo::wave::WaveSink& sink, const int16_t* frames, size_t count) override;
    // What was held back reaches the recording before it stops.
    void stopping(kalvo::wave::WaveSink& sink) override;

    std::function<void()> m_onStart;
    std::function<bool()> m_admit;
    std::deque<int16_t> m_held;
    bool m_holdBack = true;
};

} // namespace kalvo::modem
