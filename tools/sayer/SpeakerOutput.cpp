// Plays synthesised speech on the default sound device, one text at a time.
#include "SpeakerOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <cstdio>

namespace kalvo::sayer {

SpeakerOutput::SpeakerOutput(QObject* parent) : QObject(parent) {}

SpeakerOutput::~SpeakerOutput()
{
    stop();
}

bool SpeakerOutput::play(const QByteArray& pcm, int sampleRate, QString& error)
{
    stop();
    // Without a sound server there is no device: report it instead of waiting for one.
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        error = QStringLiteral("no sound output device");
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        error = QStringLiteral("sound device %1 cannot play %2 Hz mono")
                    .arg(device.description())
                    .arg(sampleRate);
        return false;
    }

    m_pcm = pcm;
    m_buffer.setBuffer(&m_pcm);
    m_buffer.open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &SpeakerOutput::handleStateChange);
    m_sink->start(&m_buffer);
    if (m_sink->error() != QAudio::NoError) {
        error = QStringLiteral("sound device %1 did not start (error %2)")
                    .arg(device.description())
                    .arg(static_cast<int>(m_sink->error()));
        stop();
        return false;
    }
    return true;
}

void SpeakerOutput::stop()
{
    if (!m_sink)
        return;
    // Detach before stopping: the state change of a deliberate stop is not an end of playback.
    m_sink->disconnect(this);
    m_sink->stop();
    m_sink.reset();
    m_buffer.close();
    m_pcm.clear();
}

bool SpeakerOutput::isPlaying() const
{
    return m_sink && m_sink->state() == QAudio::ActiveState;
}

void SpeakerOutput::handleStateChange()
{
    // The sink stays until the next play() or stop(): releasing it when it turns idle would cut off
    // the speech still buffered in the sound server.
    if (m_sink->state() == QAudio::StoppedState && m_sink->error() != QAudio::NoError)
        std::fprintf(stderr, "Sayer: playback failed (error %d)\n", static_cast<int>(m_sink->error()));
}

} // namespace kalvo::sayer
