// Test helpers: sound files written and read through libsndfile, tones, and a reference G.711 mu-law
// encoder.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace kalvo::test {

// Writes interleaved 16-bit samples; sfFormat is a libsndfile format (SF_FORMAT_WAV | SF_FORMAT_PCM_16 ...).
bool writeSound(const QString& path, const std::vector<int16_t>& samples, int rate, int channels,
                int sfFormat);
// Writes interleaved float samples (-1..1).
bool writeSoundFloat(const QString& path, const std::vector<float>& samples, int rate, int channels,
                     int sfFormat);
// Reads a whole file as 16-bit samples; also reports its rate, channels and libsndfile format.
std::vector<int16_t> readSound(const QString& path, int* rate = nullptr, int* channels = nullptr,
                               int* sfFormat = nullptr);
// The bytes of a wave file's data chunk and its fmt chunk's format tag and bits.
std::vector<uint8_t> waveDataChunk(const QString& path, int* formatTag = nullptr, int* bits = nullptr);
// A sine tone of amplitude (full scale 32767) and frequency.
std::vector<int16_t> tone(double frequency, double amplitude, int rate, size_t frames);
// Deterministic noise in -amplitude..amplitude.
std::vector<int16_t> noise(int amplitude, size_t frames, uint32_t seed = 1);
// Power of one frequency relative to the signal's total power (Goertzel), 0..1.
double toneShare(const std::vector<int16_t>& samples, double frequency, int rate);
// The G.711 mu-law code of one 16-bit sample, written from the standard.
uint8_t muLawEncode(int16_t sample);

} // namespace kalvo::test
