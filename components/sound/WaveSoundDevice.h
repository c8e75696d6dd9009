// The sound device component over the wave device table: file playback with DonePlay, recording
// streamed to disk, input level and play-through, on line and sound-card wave devices.
#pragma once

#include "AudioFileReader.h"
#include "PlaybackStream.h"
#include "RecordingFile.h"
#include "SoundDevice.h"
#include "SoundStreams.h"
#include "WaveDeviceTable.h"

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace kalvo::sound {

// One instance runs at most one playback, one recording and one play-through at a time. The audio
// drives it: the playback stream reports when the device has taken its last frame (DonePlay follows
// once the device has played it), and a writer thread, woken by the recorded frames, writes them to
// the spool file and reports the silence limit. The user-interface thread hears only of these, plus
// a check twice a second for devices that stopped or went away.
class WaveSoundDevice : public SoundDevice
{
    Q_OBJECT

public:
    // Uses the process's wave device table; recordings spool in RecordingFile::defaultSpoolFolder().
    explicit WaveSoundDevice(QObject* parent = nullptr);
    WaveSoundDevice(wave::WaveDeviceTable& table, QObject* parent = nullptr);
    // Stops everything; an unfinished recording stays in the spool folder for the next start.
    ~WaveSoundDevice() override;

    // Where recordings are written while they run (created when needed).
    void setSpoolFolder(const QString& folder) { m_spoolFolder = folder; }
    const QString& spoolFolder() const { return m_spoolFolder; }
    // Where files converted for a line are kept (ConvertedCache::defaultFolder() unless set); empty
    // converts at every playback.
    void setCacheFolder(const QString& folder) { m_cacheFolder = folder; }

    QString PlayErrorText(int32_t number) const override;
    int32_t StopPlay() override;
    int32_t PlayFile(const QString& path, int32_t outputId) override;
    int32_t StopMonitor() override;
    int32_t StartMonitor(int32_t outputId, int32_t formatTag, int32_t channels, int32_t bits,
                         int32_t rate) override;
    int32_t CheckRecordFormat(int32_t inputId, int32_t query, int32_t formatTag, int32_t channels,
                              int32_t bits, int32_t rate) override;
    int32_t PlayPosition() const override;
    bool IsPlaying() const override { return m_playing; }
    QString RecordErrorText(int32_t number) const override;
    int32_t StartRecord(int32_t inputId, int32_t formatTag, int32_t channels, int32_t bits,
                        int32_t rate) override;
    int32_t StopRecordToFile(const QString& path) override;
    int32_t InputLevel() const override;
    bool IsRecording() const override { return m_recording; }
    void WaveFileInfo(const QString& path, WaveFileInfoRecord& info) const override;
    int32_t DeviceCount() const override;
    int32_t DeviceCaps(int32_t position, SoundDeviceCaps& caps) const override;
    bool WatchSilence(int32_t level, int32_t milliseconds) override;

    // The level InputLevel reports for a peak magnitude (0 to 32768).
    static int32_t levelOfPeak(int peak);

private:
    int32_t findDevice(wave::WaveDirection direction, int32_t id,
                       std::shared_ptr<wave::WaveDevice>& device) const;
    bool stillListed(wave::WaveDirection direction, wave::WaveDeviceId id,
                     const std::shared_ptr<wave::WaveDevice>& device) const;
    // Frames of the playback played so far, and whether decoding has ended (m_playFrames is then exact).
    uint64_t playedFrames(bool& decoded) const;
    // Raises DonePlay when the last frame has been played, or checks again when it should have been.
    void checkPlayback();
    // The check twice a second: a stalled or removed playback device, a removed recording device.
    void watchDevices();
    void drainRecording();
    void stopWriter();
    void stopPlayback();
    // The file that plays path on a device offering formats: a kept conversion when there is a whole
    // one, otherwise path itself, with writer opened when its conversion is to be kept.
    QString convertedOrSource(const QString& path, const std::vector<wave::WaveFormat>& formats,
                              std::unique_ptr<CacheWriter>& writer) const;

    wave::WaveDeviceTable& m_table;
    QString m_spoolFolder;
    QString m_cacheFolder;

    QTimer m_watchTimer;
    QTimer m_endTimer;
    std::shared_ptr<wave::WaveDevice> m_playDevice;
    std::shared_ptr<PlaybackStream> m_playStream;
    wave::WaveDeviceId m_playId = wave::kNoWaveDevice;
    uint64_t m_playFrames = 0;
    uint64_t m_lastProcessed = 0;
    QElapsedTimer m_sinceProgress;
    mutable int32_t m_position = 0;
    bool m_playing = false;

    std::shared_ptr<wave::WaveDevice> m_recordDevice;
    wave::WaveDeviceId m_recordId = wave::kNoWaveDevice;
    std::shared_ptr<RecordSink> m_sink;
    wave::WaveFormat m_recordFormat;
    RecordingFile m_file;
    std::vector<int16_t> m_drainBuffer;
    std::thread m_writer;
    std::atomic<bool> m_writerStop{false};
    bool m_recording = false;
    std::atomic<bool> m_writeFailed{false};
    bool m_recordDeviceLost = false;

    std::shared_ptr<wave::WaveDevice> m_monitorDevice;
};

} // namespace kalvo::sound
