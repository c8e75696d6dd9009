// Reading and writing wave files as 16-bit PCM frames at 8000 Hz mono, the rate of a line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kalvo::sim {

// Reads any file libsndfile reads, mixed down to mono and resampled to 8000 Hz. @return false and
// error on failure.
bool readWav8kMono(const std::string& path, std::vector<int16_t>& frames, std::string& error);

// Writes frames as an 8000 Hz mono PCM16 WAV file. @return false and error on failure.
bool writeWav8kMono(const std::string& path, const std::vector<int16_t>& frames, std::string& error);

} // namespace kalvo::sim
