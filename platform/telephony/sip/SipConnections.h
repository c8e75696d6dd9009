// Caps the TCP and TLS connections that send requests to the line: a few from each address and a
// few hundred in all. Beyond either, the connection that has been quiet longest is closed first;
// connections that carried a call or came from the registrar are never closed here.
// Connections that never send a request are not seen here: the stack closes them after 32 s.
#pragma once

#include "Re.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace kalvo::sip {

class SipConnections
{
public:
    using Clock = std::chrono::steady_clock;

    struct Limits
    {
        size_t perSource = 8;
        size_t total = 256;
    };

    SipConnections() : SipConnections(Limits{}) {}
    explicit SipConnections(Limits limits) : m_limits(limits) {}

    // A request arrived on msg's connection (none over UDP); keep marks a connection never to close.
    void seen(const struct sip_msg* msg, bool keep, Clock::time_point now = Clock::now());
    // The call came in on msg's connection, which stays open while the call lasts (null: it ended).
    void setCall(const struct sip_msg* msg);
    uint64_t closed() const { return m_closed; }

private:
    struct Entry
    {
        int fd;
        struct sa peer;
        Clock::time_point last;
        bool keep;
    };
    // Forgets connections the stack has closed since (their descriptor no longer leads to peer).
    void prune();
    // Closes the quietest connection not kept, from source only when given. @return false if none.
    bool closeQuietest(const struct sa* source);
    size_t countFrom(const struct sa& source) const;

    Limits m_limits;
    std::vector<Entry> m_entries;
    int m_callFd = -1;
    uint64_t m_closed = 0;
};

} // namespace kalvo::sip
