// Budgets for the requests that belong to no call of the line: each source address may send a few a
// second, all sources together a few hundred, and the rest is dropped unanswered before it costs
// more than its parsing. INVITEs have budgets of their own, so no flood of other requests, from
// any address (UDP sources are easily forged), keeps a caller out.
#pragma once

#include "Re.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace kalvo::sip {

class SipFloodGuard
{
public:
    using Clock = std::chrono::steady_clock;

    struct Limits
    {
        double sourceRate = 20;   // requests a second from one address, INVITE aside
        double sourceBurst = 40;  // and as many at once
        double totalRate = 400;   // requests a second from all addresses, INVITE aside
        double totalBurst = 800;  // and as many at once
        size_t maxSources = 4096; // addresses with a budget of their own; the rest share one
        double inviteRate = 5;    // INVITEs a second from one address (retransmissions included)
        double inviteBurst = 20;  // and as many at once
    };

    SipFloodGuard() : SipFloodGuard(Limits{}) {}
    explicit SipFloodGuard(Limits limits);

    // True when a request from source fits its budgets (and is charged to them). An INVITE is
    // charged to its source's INVITE budget only.
    bool admit(const struct sa& source, bool invite, Clock::time_point now = Clock::now());

    uint64_t admitted() const { return m_admitted; }
    uint64_t dropped() const { return m_dropped; }
    size_t sources() const { return m_sources.size(); }

private:
    struct Bucket
    {
        double tokens = 0;
        Clock::time_point at;
    };
    struct Source
    {
        Bucket requests;
        Bucket invites;
    };
    static bool take(Bucket& bucket, double rate, double burst, Clock::time_point now);
    Source& sourceOf(const struct sa& source, Clock::time_point now);
    void fill(Source& source, Clock::time_point now) const;

    Limits m_limits;
    std::unordered_map<std::string, Source> m_sources;
    Source m_shared; // for sources beyond maxSources
    Bucket m_total;
    uint64_t m_admitted = 0;
    uint64_t m_dropped = 0;
};

} // namespace kalvo::sip
