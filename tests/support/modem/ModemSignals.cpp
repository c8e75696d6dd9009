// Test signals and their measure.
#include "ModemSignals.h"

#include <cmath>

namespace kalvo::modem::test {

std::vector<int16_t> silence(double seconds)
{
    return std::vector<int16_t>(size_t(seconds * 8000), 0);
}

std::vector<int16_t> dualTone(double hz1, double hz2, double seconds)
{
    std::vector<int16_t> out(size_t(seconds * 8000));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int16_t(5000 * (std::sin(2 * M_PI * hz1 * double(i) / 8000) +
                                 std::sin(2 * M_PI * hz2 * double(i) / 8000)));
    return out;
}

std::vector<int16_t> join(std::initializer_list<std::vector<int16_t>> pieces)
{
    std::vector<int16_t> out;
    for (const auto& piece : pieces)
        out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

double share(const std::vector<int16_t>& samples, double hz, size_t from, size_t to)
{
    if (to == 0 || to > samples.size())
        to = samples.size();
    double re = 0, im = 0, total = 0;
    for (size_t i = from; i < to; ++i) {
        re += samples[i] * std::cos(2 * M_PI * hz * double(i) / 8000);
        im += samples[i] * std::sin(2 * M_PI * hz * double(i) / 8000);
        total += double(samples[i]) * samples[i];
    }
    return total > 0 && to > from ? 2 * (re * re + im * im) / (double(to - from) * total) : 0;
}

} // namespace kalvo::modem::test
