// Token buckets per source address and for all sources.
#include "SipFloodGuard.h"

#include <algorithm>
#include <cstring>

namespace kalvo::sip {

SipFloodGuard::SipFloodGuard(Limits limits) : m_limits(limits)
{
    m_total.tokens = m_limits.totalBurst;
    m_total.at = Clock::now();
    fill(m_shared, m_total.at);
}

void SipFloodGuard::fill(Source& source, Clock::time_point now) const
{
    source.requests = {m_limits.sourceBurst, now};
    source.invites = {m_limits.inviteBurst, now};
}

bool SipFloodGuard::take(Bucket& bucket, double rate, double burst, Clock::time_point now)
{
    if (now > bucket.at) {
        const double seconds = std::chrono::duration<double>(now - bucket.at).count();
        bucket.tokens = std::min(burst, bucket.tokens + seconds * rate);
        bucket.at = now;
    }
    if (bucket.tokens < 1)
        return false;
    bucket.tokens -= 1;
    return true;
}

SipFloodGuard::Source& SipFloodGuard::sourceOf(const struct sa& source, Clock::time_point now)
{
    // The address alone: a flood that changes its port is still one source.
    std::string key;
    if (sa_af(&source) == AF_INET) {
        const uint32_t addr = sa_in(&source);
        key.assign(reinterpret_cast<const char*>(&addr), sizeof addr);
    } else {
        uint8_t addr[16] = {};
        sa_in6(&source, addr);
        key.assign(reinterpret_cast<const char*>(addr), sizeof addr);
    }
    auto found = m_sources.find(key);
    if (found != m_sources.end())
        return found->second;
    if (m_sources.size() >= m_limits.maxSources) {
        // Sources whose budget has refilled owe nothing: forget them to make room.
        const double refill =
            std::max(m_limits.sourceBurst / m_limits.sourceRate, m_limits.inviteBurst / m_limits.inviteRate);
        std::erase_if(m_sources, [&](const auto& entry) {
            const Clock::time_point last = std::max(entry.second.requests.at, entry.second.invites.at);
            return std::chrono::duration<double>(now - last).count() >= refill;
        });
        if (m_sources.size() >= m_limits.maxSources)
            return m_shared;
    }
    Source& fresh = m_sources[key];
    fill(fresh, now);
    return fresh;
}

bool SipFloodGuard::admit(const struct sa& source, bool invite, Clock::time_point now)
{
    Source& own = sourceOf(source, now);
    bool ok = invite ? take(own.invites, m_limits.inviteRate, m_limits.inviteBurst, now)
                     : take(own.requests, m_limits.sourceRate, m_limits.sourceBurst, now) &&
                           take(m_total, m_limits.totalRate, m_limits.totalBurst, now);
    ++(ok ? m_admitted : m_dropped);
    return ok;
}

} // namespace kalvo::sip
