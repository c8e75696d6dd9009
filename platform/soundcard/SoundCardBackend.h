// Lists the sound card's outputs and inputs through Qt Multimedia and keeps the wave device table's
// sound-card devices current.
#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <memory>

class QAudioDevice;
class QMediaDevices;

namespace kalvo::wave {

class SoundCardDevice;

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

    // Reads the device lists again and updates the table; devices that stay keep their objects, so
    // running streams on them go on.
    void refresh();

private:
    std::shared_ptr<SoundCardDevice> deviceFor(const QString& key, const QAudioDevice& device, bool output);

    QMediaDevices* m_media;
    std::map<QString, std::shared_ptr<SoundCardDevice>> m_devices;
};

} // namespace kalvo::wave
