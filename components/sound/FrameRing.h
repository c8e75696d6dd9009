// A single-producer single-consumer ring of 16-bit samples, safe between a real-time audio thread and
// the user-interface thread without locks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalvo::sound {

class FrameRing
{
public:
    // Holds up to capacity samples; every write and read moves whole granules (frames of that many
    // samples).
    explicit FrameRing(size_t capacity, size_t granule = 1);

    // Producer side: copies up to count samples in; returns how many fit.
    size_t write(const int16_t* samples, size_t count);
    // Consumer side: copies up to count samples out; returns how many it took.
    size_t read(int16_t* samples, size_t count);
    // Consumer side: drops everything written so far.
    void discard();
    // Samples waiting to be read.
    size_t available() const;

private:
    std::vector<int16_t> m_buffer;
    size_t m_granule;
    std::atomic<size_t> m_head{0}; // total samples written
    std::atomic<size_t> m_tail{0}; // total samples read
};

} // namespace kalvo::sound
