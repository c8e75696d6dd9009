// Signals the modem tests send and look for: silence, the two-frequency tones of the telephone
// network, joining pieces, and how much of a signal's energy sits at one frequency.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kalvo::modem::test {

std::vector<int16_t> silence(double seconds);
// Two sines of amplitude 5000 each at 8000 Hz: busy tone (480 + 620 Hz), dial tone (350 + 440 Hz).
std::vector<int16_t> dualTone(double hz1, double hz2, double seconds);
inline std::vector<int16_t> busyTone(double seconds)
{
    return dualTone(480, 620, seconds);
}
inline std::vector<int16_t> dialTone(double seconds)
{
    return dualTone(350, 440, seconds);
}
std::vector<int16_t> join(std::initializer_list<std::vector<int16_t>> pieces);
// The share of the energy of samples[from, to) at hz (one Goertzel bin); to 0 means the end.
double share(const std::vector<int16_t>& samples, double hz, size_t from = 0, size_t to = 0);

} // namespace kalvo::modem::test
