// Finds where a server the user named is reached: an IP address as written; a name through the
// system's resolver (hosts file, mDNS where the system has it, DNS) on a worker thread, so the SIP
// thread never waits for it; and for a name without a port, first the DNS's SRV records for the
// line's transport (RFC 3263) when the line has name servers and they answer.
#pragma once

#include "Re.h"
#include "SipAddress.h"
#include "SipSettings.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kalvo::sip {

class SipResolver
{
public:
    // The addresses found (with their ports), or err (EDESTADDRREQ when the name is unknown).
    using Done = std::function<void(int err, const std::vector<struct sa>& found)>;
    enum class Service { SipUdp, SipTcp, SipTls, Stun };

    // The service a server is asked for: its transport parameter (or sips:), else the line's.
    static Service serviceFor(const SipAddress& server, SipSettings::Transport lineTransport);

    // The first of found in family af (AF_UNSPEC: any), else the first; found must not be empty.
    static const struct sa& pick(const std::vector<struct sa>& found, int af);

    // dns may be null (no name servers): names then go to the system's resolver only.
    explicit SipResolver(struct dnsc* dns) : m_dns(dns) {}
    ~SipResolver();
    SipResolver(const SipResolver&) = delete;
    SipResolver& operator=(const SipResolver&) = delete;

    // Starts finding address; done runs on the calling (SIP) thread, at once for an IP address.
    // A new request replaces the one under way, whose done is then never called.
    void resolve(const SipAddress& address, Service service, Done done);

private:
    struct Lookup;
    static void onSrv(int err, const struct dnshdr* hdr, struct list* answers, struct list* authority,
                      struct list* additional, void* arg);
    static void onFound(int id, void* data, void* arg);
    void cancel();
    // Asks the system's resolver for host on a worker thread.
    void lookUp(const std::string& host, uint16_t port);

    struct dnsc* m_dns;
    struct dns_query* m_query = nullptr;
    struct mqueue* m_queue = nullptr;
    std::shared_ptr<Lookup> m_lookup;
    std::string m_host;
    uint16_t m_defaultPort = 0;
    int m_lookups = 0;
    Done m_done;
};

} // namespace kalvo::sip
