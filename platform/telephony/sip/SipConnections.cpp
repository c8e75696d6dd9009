// Connection caps for the SIP line's TCP and TLS listeners.
#include "SipConnections.h"

#include <algorithm>
#include <sys/socket.h>

namespace kalvo::sip {

namespace {

bool leadsTo(int fd, const struct sa& peer)
{
    struct sa now;
    sa_init(&now, AF_UNSPEC);
    now.len = sizeof now.u;
    return getpeername(fd, &now.u.sa, &now.len) == 0 && sa_cmp(&now, &peer, SA_ALL);
}

} // namespace

void SipConnections::seen(const struct sip_msg* msg, bool keep, Clock::time_point now)
{
    if (msg->tp != SIP_TRANSP_TCP && msg->tp != SIP_TRANSP_TLS)
        return;
    struct tcp_conn* connection = sip_msg_tcpconn(msg);
    const int fd = connection ? tcp_conn_fd(connection) : -1;
    if (fd < 0)
        return;
    auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) {
        return e.fd == fd && sa_cmp(&e.peer, &msg->src, SA_ALL);
    });
    if (found != m_entries.end()) {
        found->last = now;
        found->keep = found->keep || keep;
        return;
    }
    m_entries.push_back({fd, msg->src, now, keep});
    if (countFrom(msg->src) <= m_limits.perSource && m_entries.size() <= m_limits.total)
        return;
    // Checking every descriptor costs a call each: only done when a cap seems reached.
    prune();
    while (countFrom(msg->src) > m_limits.perSource && closeQuietest(&msg->src)) {
    }
    while (m_entries.size() > m_limits.total && closeQuietest(nullptr)) {
    }
}

void SipConnections::setCall(const struct sip_msg* msg)
{
    struct tcp_conn* connection =
        msg && (msg->tp == SIP_TRANSP_TCP || msg->tp == SIP_TRANSP_TLS) ? sip_msg_tcpconn(msg) : nullptr;
    m_callFd = connection ? tcp_conn_fd(connection) : -1;
}

void SipConnections::prune()
{
    std::erase_if(m_entries, [](const Entry& e) { return !leadsTo(e.fd, e.peer); });
}

bool SipConnections::closeQuietest(const struct sa* source)
{
    auto quietest = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (!it->keep && it->fd != m_callFd && (!source || sa_cmp(&it->peer, source, SA_ADDR)) &&
            (quietest == m_entries.end() || it->last < quietest->last))
            quietest = it;
    if (quietest == m_entries.end())
        return false;
    // The stack sees the connection end and frees it as if the peer had closed it.
    shutdown(quietest->fd, SHUT_RDWR);
    m_entries.erase(quietest);
    ++m_closed;
    return true;
}

size_t SipConnections::countFrom(const struct sa& source) const
{
    return static_cast<size_t>(std::count_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) {
        return sa_cmp(&e.peer, &source, SA_ADDR);
    }));
}

} // namespace kalvo::sip
