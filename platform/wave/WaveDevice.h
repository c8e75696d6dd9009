// A wave device of the device table: an endpoint that takes (wave out) or delivers (wave in) 16-bit
// PCM frames at the device's rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kalvo::wave {

enum class WaveDirection { In, Out };

// Interleaved signed 16-bit PCM; a frame is one sample per channel.
struct WaveFormat
{
    uint32_t sampleRate = 8000;
    uint16_t channels = 1;

    bool operator==(const WaveFormat&) const = default;
};

// What a device tells about itself; formats lists every format open() accepts (the first is the
// device's own). Lines offer 8000 Hz mono only.
struct WaveDeviceInfo
{
    std::string name;
    WaveDirection direction = WaveDirection::Out;
    std::vector<WaveFormat> formats;
};

// Supplies frames to a wave-out stream. Called on the device's own (real-time) thread: it must not
// block or call program code; exchange samples through a lock-free ring buffer.
class WaveSource
{
public:
    virtual ~WaveSource() = default;
    // Fills up to frameCount frames into out; returns how many it gave. Fewer than asked means the
    // device plays silence for the rest; the stream stays open until stop().
    virtual size_t readFrames(int16_t* out, size_t frameCount) = 0;
};

// Receives frames from a wave-in stream, on the device's own thread, under the same rules.
class WaveSink
{
public:
    virtual ~WaveSink() = default;
    // Takes frameCount frames recorded by the device.
    virtual void writeFrames(const int16_t* frames, size_t frameCount) = 0;
};

// One endpoint. A device runs at most one stream at a time.
class WaveDevice
{
public:
    virtual ~WaveDevice() = default;

    // Name, direction and supported formats.
    virtual WaveDeviceInfo info() const = 0;

    // Starts a wave-out stream pulling from source (Out devices only). @return 0, or WAVE_ERR_BADFORMAT,
    // WAVE_ERR_ALLOCATED (already streaming), WAVE_ERR_NOTSUPPORTED (wrong direction), WAVE_ERR_NODRIVER.
    virtual int startOutput(const WaveFormat& format, std::shared_ptr<WaveSource> source) = 0;

    // Starts a wave-in stream pushing into sink (In devices only). @return as startOutput.
    virtual int startInput(const WaveFormat& format, std::shared_ptr<WaveSink> sink) = 0;

    // Stops the stream; once it returns no callback of the stream runs any more. Harmless when idle.
    virtual void stop() = 0;

    // Frames the running stream has played (out) or recorded (in) since it started.
    virtual uint64_t framesProcessed() const = 0;
};

// Result codes of the device operations (the Windows multimedia numbers).
enum WaveResult : int {
    WAVE_OK = 0,
    WAVE_ERR_BADDEVICEID = 2,
    WAVE_ERR_NOTENABLED = 3,
    WAVE_ERR_ALLOCATED = 4,
    WAVE_ERR_NODRIVER = 6,
    WAVE_ERR_NOTSUPPORTED = 8,
    WAVE_ERR_BADFORMAT = 32,
};

} // namespace kalvo::wave
