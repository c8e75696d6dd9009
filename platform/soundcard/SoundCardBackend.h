// Lists the sound card's outputs and inputs through Qt Multimedia and keeps the wave device table's
// sound-card devices current.
#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <map>
#include <memory>

class QAudioDevice;
class QMediaDevices;

namespace kalvo::wave {

class SoundCardDevice;
class WaveDevice;

// While it lives, wave-out id n is the backend's output n, and wave-in id n is the input that records
// on the same card as output n: the card's own input when PulseAudio names it after the output
// ("alsa_output.X" and "alsa_input.X"), otherwise the default input, otherwise the first one. So one
// position in the sound-device list selects both the speaker for playback and the input for
// recording. With no sound server both lists are empty. Create it on the user-interface thread.
class SoundCardBackend : public QObject
{
    Q_OBJECT

public:
    explicit SoundCardBackend(QObject* parent = nullptr);
    // Takes the sound-card devices out of the table, stopping their streams.
    ~SoundCardBackend() override;

    // Why a conversation at the desk cannot use the sound card now: no output at the position of
    // the sound-device list (the setting "Sound"), or no microphone; empty when it can.
    static QString talkUnavailable(int outputPosition);
    // Fresh devices for a conversation, beside any playback on the same card: the output at
    // outputPosition and the default microphone, each with a short server buffer. @return the
    // reason when they cannot be had (then both stay null), else an empty text.
    static QString talkDevices(int outputPosition, std::shared_ptr<WaveDevice>& speaker,
                               std::shared_ptr<WaveDevice>& microphone);
    // Asks the sound server to cancel the speaker's echo in the microphone of a conversation: the
    // streams of this process then want the server's echo canceller, which it applies to a playback
    // and a recording of the same program running together (and ignores where it has none). Qt
    // offers no properties per stream, so this is the client's; call it before any sound is used.
    static void requestEchoCancellation();
    // The environment for a program Kalvo starts: the sound-server properties as the user had them,
    // so the request above stays Kalvo's own.
    static QProcessEnvironment programEnvironment();

    // Reads the device lists again and updates the table; devices that stay keep their objects, so
    // running streams on them go on.
    void refresh();

private:
    std::shared_ptr<SoundCardDevice> deviceFor(const QString& key, const QAudioDevice& device, bool output);

    QMediaDevices* m_media;
    std::map<QString, std::shared_ptr<SoundCardDevice>> m_devices;
};

} // namespace kalvo::wave
