// One sound-card endpoint (a PulseAudio sink or source through Qt Multimedia) as a wave device.
#pragma once

#include "WaveDevice.h"

#include <QAudioDevice>
#include <atomic>
#include <memory>
#include <vector>

class QAudioSink;
class QAudioSource;
class QIODevice;
class QTimer;

namespace kalvo::wave {

// The stream's Qt objects live on the thread that starts it, which must run a Qt event loop (the
// user-interface thread): a 10 ms timer there keeps the sink's quarter-second buffer full from the
// wave source (silence once it has nothing), and the input is read into the wave sink from that
// loop whenever Qt has some, so the source and sink callbacks run there too. framesProcessed() of an output
// is what the server reports as played, never more than the frames the source gave, so a playback ends when
// its sound has been heard, not when it was handed over.
class SoundCardDevice : public WaveDevice
{
public:
    SoundCardDevice(const QAudioDevice& device, WaveDirection direction);
    ~SoundCardDevice() override;

    WaveDeviceInfo info() const override;
    int startOutput(const WaveFormat& format, std::shared_ptr<WaveSource> source) override;
    int startInput(const WaveFormat& format, std::shared_ptr<WaveSink> sink) override;
    void stop() override;
    uint64_t framesProcessed() const override;

    // The Qt device behind this endpoint.
    const QAudioDevice& audioDevice() const { return m_device; }

    // The server's buffer for the next stream, in milliseconds (a quarter second unless set): a
    // conversation wants a short one, a file playback a long one.
    void setBufferMs(int ms) { m_bufferMs = ms > 0 ? ms : kDefaultBufferMs; }

    // True when the format is one Qt can open on this device.
    bool accepts(const WaveFormat& format) const;

private:
    static constexpr int kDefaultBufferMs = 250;
    qsizetype bufferBytes(const WaveFormat& format) const;
    // Tops the sink's buffer up from the wave source.
    void feed();
    // Hands what the input has recorded to the wave sink.
    void drain();

    QAudioDevice m_device;
    WaveDirection m_direction;
    WaveFormat m_format;
    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<QAudioSource> m_source;
    std::unique_ptr<QIODevice> m_bridge;
    std::shared_ptr<WaveSource> m_waveSource;
    QIODevice* m_push = nullptr; // owned by m_sink
    QIODevice* m_pull = nullptr; // owned by m_source
    std::unique_ptr<QTimer> m_feedTimer;
    std::vector<int16_t> m_scratch;
    std::shared_ptr<std::atomic<uint64_t>> m_framesGiven;
    int m_bufferMs = kDefaultBufferMs;
};

} // namespace kalvo::wave
