// The process's one speech synthesiser over espeak-ng: voices, rate, and text to 16-bit PCM.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace kalvo::sayer {

class SpeechEngine
{
public:
    // The rate slider's range: 0 is espeak-ng's normal rate, -10 its slowest, +10 its fastest.
    static constexpr int RateMinimum = -10;
    static constexpr int RateMaximum = 10;

    SpeechEngine() = default;
    ~SpeechEngine();
    SpeechEngine(const SpeechEngine&) = delete;
    SpeechEngine& operator=(const SpeechEngine&) = delete;

    // Loads espeak-ng's data and selects the voice of the user's language (English when there is
    // none). @return false with `error` set when espeak-ng cannot start.
    bool initialize(QString& error);

    // Names of the installed voices; the one selected at start comes first.
    QStringList voiceNames() const;

    // Selects the voice at `index` of voiceNames(). @return false when there is no such voice.
    bool selectVoice(int index);

    // Sets the rate from a slider value, clamped to RateMinimum..RateMaximum.
    void setRate(int sliderValue);

    // espeak-ng's words per minute for a slider value.
    static int wordsPerMinute(int sliderValue);

    // Speaks `text` into `pcm` (16-bit little-endian mono at sampleRate()). @return false with
    // `error` set when synthesis fails.
    bool synthesize(const QString& text, QByteArray& pcm, QString& error);

    // Samples per second of synthesize()'s output.
    int sampleRate() const { return m_sampleRate; }

private:
    struct Voice
    {
        QString name;
        QByteArray file;               // the voice's file within espeak-ng's data, which selects it uniquely
        QHash<QString, int> languages; // the languages it speaks ("en-gb", "en"), each with its
                                       // priority: the lower, the better the voice fits it
    };

    std::vector<Voice> m_voices;
    int m_sampleRate = 0;
    bool m_initialized = false;
};

} // namespace kalvo::sayer
