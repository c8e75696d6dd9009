// The sound device component on the user-interface thread.
#include "WaveSoundDevice.h"

#include "SoundErrors.h"
#include "VbError.h"

#include <QDebug>
#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <pthread.h>

namespace kalvo::sound {

using wave::WaveDevice;
using wave::WaveDeviceId;
using wave::WaveDeviceTable;
using wave::WaveDirection;
using wave::WaveFormat;

namespace {

// A device whose frame counter stands still this long while playing has stopped for good.
constexpr qint64 kStallMs = 3000;

bool offers(const WaveDevice& device, const WaveFormat& format)
{
    const auto formats = device.info().formats;
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

} // namespace

WaveSoundDevice::WaveSoundDevice(QObject* parent) : WaveSoundDevice(WaveDeviceTable::instance(), parent) {}

WaveSoundDevice::WaveSoundDevice(WaveDeviceTable& table, QObject* parent)
    : SoundDevice(parent), m_table(table), m_spoolFolder(RecordingFile::defaultSpoolFolder()),
      m_cacheFolder(ConvertedCache::defaultFolder())
{
    m_watchTimer.setInterval(500);
    connect(&m_watchTimer, &QTimer::timeout, this, &WaveSoundDevice::watchDevices);
    m_endTimer.setSingleShot(true);
    m_endTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_endTimer, &QTimer::timeout, this, &WaveSoundDevice::checkPlayback);
}

WaveSoundDevice::~WaveSoundDevice()
{
    stopPlayback();
    StopMonitor();
    if (m_recording) {
        m_recordDevice->stop();
        stopWriter();
        drainRecording();
        qWarning().noquote() << "sound: recording left unsaved in" << m_file.tempPath();
    }
}

QString WaveSoundDevice::PlayErrorText(int32_t number) const
{
    return soundErrorText(number);
}

QString WaveSoundDevice::RecordErrorText(int32_t number) const
{
    return soundErrorText(number);
}

int32_t WaveSoundDevice::findDevice(WaveDirection direction, int32_t id,
                                    std::shared_ptr<WaveDevice>& device) const
{
    device.reset();
    const auto deviceId = static_cast<WaveDeviceId>(id);
    if (!WaveDeviceTable::isLineDevice(deviceId)) {
        const uint32_t count = m_table.soundCardCount(direction);
        if (count == 0)
            return SOUND_ERR_NOSOUNDCARD;
        if (deviceId >= count)
            return SOUND_ERR_BADDEVICEID;
    }
    device = m_table.find(direction, deviceId);
    if (!device)
        return SOUND_ERR_BADDEVICEID;
    if (device->info().direction != direction)
        return SOUND_ERR_NOTSUPPORTED;
    return SOUND_OK;
}

bool WaveSoundDevice::stillListed(WaveDirection direction, WaveDeviceId id,
                                  const std::shared_ptr<WaveDevice>& device) const
{
    return m_table.find(direction, id) == device;
}

void WaveSoundDevice::stopPlayback()
{
    m_endTimer.stop();
    if (!m_recording)
        m_watchTimer.stop();
    if (m_playDevice)
        m_playDevice->stop();
    m_playDevice.reset();
    if (m_playStream)
        m_playStream->stop();
    m_playStream.reset();
    m_playing = false;
}

int32_t WaveSoundDevice::StopPlay()
{
    stopPlayback();
    return SOUND_OK;
}

int32_t WaveSoundDevice::PlayFile(const QString& path, int32_t outputId)
{
    stopPlayback();
    std::shared_ptr<WaveDevice> device;
    if (int32_t result = findDevice(WaveDirection::Out, outputId, device))
        return result;
    // The file is decoded and converted while it plays; only its first piece is ready here.
    const std::vector<WaveFormat> formats = device->info().formats;
    std::unique_ptr<CacheWriter> writer;
    const QString source = convertedOrSource(path, formats, writer);
    std::shared_ptr<PlaybackStream> stream;
    if (int32_t result = PlaybackStream::open(source, formats, stream, std::move(writer)))
        return result;
    uint64_t total = 0;
    const bool empty = stream->decodingEnded(total) && total == 0;
    m_playFrames = empty ? 0 : std::max<uint64_t>(stream->expectedFrames(), 1);
    // An empty file has nothing to play: it finishes at the first tick.
    if (!empty) {
        // The device's thread only posts the news to this object's thread; a playback stopped or
        // replaced meanwhile is not this one any more.
        const std::weak_ptr<PlaybackStream> weak = stream;
        stream->setOnAllGiven([this, weak] {
            QMetaObject::invokeMethod(
                this,
                [this, weak] {
                    if (m_playing && m_playStream == weak.lock())
                        checkPlayback();
                },
                Qt::QueuedConnection);
        });
        if (int32_t result = device->startOutput(stream->format(), stream))
            return result;
        stream->start();
        m_playDevice = device;
        m_playStream = stream;
    }
    m_playId = static_cast<WaveDeviceId>(outputId);
    m_position = 0;
    m_lastProcessed = 0;
    m_sinceProgress.start();
    m_playing = true;
    m_watchTimer.start();
    // An empty file finishes as soon as the host is back in its event loop.
    if (empty)
        m_endTimer.start(0);
    return SOUND_OK;
}

QString WaveSoundDevice::convertedOrSource(const QString& path, const std::vector<WaveFormat>& formats,
                                           std::unique_ptr<CacheWriter>& writer) const
{
    if (m_cacheFolder.isEmpty())
        return path;
    WaveFileInfoRecord info;
    if (AudioFileReader::info(path, info) != SOUND_OK || info.sampleRate < 1 || info.channels < 1)
        return path;
    const WaveFormat target = AudioFileReader::chooseFormat(static_cast<uint32_t>(info.sampleRate),
                                                            static_cast<uint16_t>(info.channels), formats);
    // Only a change of rate or channels costs enough to keep.
    if (!ConvertedCache::isCachedFormat(target) || (info.sampleRate == 8000 && info.channels == 1))
        return path;
    const QString entry = ConvertedCache::entryPath(m_cacheFolder, path);
    if (entry.isEmpty())
        return path;
    if (ConvertedCache::isWhole(entry))
        return entry;
    // A damaged entry is converted again; one that cannot be written is simply not kept.
    QFile::remove(entry);
    writer = std::make_unique<CacheWriter>();
    if (!writer->open(entry))
        writer.reset();
    return path;
}

uint64_t WaveSoundDevice::playedFrames(bool& decoded) const
{
    decoded = true;
    uint64_t processed = m_playFrames;
    if (m_playStream) {
        uint64_t total = 0;
        decoded = m_playStream->decodingEnded(total);
        if (decoded)
            processed = total;
    }
    if (m_playDevice) {
        processed = m_playDevice->framesProcessed();
        // A device that counts its own time runs on through a gap in the stream: only frames both
        // handed over and played count.
        if (m_playStream)
            processed = std::min(processed, m_playStream->framesGiven());
    }
    return processed;
}

int32_t WaveSoundDevice::PlayPosition() const
{
    if (!m_playing)
        return m_position;
    bool decoded = true;
    const uint64_t processed = playedFrames(decoded);
    uint64_t frames = m_playFrames;
    if (m_playStream && decoded)
        m_playStream->decodingEnded(frames);
    const auto percent =
        static_cast<int32_t>(std::min<uint64_t>(100, processed * 100 / std::max<uint64_t>(frames, 1)));
    m_position = std::max(m_position, decoded ? percent : std::min(percent, 99));
    return m_position;
}

void WaveSoundDevice::checkPlayback()
{
    if (!m_playing)
        return;
    bool decoded = true;
    const uint64_t processed = playedFrames(decoded);
    if (decoded && m_playStream)
        m_playStream->decodingEnded(m_playFrames);
    if (!decoded)
        return; // the stream reports again when the device has taken the last frame
    if (processed < m_playFrames) {
        // Handed over but not all played yet (a sound card's buffer): check again when it should be.
        const uint32_t rate = m_playStream ? m_playStream->format().sampleRate : 8000;
        m_endTimer.start(static_cast<int>((m_playFrames - processed) * 1000 / std::max<uint32_t>(rate, 1)) +
                         2);
        return;
    }
    // Everything is played: settle the state before the host hears of it, since its handler may
    // start the next file at once.
    stopPlayback();
    m_position = 100;
    emit DonePlay();
}

void WaveSoundDevice::watchDevices()
{
    if (m_recordDevice && !m_recordDeviceLost &&
        !stillListed(WaveDirection::In, m_recordId, m_recordDevice)) {
        // Keep what has been recorded; the file is stored when the recording is stopped.
        qWarning().noquote() << "sound: recording device" << m_recordId << "went away";
        m_recordDevice->stop();
        m_recordDeviceLost = true;
    }
    if (!m_playing || !m_playDevice)
        return;
    if (!stillListed(WaveDirection::Out, m_playId, m_playDevice)) {
        qWarning().noquote() << "sound: playback device" << m_playId << "went away";
        stopPlayback();
        return;
    }
    bool decoded = true;
    const uint64_t processed = playedFrames(decoded);
    if (processed != m_lastProcessed) {
        m_lastProcessed = processed;
        m_sinceProgress.restart();
    } else if (m_sinceProgress.elapsed() > kStallMs) {
        qWarning().noquote() << "sound: playback device" << m_playId << "stopped playing";
        stopPlayback();
        return;
    }
    // The stream's report is the normal way to the end; this catches a device that played the last
    // frame without asking for more.
    checkPlayback();
}

int32_t WaveSoundDevice::CheckRecordFormat(int32_t inputId, int32_t query, int32_t formatTag,
                                           int32_t channels, int32_t bits, int32_t rate)
{
    Q_UNUSED(query);
    if (!RecordingFile::isRecordFormat(formatTag, bits) || channels < 1 || channels > 2 || rate < 1)
        return SOUND_ERR_BADFORMAT;
    std::shared_ptr<WaveDevice> device;
    if (int32_t result = findDevice(WaveDirection::In, inputId, device))
        return result;
    const WaveFormat format{static_cast<uint32_t>(rate), static_cast<uint16_t>(channels)};
    return offers(*device, format) ? SOUND_OK : SOUND_ERR_BADFORMAT;
}

int32_t WaveSoundDevice::StartRecord(int32_t inputId, int32_t formatTag, int32_t channels, int32_t bits,
                                     int32_t rate)
{
    if (m_recording)
        return SOUND_ERR_RECORDING;
    if (int32_t result = CheckRecordFormat(inputId, 1, formatTag, channels, bits, rate))
        return result;
    std::shared_ptr<WaveDevice> device;
    findDevice(WaveDirection::In, inputId, device);
    if (int32_t result = m_file.open(m_spoolFolder, formatTag, channels, bits, rate))
        return result;
    const WaveFormat format{static_cast<uint32_t>(rate), static_cast<uint16_t>(channels)};
    auto sink = std::make_shared<RecordSink>(format.sampleRate, format.channels);
    if (int32_t result = device->startInput(format, sink)) {
        m_file.discard();
        return result;
    }
    m_recordDevice = device;
    m_recordId = static_cast<WaveDeviceId>(inputId);
    m_recordFormat = format;
    m_sink = sink;
    m_drainBuffer.resize(static_cast<size_t>(format.sampleRate / 10) * format.channels);
    m_writeFailed = false;
    m_recordDeviceLost = false;
    m_recording = true;
    m_writerStop = false;
    m_writer = std::thread([this, sink] {
        pthread_setname_np(pthread_self(), "kalvo-record");
        uint32_t seen = 0;
        uint32_t told = 0;
        while (!m_writerStop.load(std::memory_order_acquire)) {
            seen = sink->waitForFrames(seen);
            drainRecording();
            const uint32_t reached = sink->silenceReached();
            if (reached != 0 && reached != told) {
                told = reached;
                QMetaObject::invokeMethod(
                    this,
                    [this, sink, reached] {
                        if (m_recording && m_sink == sink && sink->silenceWatch() == reached)
                            emit SilenceReached();
                    },
                    Qt::QueuedConnection);
            }
        }
    });
    m_watchTimer.start();
    return SOUND_OK;
}

void WaveSoundDevice::stopWriter()
{
    if (!m_writer.joinable())
        return;
    m_writerStop.store(true, std::memory_order_release);
    m_sink->wakeWriter();
    m_writer.join();
}

bool WaveSoundDevice::WatchSilence(int32_t level, int32_t milliseconds)
{
    if (!m_recording || !m_sink)
        return false;
    // The loudest peak whose level is still at most `level` (the level rises with the peak).
    int quietPeak = -1;
    for (int low = 0, high = 32768; low <= high;) {
        const int middle = (low + high) / 2;
        if (levelOfPeak(middle) <= level) {
            quietPeak = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    const uint64_t frames =
        static_cast<uint64_t>(std::max(milliseconds, 0)) * m_recordFormat.sampleRate / 1000;
    m_sink->watchSilence(quietPeak, frames);
    return true;
}

void WaveSoundDevice::drainRecording()
{
    if (!m_sink)
        return;
    const size_t capacity = m_drainBuffer.size() / m_sink->channels();
    for (size_t frames; (frames = m_sink->takeFrames(m_drainBuffer.data(), capacity)) > 0;) {
        if (!m_file.write(m_drainBuffer.data(), frames))
            m_writeFailed = true;
    }
}

int32_t WaveSoundDevice::StopRecordToFile(const QString& path)
{
    if (!m_recording)
        return m_file.unsaved() ? m_file.finish(path) : SOUND_ERR_NOTRECORDING;
    m_recordDevice->stop();
    // Everything the device delivered goes to the file before it is stored.
    stopWriter();
    drainRecording();
    if (!m_playing)
        m_watchTimer.stop();
    if (m_sink->dropped() > 0)
        qWarning().noquote() << "sound: recording lost" << m_sink->dropped() << "frames";
    m_sink->setMonitoring(false);
    m_recording = false;
    m_recordDevice.reset();
    m_sink.reset();
    const int32_t result = m_file.finish(path);
    if (result != SOUND_OK)
        return result;
    if (m_writeFailed)
        return SOUND_ERR_FILEWRITE;
    return m_recordDeviceLost ? SOUND_ERR_DEVICELOST : SOUND_OK;
}

int32_t WaveSoundDevice::levelOfPeak(int peak)
{
    if (peak <= 0)
        return 0;
    const double decibels = 20.0 * std::log10(std::min(peak, 32768) / 32768.0);
    return static_cast<int32_t>(std::clamp(std::lround(100.0 + decibels * 100.0 / 60.0), 0L, 100L));
}

int32_t WaveSoundDevice::InputLevel() const
{
    return m_recording && m_sink ? levelOfPeak(m_sink->peak()) : 0;
}

int32_t WaveSoundDevice::StartMonitor(int32_t outputId, int32_t formatTag, int32_t channels, int32_t bits,
                                      int32_t rate)
{
    if (!m_recording)
        return SOUND_ERR_NOTRECORDING;
    if (!RecordingFile::isRecordFormat(formatTag, bits) ||
        !(WaveFormat{static_cast<uint32_t>(rate), static_cast<uint16_t>(channels)} == m_recordFormat))
        return SOUND_ERR_BADFORMAT;
    StopMonitor();
    std::shared_ptr<WaveDevice> device;
    if (int32_t result = findDevice(WaveDirection::Out, outputId, device))
        return result;
    auto ring = m_sink->monitorRing();
    ring->discard();
    if (int32_t result = device->startOutput(
            m_recordFormat,
            std::make_shared<MonitorSource>(ring, m_recordFormat.sampleRate, m_recordFormat.channels)))
        return result;
    m_sink->setMonitoring(true);
    m_monitorDevice = device;
    return SOUND_OK;
}

int32_t WaveSoundDevice::StopMonitor()
{
    if (m_sink)
        m_sink->setMonitoring(false);
    if (m_monitorDevice)
        m_monitorDevice->stop();
    m_monitorDevice.reset();
    return SOUND_OK;
}

void WaveSoundDevice::WaveFileInfo(const QString& path, WaveFileInfoRecord& info) const
{
    switch (AudioFileReader::info(path, info)) {
    case SOUND_OK:
        return;
    case SOUND_ERR_FILENOTFOUND:
        throw VbError(VbFileNotFound);
    case SOUND_ERR_FILEREAD:
        throw VbError(VbPathFileAccessError);
    default:
        throw VbError(321, "Invalid file format");
    }
}

int32_t WaveSoundDevice::DeviceCount() const
{
    return static_cast<int32_t>(m_table.soundCardCount(WaveDirection::Out));
}

int32_t WaveSoundDevice::DeviceCaps(int32_t position, SoundDeviceCaps& caps) const
{
    caps = SoundDeviceCaps{};
    if (position < 0 || position >= DeviceCount())
        return SOUND_ERR_BADDEVICEID;
    const auto device = m_table.find(WaveDirection::Out, static_cast<WaveDeviceId>(position));
    if (!device)
        return SOUND_ERR_BADDEVICEID;
    const wave::WaveDeviceInfo info = device->info();
    caps.name = QString::fromStdString(info.name);
    if (!info.formats.empty()) {
        caps.channels = info.formats.front().channels;
        caps.sampleRate = static_cast<int32_t>(info.formats.front().sampleRate);
    }
    return SOUND_OK;
}

} // namespace kalvo::sound
