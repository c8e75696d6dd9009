// Wave files at the line's rate through libsndfile.
#include "WavFile.h"

#include <sndfile.h>

#include <cmath>

namespace kalvo::sim {

bool readWav8kMono(const std::string& path, std::vector<int16_t>& frames, std::string& error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        error = path + ": no audio";
        return false;
    }
    std::vector<short> raw(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    sf_count_t got = sf_readf_short(file, raw.data(), info.frames);
    sf_close(file);
    std::vector<int16_t> mono(static_cast<size_t>(got));
    for (sf_count_t i = 0; i < got; ++i) {
        long sum = 0;
        for (int c = 0; c < info.channels; ++c)
            sum += raw[static_cast<size_t>(i * info.channels + c)];
        mono[static_cast<size_t>(i)] = static_cast<int16_t>(sum / info.channels);
    }
    if (info.samplerate == 8000) {
        frames = std::move(mono);
        return true;
    }
    // Linear interpolation is enough for a simulated caller's voice.
    double step = static_cast<double>(info.samplerate) / 8000.0;
    size_t count = static_cast<size_t>(static_cast<double>(mono.size()) / step);
    frames.resize(count);
    for (size_t i = 0; i < count; ++i) {
        double pos = static_cast<double>(i) * step;
        size_t a = static_cast<size_t>(pos);
        size_t b = a + 1 < mono.size() ? a + 1 : a;
        double f = pos - static_cast<double>(a);
        frames[i] = static_cast<int16_t>(std::lround(mono[a] * (1.0 - f) + mono[b] * f));
    }
    return true;
}

bool writeWav8kMono(const std::string& path, const std::vector<int16_t>& frames, std::string& error)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    sf_count_t written = sf_writef_short(file, frames.data(), static_cast<sf_count_t>(frames.size()));
    sf_close(file);
    if (written != static_cast<sf_count_t>(frames.size())) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

} // namespace kalvo::sim
