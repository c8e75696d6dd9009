// The sound component as the program uses it: one instance on the line's wave devices (Wave1), one
// on the sound card (WavePlay). Result numbers are 0 for success.
#pragma once

#include <QObject>
#include <QString>

class WaveControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~WaveControl() override = default;

    // Text of a playback result number, for log lines.
    virtual QString PlayErrorText(int number) = 0;
    // Stops playback; no DonePlay follows for the stopped file.
    virtual void StopPlay() = 0;
    // Starts playing a wave file on an output device; DonePlay follows when it has been played.
    virtual int PlayFile(const QString& path, int outputId) = 0;
    // Ends the play-through of the recording.
    virtual int StopMonitor() = 0;
    // Plays what is being recorded on an output device as well.
    virtual int StartMonitor(int outputId, int formatTag, int channels, int bits, int rate) = 0;
    // Whether an input device can record the format.
    virtual int CheckRecordFormat(int inputId, int one, int formatTag, int channels, int bits, int rate) = 0;
    // Progress of the playback, 0 to 100.
    virtual int PlayPosition() = 0;
    virtual bool IsPlaying() = 0;
    // Text of a recording result number, for log lines.
    virtual QString RecordErrorText(int number) = 0;
    // Starts recording from an input device.
    virtual int StartRecord(int inputId, int formatTag, int channels, int bits, int rate) = 0;
    // Stops the recording and writes it as a wave file.
    virtual int StopRecordToFile(const QString& path) = 0;
    // Current input amplitude on the scale the silence threshold (0 to 100) uses.
    virtual int InputLevel() = 0;
    virtual bool IsRecording() = 0;
    // The length field of the component's file information record for a wave file; raises
    // kalvo::VbError when the file cannot be read.
    virtual double WaveFileLength(const QString& path) = 0;

signals:
    // A PlayFile has been played to its end.
    void DonePlay();
};
