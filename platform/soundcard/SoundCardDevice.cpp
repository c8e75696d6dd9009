// A sound-card wave device over QAudioSink / QAudioSource.
#include "SoundCardDevice.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace kalvo::wave {

namespace {

QAudioFormat toQt(const WaveFormat& format)
{
    QAudioFormat qt;
    qt.setSampleRate(static_cast<int>(format.sampleRate));
    qt.setChannelCount(format.channels);
    qt.setSampleFormat(QAudioFormat::Int16);
    return qt;
}

// What the source writes into: whole frames go to the wave sink; a split frame waits for its rest.
class SinkWriter : public QIODevice
{
public:
    SinkWriter(std::shared_ptr<WaveSink> sink, uint16_t channels,
               std::shared_ptr<std::atomic<uint64_t>> framesTaken)
        : m_sink(std::move(sink)), m_channels(channels), m_framesTaken(std::move(framesTaken))
    {
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        const size_t frameBytes = sizeof(int16_t) * m_channels;
        m_pending.append(data, static_cast<qsizetype>(size));
        const size_t frames = static_cast<size_t>(m_pending.size()) / frameBytes;
        if (frames > 0) {
            m_scratch.resize(frames * m_channels);
            std::memcpy(m_scratch.data(), m_pending.constData(), frames * frameBytes);
            m_sink->writeFrames(m_scratch.data(), frames);
            m_framesTaken->fetch_add(frames, std::memory_order_relaxed);
            m_pending.remove(0, static_cast<qsizetype>(frames * frameBytes));
        }
        return size;
    }

private:
    std::shared_ptr<WaveSink> m_sink;
    uint16_t m_channels;
    std::shared_ptr<std::atomic<uint64_t>> m_framesTaken;
    QByteArray m_pending;
    std::vector<int16_t> m_scratch;
};

} // namespace

SoundCardDevice::SoundCardDevice(const QAudioDevice& device, WaveDirection direction)
    : m_device(device), m_direction(direction), m_framesGiven(std::make_shared<std::atomic<uint64_t>>(0))
{
}

SoundCardDevice::~SoundCardDevice()
{
    stop();
}

WaveDeviceInfo SoundCardDevice::info() const
{
    WaveDeviceInfo result;
    result.name = m_device.description().toStdString();
    result.direction = m_direction;
    const QAudioFormat preferred = m_device.preferredFormat();
    WaveFormat own{static_cast<uint32_t>(std::max(preferred.sampleRate(), 8000)),
                   static_cast<uint16_t>(std::clamp(preferred.channelCount(), 1, 2))};
    result.formats.push_back(own);
    for (uint32_t rate : {8000u, 11025u, 16000u, 22050u, 32000u, 44100u, 48000u}) {
        for (uint16_t channels : {uint16_t(1), uint16_t(2)}) {
            WaveFormat format{rate, channels};
            if (!(format == own) && accepts(format))
                result.formats.push_back(format);
        }
    }
    return result;
}

qsizetype SoundCardDevice::bufferBytes(const WaveFormat& format) const
{
    return static_cast<qsizetype>(format.sampleRate * static_cast<uint32_t>(m_bufferMs) / 1000) *
           format.channels * 2;
}

bool SoundCardDevice::accepts(const WaveFormat& format) const
{
    if (format.channels < 1 || format.channels > 2 || format.sampleRate == 0)
        return false;
    return m_device.isFormatSupported(toQt(format));
}

int SoundCardDevice::startOutput(const WaveFormat& format, std::shared_ptr<WaveSource> source)
{
    if (m_direction != WaveDirection::Out)
        return WAVE_ERR_NOTSUPPORTED;
    if (m_sink || m_source)
        return WAVE_ERR_ALLOCATED;
    if (!source || !accepts(format))
        return WAVE_ERR_BADFORMAT;
    m_format = format;
    m_framesGiven->store(0);
    m_waveSource = std::move(source);
    m_sink = std::make_unique<QAudioSink>(m_device, toQt(format));
    // By default a quarter second of buffer rides out short stalls of the event loop that feeds it.
    m_sink->setBufferSize(bufferBytes(format));
    m_push = m_sink->start();
    if (!m_push || m_sink->error() != QAudio::NoError) {
        stop();
        return WAVE_ERR_NODRIVER;
    }
    m_feedTimer = std::make_unique<QTimer>();
    // A short buffer needs topping up more often than the default's ten milliseconds.
    m_feedTimer->setInterval(m_bufferMs < 40 ? 5 : 10);
    m_feedTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_feedTimer.get(), &QTimer::timeout, [this] { feed(); });
    feed();
    m_feedTimer->start();
    return WAVE_OK;
}

