// Name resolution of SIP and STUN servers.
#include "SipResolver.h"

#include <mutex>
#include <netdb.h>
#include <thread>

namespace kalvo::sip {

// What a worker thread hands back; the worker keeps it alive after the resolver is gone.
struct SipResolver::Lookup
{
    std::mutex mutex;
    struct mqueue* queue = nullptr; // cleared when nobody waits any more
    int id = 0;
    int err = 0;
    std::vector<struct sa> found;
};

namespace {

uint16_t defaultPort(SipResolver::Service service)
{
    switch (service) {
    case SipResolver::Service::SipTls:
        return 5061;
    case SipResolver::Service::Stun:
        return 3478;
    default:
        return 5060;
    }
}

const char* srvPrefix(SipResolver::Service service)
{
    switch (service) {
    case SipResolver::Service::SipTls:
        return "_sips._tcp.";
    case SipResolver::Service::SipTcp:
        return "_sip._tcp.";
    case SipResolver::Service::Stun:
        return "_stun._udp.";
    default:
        return "_sip._udp.";
    }
}

} // namespace

SipResolver::Service SipResolver::serviceFor(const SipAddress& server, SipSettings::Transport lineTransport)
{
    if (server.transport == "tls" || server.secure)
        return Service::SipTls;
    if (server.transport == "tcp")
        return Service::SipTcp;
    if (server.transport == "udp")
        return Service::SipUdp;
    switch (lineTransport) {
    case SipSettings::Transport::Tls:
        return Service::SipTls;
    case SipSettings::Transport::Tcp:
        return Service::SipTcp;
    default:
        return Service::SipUdp;
    }
}

const struct sa& SipResolver::pick(const std::vector<struct sa>& found, int af)
{
    for (const struct sa& address : found)
        if (af == AF_UNSPEC || sa_af(&address) == af)
            return address;
    return found.front();
}

SipResolver::~SipResolver()
{
    cancel();
    mem_deref(m_queue);
}

void SipResolver::cancel()
{
    m_query = static_cast<struct dns_query*>(mem_deref(m_query));
    if (m_lookup) {
        std::lock_guard lock(m_lookup->mutex);
        m_lookup->queue = nullptr;
    }
    m_lookup.reset();
}

void SipResolver::resolve(const SipAddress& address, Service service, Done done)
{
    cancel();
    m_done = std::move(done);
    m_host = address.host;
    m_defaultPort = address.port ? address.port : defaultPort(service);
    struct sa numeric;
    if (sa_set_str(&numeric, address.host.c_str(), m_defaultPort) == 0) {
        Done finished = m_done;
        finished(0, {numeric});
        return;
    }
    // A port written by the user names the server exactly; without one the domain may say where
    // its service runs.
    if (!address.port && m_dns) {
        const std::string name = srvPrefix(service) + address.host;
        if (dnsc_query(&m_query, m_dns, name.c_str(), DNS_TYPE_SRV, DNS_CLASS_IN, true, onSrv, this) == 0)
            return;
    }
    lookUp(m_host, m_defaultPort);
}

void SipResolver::onSrv(int err, const struct dnshdr*, struct list* answers, struct list*, struct list*,
                        void* arg)
{
    auto* self = static_cast<SipResolver*>(arg);
    self->m_query = static_cast<struct dns_query*>(mem_deref(self->m_query));
    struct dnsrr* best = nullptr;
    if (!err)
        for (struct le* le = list_head(answers); le; le = le->next) {
            auto* rr = static_cast<struct dnsrr*>(le->data);
            if (rr->type == DNS_TYPE_SRV && (!best || rr->rdata.srv.pri < best->rdata.srv.pri))
                best = rr;
        }
    // No records (or no answer at all): the name itself, at the transport's usual port.
    if (best && best->rdata.srv.target && best->rdata.srv.port)
        self->lookUp(best->rdata.srv.target, best->rdata.srv.port);
    else
        self->lookUp(self->m_host, self->m_defaultPort);
}

void SipResolver::lookUp(const std::string& host, uint16_t port)
{
    if (!m_queue && mqueue_alloc(&m_queue, onFound, this) != 0) {
        Done finished = m_done;
        finished(ENOMEM, {});
        return;
    }
    m_lookup = std::make_shared<Lookup>();
    m_lookup->queue = m_queue;
    m_lookup->id = ++m_lookups;
    std::thread([lookup = m_lookup, host, port] {
        struct addrinfo hints
        {
        };
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_ADDRCONFIG;
        struct addrinfo* list = nullptr;
        const int status = getaddrinfo(host.c_str(), nullptr, &hints, &list);
        std::vector<struct sa> found;
        for (struct addrinfo* ai = status == 0 ? list : nullptr; ai; ai = ai->ai_next) {
            struct sa address;
            if (sa_set_sa(&address, ai->ai_addr) == 0) {
                sa_set_port(&address, port);
                found.push_back(address);
            }
        }
        if (list)
            freeaddrinfo(list);
        std::lock_guard lock(lookup->mutex);
        lookup->err = found.empty() ? EDESTADDRREQ : 0;
        lookup->found = std::move(found);
        if (lookup->queue)
            mqueue_push(lookup->queue, lookup->id, nullptr);
    }).detach();
}

void SipResolver::onFound(int id, void*, void* arg)
{
    auto* self = static_cast<SipResolver*>(arg);
    if (!self->m_lookup || self->m_lookup->id != id)
        return; // one that was replaced
    int err = 0;
    std::vector<struct sa> found;
    {
        std::lock_guard lock(self->m_lookup->mutex);
        err = self->m_lookup->err;
        found = self->m_lookup->found;
        self->m_lookup->queue = nullptr;
    }
    self->m_lookup.reset();
    Done finished = self->m_done;
    finished(err, found);
}

} // namespace kalvo::sip
