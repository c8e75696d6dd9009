// Plays synthesised speech on the default sound device, one text at a time.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QAudioSink;

namespace kalvo::sayer {

class SpeakerOutput : public QObject
{
    Q_OBJECT

public:
    explicit SpeakerOutput(QObject* parent = nullptr);
    ~SpeakerOutput() override;

    // Starts playing `pcm` (16-bit mono at `sampleRate`), cutting off what was playing.
    // @return false with `error` set when there is no sound device or it refuses to start.
    bool play(const QByteArray& pcm, int sampleRate, QString& error);

    // Stops playing at once; harmless when silent.
    void stop();

    // True while speech is being played.
    bool isPlaying() const;

private:
    void handleStateChange();

    std::unique_ptr<QAudioSink> m_sink;
    QBuffer m_buffer;
    QByteArray m_pcm;
};

} // namespace kalvo::sayer
