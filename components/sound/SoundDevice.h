// The sound device component's interface: what the program relies on from the wave-audio control it
// hosts twice, Wave1 (the line's wave devices) and WavePlay (the sound card).
#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace kalvo::sound {

// Filled by WaveFileInfo. The program reads only length, the 64-bit float 8 bytes into the record.
struct WaveFileInfoRecord
{
    int32_t formatTag = 0;     // 1 PCM, 3 float, 6 A-law, 7 mu-law, 0 anything else
    int32_t channels = 0;      // channels in the file
    double length = 0;         // the file's length in seconds
    int32_t sampleRate = 0;    // frames per second
    int32_t bitsPerSample = 0; // bits of one sample as stored (0 when not fixed)
    int64_t frames = 0;        // frames in the file
};
static_assert(offsetof(WaveFileInfoRecord, length) == 8);

// One sound-card device as listed for the user; name is its description.
struct SoundDeviceCaps
{
    QString name;
    int32_t channels = 0;
    int32_t sampleRate = 0;
};

// Result numbers are 0 for success, otherwise one of SoundErrors.h with a text from PlayErrorText /
// RecordErrorText. Device ids: sound-card positions from 0 (the setting "Sound") or a line's wave ids.
// Everything runs on the user-interface thread.
class SoundDevice : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Text of a play result, for log lines.
    virtual QString PlayErrorText(int32_t number) const = 0;
    // Stops the playback without raising DonePlay. @return 0 (also when nothing plays).
    virtual int32_t StopPlay() = 0;
    // Starts playing a sound file on an output device and returns at once; DonePlay follows when the
    // last sample has been played. A playback of this instance that still runs is stopped first.
    virtual int32_t PlayFile(const QString& path, int32_t outputId) = 0;
    // Ends the play-through of the recording. @return 0 (also when none runs).
    virtual int32_t StopMonitor() = 0;
    // Plays what is being recorded on an output device, in the recording's format.
    virtual int32_t StartMonitor(int32_t outputId, int32_t formatTag, int32_t channels, int32_t bits,
                                 int32_t rate) = 0;
    // Tells whether StartRecord with these arguments would work (query is the design's constant 1).
    virtual int32_t CheckRecordFormat(int32_t inputId, int32_t query, int32_t formatTag, int32_t channels,
                                      int32_t bits, int32_t rate) = 0;
    // Progress of the playback, 0 to 100, never going back while one file plays.
    virtual int32_t PlayPosition() const = 0;
    // True from a successful PlayFile until its end or StopPlay.
    virtual bool IsPlaying() const = 0;
    // Text of a record result, for log lines.
    virtual QString RecordErrorText(int32_t number) const = 0;
    // Starts recording from an input device: format tag 1 (PCM, 8 or 16 bits), 6 (A-law, 8 bits) or
    // 7 (mu-law, 8 bits). The audio streams to a temporary file as it arrives.
    virtual int32_t StartRecord(int32_t inputId, int32_t formatTag, int32_t channels, int32_t bits,
                                int32_t rate) = 0;
    // Stops the recording and stores it as a wave file at path (replacing an existing file only with
    // the complete new one). When that fails, the recording stays kept until the next StartRecord,
    // and a second call stores it at another path.
    virtual int32_t StopRecordToFile(const QString& path) = 0;
    // The input's current level, 0 to 100: the last block's peak on a 60 dB scale (100 = full scale,
    // each 10 = 6 dB, 0 = -60 dBFS or quieter); 0 when not recording.
    virtual int32_t InputLevel() const = 0;
    // True from a successful StartRecord until StopRecordToFile.
    virtual bool IsRecording() const = 0;
    // Fills info for a sound file; raises kalvo::VbError (53 file not found, 321 invalid format).
    virtual void WaveFileInfo(const QString& path, WaveFileInfoRecord& info) const = 0;
    // Number of sound-card devices, listed by position from 0.
    virtual int32_t DeviceCount() const = 0;
    // Fills caps for the device at a position. @return 0, or 2 (bad device id).
    virtual int32_t DeviceCaps(int32_t position, SoundDeviceCaps& caps) const = 0;
    // Watches the running recording for silence: once the input level (as InputLevel gives it) has
    // stayed at or below level for milliseconds of recorded audio, SilenceReached follows, once. A new
    // call starts counting again. @return false when the instance cannot watch (the caller then reads
    // InputLevel itself).
    virtual bool WatchSilence(int32_t level, int32_t milliseconds)
    {
        Q_UNUSED(level);
        Q_UNUSED(milliseconds);
        return false;
    }

signals:
    // A playback started by PlayFile has played its last sample.
    void DonePlay();
    // The recording watched by WatchSilence has been quiet for the time asked.
    void SilenceReached();
};

} // namespace kalvo::sound
