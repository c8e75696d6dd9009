// The process's one speech synthesiser over espeak-ng: voices, rate, and text to 16-bit PCM.
#include "SpeechEngine.h"

#include <QLocale>
#include <espeak-ng/espeak_ng.h>

#include <algorithm>
#include <cstring>

namespace kalvo::sayer {

static QString statusText(espeak_ng_STATUS status)
{
    char buffer[512] = {};
    espeak_ng_GetStatusCodeMessage(status, buffer, sizeof buffer);
    return QString::fromUtf8(buffer);
}

// Collects the samples of a synthesis into the QByteArray passed as user data.
static int collectSamples(short* samples, int count, espeak_EVENT* events)
{
    if (samples && count > 0 && events) {
        auto* pcm = static_cast<QByteArray*>(events->user_data);
        pcm->append(reinterpret_cast<const char*>(samples), static_cast<qsizetype>(count) * 2);
    }
    return 0;
}

SpeechEngine::~SpeechEngine()
{
    if (m_initialized)
        espeak_ng_Terminate();
}

bool SpeechEngine::initialize(QString& error)
{
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    espeak_ng_ClearErrorContext(&context);
    if (status != ENS_OK) {
        error = statusText(status);
        return false;
    }
    m_initialized = true;
    // Synchronous output: samples come back through the callback before Synthesize returns, so
    // the caller decides where they go (a wave file or the sound card).
    status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    if (status != ENS_OK) {
        error = statusText(status);
        return false;
    }
    espeak_SetSynthCallback(collectSamples);
    m_sampleRate = espeak_ng_GetSampleRate();

    for (const espeak_VOICE** voice = espeak_ListVoices(nullptr); voice && *voice; ++voice) {
        // The language list is a priority byte and a zero-terminated name, repeated until a zero byte.
        QHash<QString, int> languages;
        for (const char* entry = (*voice)->languages; entry && entry[0]; entry += std::strlen(entry + 1) + 2)
            languages.insert(QString::fromUtf8(entry + 1), static_cast<unsigned char>(entry[0]));
        m_voices.push_back({QString::fromUtf8((*voice)->name), QByteArray((*voice)->identifier), languages});
    }
    if (m_voices.empty()) {
        error = QStringLiteral("no voices installed");
        return false;
    }

    // Start with the user's language so "Create Greeting" without a chosen voice sounds right.
    const QString locale = QLocale::system().name().toLower().replace('_', '-');
    const QString language = locale.section('-', 0, 0);
    auto find = [this](const QString& wanted) {
        auto best = m_voices.end();
        for (auto voice = m_voices.begin(); voice != m_voices.end(); ++voice) {
            if (voice->languages.contains(wanted) &&
                (best == m_voices.end() || voice->languages[wanted] < best->languages[wanted]))
                best = voice;
        }
        return best;
    };
    auto preferred = find(locale);
    if (preferred == m_voices.end())
        preferred = find(language);
    if (preferred == m_voices.end())
        preferred = find(QStringLiteral("en"));
    if (preferred != m_voices.end())
        std::rotate(m_voices.begin(), preferred, preferred + 1);
    selectVoice(0);
    setRate(0);
    return true;
}

QStringList SpeechEngine::voiceNames() const
{
    QStringList names;
    for (const Voice& voice : m_voices)
        names.append(voice.name);
    return names;
}

bool SpeechEngine::selectVoice(int index)
{
    if (index < 0 || index >= static_cast<int>(m_voices.size()))
        return false;
    // By file, not by name: names are for people and need not be unique.
    return espeak_ng_SetVoiceByFile(m_voices[static_cast<size_t>(index)].file.constData()) == ENS_OK;
}

int SpeechEngine::wordsPerMinute(int sliderValue)
{
    const int value = std::clamp(sliderValue, RateMinimum, RateMaximum);
    // Two straight lines meeting at the normal rate, so 0 is espeak-ng's default speed.
    if (value < 0)
        return espeakRATE_NORMAL + value * (espeakRATE_NORMAL - espeakRATE_MINIMUM) / -RateMinimum;
    return espeakRATE_NORMAL + value * (espeakRATE_MAXIMUM - espeakRATE_NORMAL) / RateMaximum;
}

void SpeechEngine::setRate(int sliderValue)
{
    espeak_ng_SetParameter(espeakRATE, wordsPerMinute(sliderValue), 0);
}

bool SpeechEngine::synthesize(const QString& text, QByteArray& pcm, QString& error)
{
    pcm.clear();
    const QByteArray utf8 = text.toUtf8();
    const espeak_ng_STATUS status =
        espeak_ng_Synthesize(utf8.constData(), static_cast<size_t>(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                             espeakCHARS_UTF8, nullptr, &pcm);
    if (status != ENS_OK) {
        error = statusText(status);
        return false;
    }
    return true;
}

} // namespace kalvo::sayer
