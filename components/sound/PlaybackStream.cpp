// Streamed playback: decoding on a worker thread, playing from a lock-free ring.
#include "PlaybackStream.h"

#include "SoundErrors.h"

#include <chrono>
#include <pthread.h>

namespace kalvo::sound {

namespace {
// Room the worker waits for before it decodes the next piece (a 4096-frame piece of a 48 kHz file
// gives at most that many frames at any device rate the component uses).
constexpr size_t kPieceFrames = 8192;
} // namespace

PlaybackStream::~PlaybackStream()
{
    stop();
}

int32_t PlaybackStream::open(const QString& path, const std::vector<wave::WaveFormat>& accepted,
                             std::shared_ptr<PlaybackStream>& out, std::unique_ptr<CacheWriter> cache)
{
    out.reset();
    std::shared_ptr<PlaybackStream> stream(new PlaybackStream());
    if (int32_t result = stream->m_decoder.open(path, accepted))
        return result;
    if (cache && cache->isOpen() && ConvertedCache::isCachedFormat(stream->format()))
        stream->m_cache = std::move(cache);
    const wave::WaveFormat& format = stream->format();
    stream->m_ringSamples = size_t(format.sampleRate) * format.channels * kRingSeconds;
    stream->m_ring = std::make_unique<FrameRing>(stream->m_ringSamples, format.channels);
    // The first piece now, so the device never starts on an empty ring; the worker does the rest.
    stream->fill(1);
    out = std::move(stream);
    return SOUND_OK;
}

bool PlaybackStream::decodingEnded(uint64_t& total) const
{
    if (!m_ended.load(std::memory_order_acquire))
        return false;
    total = m_total.load(std::memory_order_acquire);
    return true;
}

bool PlaybackStream::fill(int maxPieces)
{
    const uint16_t channels = format().channels;
    for (int pieces = 0;; ++pieces) {
        if (m_pendingAt < m_pending.size()) {
            const size_t stored =
                m_ring->write(m_pending.data() + m_pendingAt, m_pending.size() - m_pendingAt);
            m_pendingAt += stored;
            if (m_pendingAt < m_pending.size())
                return true; // the ring is full: wait for the device to play some
        }
        if (m_decoderDone) {
            if (m_cache) {
                if (m_error.load(std::memory_order_relaxed) == SOUND_OK)
                    m_cache->commit();
                m_cache.reset();
            }
            if (!m_ended.load(std::memory_order_relaxed)) {
                m_total.store(m_decodedFrames, std::memory_order_release);
                m_ended.store(true, std::memory_order_release);
            }
            return false;
        }
        if (m_ringSamples - m_ring->available() < kPieceFrames * channels || pieces == maxPieces)
            return true;
        m_pending.clear();
        m_pendingAt = 0;
        bool finished = false;
        const int32_t result = m_decoder.decodeNext(m_pending, finished);
        // A file that cannot be read further ends where it could be read: the stream plays what it
        // has and the playback ends as a finished one.
        if (result != SOUND_OK)
            m_error.store(result, std::memory_order_release);
        m_decodedFrames += m_pending.size() / channels;
        if (m_cache)
            m_cache->write(m_pending.data(), m_pending.size());
        m_decoderDone = finished || result != SOUND_OK;
    }
}

void PlaybackStream::start()
{
    if (m_worker.joinable() || m_ended.load(std::memory_order_acquire))
        return;
    m_worker = std::thread([this] { run(); });
}

void PlaybackStream::run()
{
    pthread_setname_np(pthread_self(), "kalvo-decode");
    // The ring holds seconds and a piece is at most about one second at a line's rate, so a few
    // checks a second keep it filled.
    while (!m_stop.load(std::memory_order_acquire) && fill()) {
        std::unique_lock lock(m_stopMutex);
        m_stopWake.wait_for(lock, std::chrono::milliseconds(200),
                            [this] { return m_stop.load(std::memory_order_acquire); });
    }
}

void PlaybackStream::stop()
{
    {
        std::lock_guard lock(m_stopMutex);
        m_stop.store(true, std::memory_order_release);
    }
    m_stopWake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

size_t PlaybackStream::readFrames(int16_t* out, size_t frameCount)
{
    const size_t frames = m_ring->read(out, frameCount * format().channels) / format().channels;
    m_given.fetch_add(frames, std::memory_order_acq_rel);
    // Decoding has ended only once everything decoded is in the ring, so an empty ring then means the
    // device has had the last frame.
    if (frames < frameCount && m_ended.load(std::memory_order_acquire) && m_ring->available() == 0 &&
        !m_allGiven.exchange(true, std::memory_order_acq_rel) && m_onAllGiven)
        m_onAllGiven();
    return frames;
}

} // namespace kalvo::sound
