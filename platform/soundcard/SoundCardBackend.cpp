// Keeps the wave device table's sound-card devices in step with Qt Multimedia's device lists.
#include "SoundCardBackend.h"

#include "SoundCardDevice.h"
#include "WaveDeviceTable.h"

#include <QAudioDevice>
#include <QMediaDevices>

namespace kalvo::wave {

namespace {

// The input that records on the same card as an output (see the class comment).
QAudioDevice pairedInput(const QAudioDevice& output, const QList<QAudioDevice>& inputs)
{
    QByteArray cardInput = output.id();
    cardInput.replace("_output.", "_input.");
    if (cardInput != output.id()) {
        for (const QAudioDevice& input : inputs) {
            if (input.id() == cardInput)
                return input;
        }
    }
    for (const QAudioDevice& input : inputs) {
        if (input.isDefault())
            return input;
    }
    const QAudioDevice fallback = QMediaDevices::defaultAudioInput();
    if (!fallback.isNull())
        return fallback;
    return inputs.isEmpty() ? QAudioDevice() : inputs.first();
}

} // namespace

QString SoundCardBackend::talkUnavailable(int outputPosition)
{
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    if (outputPosition < 0 || outputPosition >= outputs.size())
        return QStringLiteral("No sound card to hear the caller on");
    if (QMediaDevices::defaultAudioInput().isNull())
        return QStringLiteral("No microphone to speak to the caller");
    return {};
}

QString SoundCardBackend::talkDevices(int outputPosition, std::shared_ptr<WaveDevice>& speaker,
                                      std::shared_ptr<WaveDevice>& microphone)
{
    speaker.reset();
    microphone.reset();
    if (QString why = talkUnavailable(outputPosition); !why.isEmpty())
        return why;
    // Forty milliseconds of speaker buffer at most and ten-millisecond microphone blocks: short
    // enough for a conversation, long enough for a busy desktop.
    constexpr int kTalkBufferMs = 40;
    auto out = std::make_shared<SoundCardDevice>(QMediaDevices::audioOutputs().at(outputPosition),
                                                 WaveDirection::Out);
    auto in = std::make_shared<SoundCardDevice>(QMediaDevices::defaultAudioInput(), WaveDirection::In);
    out->setBufferMs(kTalkBufferMs);
    in->setBufferMs(kTalkBufferMs / 4);
    speaker = std::move(out);
    microphone = std::move(in);
    return {};
}

namespace {
const QByteArray kWantEchoCancel = "filter.want=echo-cancel";
// Set once this process has added the request to PULSE_PROP (a user's own filter.want stays).
bool& echoCancellationRequested()
{
    static bool requested = false;
    return requested;
}
} // namespace

void SoundCardBackend::requestEchoCancellation()
{
    QByteArray properties = qgetenv("PULSE_PROP");
    if (properties.contains("filter.want"))
        return;
    echoCancellationRequested() = true;
    qputenv("PULSE_PROP", properties.isEmpty() ? kWantEchoCancel : properties + " " + kWantEchoCancel);
}

QProcessEnvironment SoundCardBackend::programEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!echoCancellationRequested() || !environment.contains("PULSE_PROP"))
        return environment;
    QByteArray properties = environment.value("PULSE_PROP").toLocal8Bit();
    properties.replace(kWantEchoCancel, "");
    properties = properties.trimmed();
    if (properties.isEmpty())
        environment.remove("PULSE_PROP");
    else
        environment.insert("PULSE_PROP", QString::fromLocal8Bit(properties));
    return environment;
}

SoundCardBackend::SoundCardBackend(QObject* parent) : QObject(parent), m_media(new QMediaDevices(this))
{
    connect(m_media, &QMediaDevices::audioOutputsChanged, this, &SoundCardBackend::refresh);
    connect(m_media, &QMediaDevices::audioInputsChanged, this, &SoundCardBackend::refresh);
    refresh();
}

SoundCardBackend::~SoundCardBackend()
{
    WaveDeviceTable::instance().setSoundCardDevices(WaveDirection::Out, {});
    WaveDeviceTable::instance().setSoundCardDevices(WaveDirection::In, {});
    for (auto& [key, device] : m_devices)
        device->stop();
}

std::shared_ptr<SoundCardDevice> SoundCardBackend::deviceFor(const QString& key, const QAudioDevice& device,
                                                             bool output)
{
    auto it = m_devices.find(key);
    if (it != m_devices.end())
        return it->second;
    auto created = std::make_shared<SoundCardDevice>(device, output ? WaveDirection::Out : WaveDirection::In);
    m_devices.emplace(key, created);
    return created;
}

void SoundCardBackend::refresh()
{
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    std::vector<std::shared_ptr<WaveDevice>> outDevices;
    std::vector<std::shared_ptr<WaveDevice>> inDevices;
    std::map<QString, std::shared_ptr<SoundCardDevice>> kept;
    for (const QAudioDevice& output : outputs) {
        const QString outKey = "out:" + QString::fromUtf8(output.id());
        auto outDevice = deviceFor(outKey, output, true);
        kept[outKey] = outDevice;
        outDevices.push_back(outDevice);
        // Without any input at all, no output has one, so the wave-in ids stay dense.
        const QAudioDevice input = pairedInput(output, inputs);
        if (input.isNull())
            continue;
        const QString inKey = "in:" + QString::fromUtf8(input.id());
        auto inDevice = deviceFor(inKey, input, false);
        kept[inKey] = inDevice;
        inDevices.push_back(inDevice);
    }
    m_devices.swap(kept);
    WaveDeviceTable::instance().setSoundCardDevices(WaveDirection::Out, std::move(outDevices));
    WaveDeviceTable::instance().setSoundCardDevices(WaveDirection::In, std::move(inDevices));
}

} // namespace kalvo::wave
