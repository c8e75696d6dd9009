// The lock-free sample ring.
#include "FrameRing.h"

#include <algorithm>
#include <cstring>

namespace kalvo::sound {

FrameRing::FrameRing(size_t capacity, size_t granule)
    : m_buffer(
          std::max<size_t>(capacity - capacity % std::max<size_t>(granule, 1), std::max<size_t>(granule, 1))),
      m_granule(std::max<size_t>(granule, 1))
{
}

size_t FrameRing::write(const int16_t* samples, size_t count)
{
    const size_t head = m_head.load(std::memory_order_relaxed);
    const size_t tail = m_tail.load(std::memory_order_acquire);
    size_t n = std::min(count, m_buffer.size() - (head - tail));
    n -= n % m_granule;
    for (size_t done = 0; done < n;) {
        const size_t at = (head + done) % m_buffer.size();
        const size_t chunk = std::min(n - done, m_buffer.size() - at);
        std::memcpy(&m_buffer[at], samples + done, chunk * sizeof(int16_t));
        done += chunk;
    }
    m_head.store(head + n, std::memory_order_release);
    return n;
}

size_t FrameRing::read(int16_t* samples, size_t count)
{
    const size_t tail = m_tail.load(std::memory_order_relaxed);
    const size_t head = m_head.load(std::memory_order_acquire);
    size_t n = std::min(count, head - tail);
    n -= n % m_granule;
    for (size_t done = 0; done < n;) {
        const size_t at = (tail + done) % m_buffer.size();
        const size_t chunk = std::min(n - done, m_buffer.size() - at);
        std::memcpy(samples + done, &m_buffer[at], chunk * sizeof(int16_t));
        done += chunk;
    }
    m_tail.store(tail + n, std::memory_order_release);
    return n;
}

void FrameRing::discard()
{
    m_tail.store(m_head.load(std::memory_order_acquire), std::memory_order_release);
}

size_t FrameRing::available() const
{
    return m_head.load(std::memory_order_acquire) - m_tail.load(std::memory_order_acquire);
}

} // namespace kalvo::sound