void SoundCardDevice::feed()
{
    // A stop from inside the audio stack's own callbacks can leave a tick with nothing to read.
    if (!m_sink || !m_push || !m_waveSource)
        return;
    const size_t frameBytes = sizeof(int16_t) * m_format.channels;
    const size_t frames = static_cast<size_t>(std::max<qsizetype>(0, m_sink->bytesFree())) / frameBytes;
    if (frames == 0)
        return;
    m_scratch.resize(frames * m_format.channels);
    const size_t given = std::min(frames, m_waveSource->readFrames(m_scratch.data(), frames));
    m_framesGiven->fetch_add(given, std::memory_order_relaxed);
    // Silence after the source's frames keeps the stream running and the server's clock counting.
    // A short buffer is the conversation's cushion: it gets silence only when it is about to run
    // dry, so what the source gives next is not queued behind silence.
    size_t write = frames;
    if (m_bufferMs != kDefaultBufferMs) {
        const size_t queued =
            static_cast<size_t>(std::max<qsizetype>(0, m_sink->bufferSize() - m_sink->bytesFree())) /
            frameBytes;
        const size_t low = m_format.sampleRate / 100; // ten milliseconds
        write = given + (queued + given < low ? low - queued - given : 0);
        write = std::min(write, frames);
    }
    std::fill(m_scratch.begin() + static_cast<std::ptrdiff_t>(given * m_format.channels), m_scratch.end(), 0);
    if (write > 0)
        m_push->write(reinterpret_cast<const char*>(m_scratch.data()),
                      static_cast<qint64>(write * frameBytes));
}

int SoundCardDevice::startInput(const WaveFormat& format, std::shared_ptr<WaveSink> sink)
{
    if (m_direction != WaveDirection::In)
        return WAVE_ERR_NOTSUPPORTED;
    if (m_sink || m_source)
        return WAVE_ERR_ALLOCATED;
    if (!sink || !accepts(format))
        return WAVE_ERR_BADFORMAT;
    m_format = format;
    m_framesGiven->store(0);
    m_bridge = std::make_unique<SinkWriter>(std::move(sink), format.channels, m_framesGiven);
    m_bridge->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_source = std::make_unique<QAudioSource>(m_device, toQt(format));
    if (m_bufferMs != kDefaultBufferMs)
        m_source->setBufferSize(bufferBytes(format));
    // Qt is asked for what it has whenever it says so (its own push of recorded data into a device
    // of ours stays silent on some servers).
    m_pull = m_source->start();
    if (!m_pull || m_source->error() != QAudio::NoError) {
        stop();
        return WAVE_ERR_NODRIVER;
    }
    QObject::connect(m_pull, &QIODevice::readyRead, m_pull, [this] { drain(); });
    return WAVE_OK;
}

void SoundCardDevice::drain()
{
    if (!m_pull || !m_bridge)
        return;
    char block[4096];
    for (qint64 n; (n = m_pull->read(block, sizeof block)) > 0;)
        m_bridge->write(block, n);
}

void SoundCardDevice::stop()
{
    m_feedTimer.reset();
    m_push = nullptr;
    m_pull = nullptr;
    if (m_sink)
        m_sink->stop();
    if (m_source)
        m_source->stop();
    m_sink.reset();
    m_source.reset();
    m_bridge.reset();
    m_waveSource.reset();
}

uint64_t SoundCardDevice::framesProcessed() const
{
    const uint64_t given = m_framesGiven->load(std::memory_order_relaxed);
    if (!m_sink)
        return given;
    // What the server has played, not what was handed to it.
    const qint64 usecs = std::max<qint64>(0, m_sink->processedUSecs());
    const uint64_t played = static_cast<uint64_t>(usecs) * m_format.sampleRate / 1000000u;
    return std::min(given, played);
}

} // namespace kalvo::wave
