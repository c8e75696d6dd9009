// Test helpers for sound files and signals.
#include "SoundFiles.h"

#include <QFile>
#include <cmath>
#include <cstring>
#include <random>
#include <sndfile.h>

namespace kalvo::test {

namespace {

template <typename T, typename Write>
bool writeWith(const QString& path, const std::vector<T>& samples, int rate, int channels, int sfFormat,
               Write write)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = sfFormat;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t frames = static_cast<sf_count_t>(samples.size() / channels);
    const bool ok = write(file, samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

} // namespace

bool writeSound(const QString& path, const std::vector<int16_t>& samples, int rate, int channels,
                int sfFormat)
{
    return writeWith(path, samples, rate, channels, sfFormat, sf_writef_short);
}

bool writeSoundFloat(const QString& path, const std::vector<float>& samples, int rate, int channels,
                     int sfFormat)
{
    return writeWith(path, samples, rate, channels, sfFormat, sf_writef_float);
}

std::vector<int16_t> readSound(const QString& path, int* rate, int* channels, int* sfFormat)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<int16_t> samples(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    if (rate)
        *rate = info.samplerate;
    if (channels)
        *channels = info.channels;
    if (sfFormat)
        *sfFormat = info.format;
    return samples;
}

std::vector<uint8_t> waveDataChunk(const QString& path, int* formatTag, int* bits)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    auto u32 = [&](qsizetype at) {
        uint32_t v;
        std::memcpy(&v, all.constData() + at, 4);
        return v;
    };
    for (qsizetype at = 12; at + 8 <= all.size();) {
        const QByteArray id = all.mid(at, 4);
        const uint32_t size = u32(at + 4);
        if (id == "fmt ") {
            uint16_t tag, bitCount;
            std::memcpy(&tag, all.constData() + at + 8, 2);
            std::memcpy(&bitCount, all.constData() + at + 22, 2);
            if (formatTag)
                *formatTag = tag;
            if (bits)
                *bits = bitCount;
        } else if (id == "data") {
            const auto* begin = reinterpret_cast<const uint8_t*>(all.constData() + at + 8);
            return std::vector<uint8_t>(begin, begin + std::min<qsizetype>(size, all.size() - at - 8));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<int16_t> tone(double frequency, double amplitude, int rate, size_t frames)
{
    std::vector<int16_t> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * frequency * i / rate)));
    return samples;
}

std::vector<int16_t> noise(int amplitude, size_t frames, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> distribution(-amplitude, amplitude);
    std::vector<int16_t> samples(frames);
    for (auto& sample : samples)
        sample = static_cast<int16_t>(distribution(generator));
    return samples;
}

double toneShare(const std::vector<int16_t>& samples, double frequency, int rate)
{
    if (samples.empty())
        return 0;
    const double coefficient = 2 * std::cos(2 * M_PI * frequency / rate);
    double s1 = 0, s2 = 0, total = 0;
    for (int16_t sample : samples) {
        const double s0 = sample + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += static_cast<double>(sample) * sample;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return total > 0 ? 2 * power / (total * samples.size()) : 0;
}

uint8_t muLawEncode(int16_t sample)
{
    constexpr int kBias = 0x84;
    constexpr int kClip = 32635;
    int value = sample;
    const int sign = value < 0 ? 0x80 : 0;
    if (value < 0)
        value = -value;
    value = std::min(value, kClip) + kBias;
    int exponent = 7;
    for (int mask = 0x4000; (value & mask) == 0 && exponent > 0; mask >>= 1)
        --exponent;
    const int mantissa = (value >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

} // namespace kalvo::test
