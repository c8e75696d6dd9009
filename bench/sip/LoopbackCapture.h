// Watches UDP datagrams on the loopback interface (a packet socket) and keeps when each was seen,
// so the benchmark can time both SIP stacks on the wire in the same way.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LoopbackCapture
{
public:
    struct Datagram
    {
        std::chrono::steady_clock::time_point at;
        uint16_t srcPort = 0;
        uint16_t dstPort = 0;
        std::string payload; // the first 1500 bytes
        size_t size = 0;
    };

    ~LoopbackCapture();
    // Starts watching. @return false (with error) without the right to open a packet socket.
    bool start(std::string& error);
    void stop();
    // Everything seen so far, and forgetting it.
    std::vector<Datagram> take();

private:
    void run();
    int m_fd = -1;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Datagram> m_seen;
};
