// The two ways of a conversation at the desk.
#include "TalkBridge.h"

#include <QObject>
#include <QThread>
#include <algorithm>
#include <iterator>

namespace kalvo::sound {

using wave::WaveFormat;

namespace {
const WaveFormat kLineFormat{8000, 1};
// Each ring holds a second: far more than the cushion, so a stall only costs dropped frames.
constexpr size_t kRingFrames = 8000;
} // namespace

CushionedSource::CushionedSource(std::shared_ptr<FrameRing> ring, size_t cushionFrames, size_t slackFrames)
    : m_ring(std::move(ring)), m_cushion(cushionFrames), m_slack(slackFrames)
{
}

size_t CushionedSource::readFrames(int16_t* out, size_t frameCount)
{
    size_t available = m_ring->available();
    if (available > m_cushion + m_slack + frameCount) {
        // The producer's clock runs ahead: fall back to the cushion rather than lag behind for good.
        int16_t scrap[256];
        for (size_t excess = available - m_cushion - frameCount; excess > 0;) {
            const size_t n = m_ring->read(scrap, std::min(excess, std::size(scrap)));
            if (n == 0)
                break;
            excess -= n;
            m_dropped.fetch_add(n, std::memory_order_relaxed);
        }
        available = m_ring->available();
    }
    if (!m_primed && available < m_cushion) {
        m_underruns.fetch_add(frameCount, std::memory_order_relaxed);
        return 0;
    }
    m_primed = true;
    const size_t got = m_ring->read(out, frameCount);
    if (got < frameCount) {
        m_underruns.fetch_add(frameCount - got, std::memory_order_relaxed);
        m_primed = false;
    }
    return got;
}

void RingSink::writeFrames(const int16_t* frames, size_t frameCount)
{
    m_ring->write(frames, frameCount);
    m_frames.fetch_add(frameCount, std::memory_order_relaxed);
}

TalkBridge::TalkBridge(Devices devices, size_t lineBlockFrames)
    : m_devices(std::move(devices)), m_block(std::max<size_t>(lineBlockFrames, 1)),
      m_toSpeaker(std::make_shared<FrameRing>(kRingFrames)),
      m_toLine(std::make_shared<FrameRing>(kRingFrames))
{
}

TalkBridge::~TalkBridge()
{
    stop();
}

void TalkBridge::onCardThread(const std::function<void()>& f)
{
    QMetaObject::invokeMethod(m_cardContext.get(), f, Qt::BlockingQueuedConnection);
}

int TalkBridge::start(QString* failed)
{
    if (m_running)
        return wave::WAVE_ERR_ALLOCATED;
    const auto fail = [&](int result, const char* which) {
        if (failed)
            *failed = QString::fromLatin1(which);
        stop();
        return result;
    };
    for (auto [device, which] : {std::pair{m_devices.lineIn.get(), "line in"},
                                 {m_devices.lineOut.get(), "line out"},
                                 {m_devices.speaker.get(), "speaker"},
                                 {m_devices.microphone.get(), "microphone"}})
        if (!device) {
            if (failed)
                *failed = QString::fromLatin1(which);
            return wave::WAVE_ERR_NODRIVER;
        }
    m_toSpeaker->discard();
    m_toLine->discard();
    m_running = true;
    // The line delivers a block at a time on a steady clock and the speaker's own short buffer is
    // the cushion on that side, so the caller's voice goes straight on. The line takes a block at
    // a time from the microphone's smaller ones: a block and a quarter rides out their phases.
    m_callerSink = std::make_shared<RingSink>(m_toSpeaker);
    m_microphoneSink = std::make_shared<RingSink>(m_toLine);
    m_speakerSource = std::make_shared<CushionedSource>(m_toSpeaker, 0, 3 * m_block);
    m_lineSource = std::make_shared<CushionedSource>(m_toLine, m_block * 5 / 4, 2 * m_block);
    m_cardThread = std::make_unique<QThread>();
    m_cardThread->setObjectName("kalvo-talk");
    m_cardContext = std::make_unique<QObject>();
    m_cardContext->moveToThread(m_cardThread.get());
    m_cardThread->start(QThread::TimeCriticalPriority);
    int speaker = 0, microphone = 0;
    onCardThread([&] {
        speaker = m_devices.speaker->startOutput(kLineFormat, m_speakerSource);
        if (speaker == 0)
            microphone = m_devices.microphone->startInput(kLineFormat, m_microphoneSink);
    });
    if (speaker != 0)
        return fail(speaker, "speaker");
    if (microphone != 0)
        return fail(microphone, "microphone");
    // The line last: until here nothing the call uses has changed.
    if (int r = m_devices.lineIn->startInput(kLineFormat, m_callerSink))
        return fail(r, "line in");
    if (int r = m_devices.lineOut->startOutput(kLineFormat, m_lineSource))
        return fail(r, "line out");
    return 0;
}

void TalkBridge::stop()
{
    if (!m_running)
        return;
    m_running = false;
    // The sound card's Qt objects belong to its thread and go with it.
    if (m_cardThread) {
        onCardThread([this] {
            m_devices.microphone->stop();
            m_devices.speaker->stop();
        });
        m_cardThread->quit();
        m_cardThread->wait();
        m_cardContext.reset();
        m_cardThread.reset();
    }
    m_devices.lineOut->stop();
    m_devices.lineIn->stop();
}

TalkBridge::Stats TalkBridge::stats() const
{
    Stats s;
    if (m_callerSink)
        s.fromCaller = m_callerSink->frames();
    if (m_microphoneSink)
        s.fromMicrophone = m_microphoneSink->frames();
    if (m_speakerSource) {
        s.speakerUnderruns = m_speakerSource->underruns();
        s.dropped += m_speakerSource->dropped();
    }
    if (m_lineSource) {
        s.lineUnderruns = m_lineSource->underruns();
        s.dropped += m_lineSource->dropped();
    }
    return s;
}

} // namespace kalvo::sound
