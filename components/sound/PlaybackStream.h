// A file played as it is decoded: a worker thread reads and converts it in pieces into a ring of a
// few seconds, which the device's real-time thread plays from. PlayFile returns at once whatever
// the file's length, and memory stays bounded.
#pragma once

#include "ConvertedCache.h"
#include "FileDecoder.h"
#include "FrameRing.h"
#include "WaveDevice.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kalvo::sound {

class PlaybackStream : public wave::WaveSource
{
public:
    // The ring holds this much audio; the worker keeps it filled.
    static constexpr unsigned kRingSeconds = 4;

    ~PlaybackStream() override;

    // Opens path for one of the accepted formats and decodes its first piece, so playback starts
    // with the file's start. When cache is given, every decoded sample is also written to it, and
    // the entry is kept once the whole file has been decoded without error.
    // @return SOUND_OK or the error of FileDecoder::open.
    static int32_t open(const QString& path, const std::vector<wave::WaveFormat>& accepted,
                        std::shared_ptr<PlaybackStream>& out, std::unique_ptr<CacheWriter> cache = nullptr);

    const wave::WaveFormat& format() const { return m_decoder.format(); }
    // The frames the file is expected to give, until the decoder has ended.
    uint64_t expectedFrames() const { return m_decoder.expectedFrames(); }
    // True once decoding has ended (end of file, or a read error that ends the file early); total
    // is then every frame the stream will ever give.
    bool decodingEnded(uint64_t& total) const;
    // The read error that ended decoding early, or SOUND_OK.
    int32_t error() const { return m_error.load(std::memory_order_acquire); }

    // Called once on the device's thread when the device has taken the last frame; set before start().
    // It must only post work to another thread.
    void setOnAllGiven(std::function<void()> onAllGiven) { m_onAllGiven = std::move(onAllGiven); }

    // Starts the worker; stop() ends it (and is called by the destructor). Both from the owner's thread.
    void start();
    void stop();

    // Frames handed to the device so far (a device may count time, gaps included, instead).
    uint64_t framesGiven() const { return m_given.load(std::memory_order_acquire); }

    // Real-time side.
    size_t readFrames(int16_t* out, size_t frameCount) override;

private:
    PlaybackStream() = default;
    // Moves decoded samples into the ring, decoding up to maxPieces more while there is room.
    // @return false once everything decoded is in the ring and the decoder has ended.
    bool fill(int maxPieces = -1);
    void run();

    FileDecoder m_decoder;
    std::unique_ptr<FrameRing> m_ring; // sized for the file's device format once it is open
    size_t m_ringSamples = 0;
    std::vector<int16_t> m_pending; // decoded, not yet in the ring
    size_t m_pendingAt = 0;
    bool m_decoderDone = false;
    uint64_t m_decodedFrames = 0;
    std::atomic<bool> m_ended{false};
    std::atomic<uint64_t> m_total{0};
    std::atomic<int32_t> m_error{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;
    std::atomic<uint64_t> m_given{0};
    std::atomic<bool> m_allGiven{false};
    std::function<void()> m_onAllGiven;
    std::unique_ptr<CacheWriter> m_cache; // worker side once started
    std::thread m_worker;
};

} // namespace kalvo::sound
