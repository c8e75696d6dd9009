// Loopback UDP capture for the SIP benchmark.
#include "LoopbackCapture.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackCapture::~LoopbackCapture()
{
    stop();
}

bool LoopbackCapture::start(std::string& error)
{
    m_fd = ::socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_IP));
    if (m_fd < 0) {
        error = std::string("cannot open a packet socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_ll addr{};
    addr.sll_family = AF_PACKET;
    addr.sll_protocol = htons(ETH_P_IP);
    addr.sll_ifindex = static_cast<int>(if_nametoindex("lo"));
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = std::string("cannot watch lo: ") + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void LoopbackCapture::stop()
{
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::vector<LoopbackCapture::Datagram> LoopbackCapture::take()
{
    std::lock_guard lock(m_mutex);
    return std::move(m_seen);
}

void LoopbackCapture::run()
{
    uint8_t buffer[2048];
    while (m_running) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        sockaddr_ll from{};
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        auto now = std::chrono::steady_clock::now();
        // Loopback shows each datagram twice, leaving and arriving: keep the arrival.
        if (n < 28 || from.sll_pkttype == PACKET_OUTGOING)
            continue;
        const auto* ip = reinterpret_cast<const iphdr*>(buffer);
        size_t ipLen = ip->ihl * 4u;
        if (ip->protocol != IPPROTO_UDP || static_cast<size_t>(n) < ipLen + 8)
            continue;
        const auto* udp = reinterpret_cast<const udphdr*>(buffer + ipLen);
        Datagram d;
        d.at = now;
        d.srcPort = ntohs(udp->source);
        d.dstPort = ntohs(udp->dest);
        size_t payload = static_cast<size_t>(n) - ipLen - 8;
        d.size = payload;
        d.payload.assign(reinterpret_cast<const char*>(buffer + ipLen + 8), std::min<size_t>(payload, 1500));
        std::lock_guard lock(m_mutex);
        m_seen.push_back(std::move(d));
    }
}
