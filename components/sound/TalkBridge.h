// A conversation at the desk: the caller's voice from the line's wave-in device to the speaker, and
// the microphone to the line's wave-out device, each way through a lock-free ring on the audio
// threads.
#pragma once

#include "FrameRing.h"
#include "WaveDevice.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QObject;
class QThread;

namespace kalvo::sound {

// Plays a ring's frames for a consumer with its own clock and block size: it waits until a cushion
// has built up before giving anything (after a dry run too), and drops what lies beyond the
// cushion plus slack, so two clocks that drift apart never grow the delay.
class CushionedSource : public wave::WaveSource
{
public:
    CushionedSource(std::shared_ptr<FrameRing> ring, size_t cushionFrames, size_t slackFrames);
    size_t readFrames(int16_t* out, size_t frameCount) override;

    // Frames the consumer asked for and did not get (it played silence).
    uint64_t underruns() const { return m_underruns.load(std::memory_order_relaxed); }
    // Frames dropped to keep the delay down.
    uint64_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    std::shared_ptr<FrameRing> m_ring;
    size_t m_cushion;
    size_t m_slack;
    bool m_primed = false;
    std::atomic<uint64_t> m_underruns{0};
    std::atomic<uint64_t> m_dropped{0};
};

// Writes whatever a device delivers into a ring (frames that do not fit are lost, counted).
class RingSink : public wave::WaveSink
{
public:
    explicit RingSink(std::shared_ptr<FrameRing> ring) : m_ring(std::move(ring)) {}
    void writeFrames(const int16_t* frames, size_t frameCount) override;
    uint64_t frames() const { return m_frames.load(std::memory_order_relaxed); }

private:
    std::shared_ptr<FrameRing> m_ring;
    std::atomic<uint64_t> m_frames{0};
};

class TalkBridge
{
public:
    struct Devices
    {
        std::shared_ptr<wave::WaveDevice> lineIn;     // the caller's voice
        std::shared_ptr<wave::WaveDevice> lineOut;    // what the caller hears
        std::shared_ptr<wave::WaveDevice> speaker;    // a sound-card output
        std::shared_ptr<wave::WaveDevice> microphone; // a sound-card input
    };
    struct Stats
    {
        uint64_t fromCaller = 0;       // frames the line delivered
        uint64_t fromMicrophone = 0;   // frames the microphone delivered
        uint64_t speakerUnderruns = 0; // frames the speaker played as silence
        uint64_t lineUnderruns = 0;    // frames the line sent as silence
        uint64_t dropped = 0;          // frames dropped to hold the delay, both ways
    };

    // The line's frames are 8000 Hz mono in blocks of lineBlockFrames (20 ms on every line): the
    // microphone's side keeps a block and a quarter ready for the line; the speaker's own short
    // buffer is the cushion on the other side.
    explicit TalkBridge(Devices devices, size_t lineBlockFrames = 160);
    // Stops.
    ~TalkBridge();
    TalkBridge(const TalkBridge&) = delete;
    TalkBridge& operator=(const TalkBridge&) = delete;

    // Starts both ways: the sound card's streams first, on a thread of their own, so that a card
    // that fails leaves the line's devices untouched; then the line's wave-in, then its wave-out (a
    // modem line switches to full duplex when its wave-out opens while wave-in records). @return 0, or the
    // wave result of the first device that failed, with failed naming it ("line in", "line out", "speaker",
    // "microphone"); nothing stays open then.
    int start(QString* failed = nullptr);
    // Stops every stream; once it returns no audio callback of the bridge runs. Harmless twice.
    void stop();
    bool running() const { return m_running; }
    Stats stats() const;

private:
    // Runs f on the sound card's thread and waits for it.
    void onCardThread(const std::function<void()>& f);

    Devices m_devices;
    size_t m_block;
    std::shared_ptr<FrameRing> m_toSpeaker;
    std::shared_ptr<FrameRing> m_toLine;
    std::shared_ptr<RingSink> m_callerSink;
    std::shared_ptr<RingSink> m_microphoneSink;
    std::shared_ptr<CushionedSource> m_speakerSource;
    std::shared_ptr<CushionedSource> m_lineSource;
    std::unique_ptr<QThread> m_cardThread;
    std::unique_ptr<QObject> m_cardContext;
    bool m_running = false;
};

} // namespace kalvo::sound
