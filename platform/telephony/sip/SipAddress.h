// A SIP server's address as the user writes it: [sip:|sips:][user@]host[:port][;parameters], where
// host is a name, an IPv4 address or an IPv6 address in brackets (a bare IPv6 address is taken
// whole, without a port).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kalvo::sip {

struct SipAddress
{
    std::string host;      // without brackets
    uint16_t port = 0;     // 0 when none is written
    std::string transport; // the transport parameter in lower case, empty when none is written
    std::string user;      // the part before '@', if any
    bool secure = false;   // a sips: URI

    // @return false for text without a host or with a port that is no number from 1 to 65535.
    static bool parse(std::string_view text, SipAddress& out);

    bool isIpv6() const { return host.find(':') != std::string::npos; }
    // True when host is an IP address rather than a name.
    bool numeric() const;
    // host as written in a URI: an IPv6 address in brackets.
    std::string uriHost() const;
    // uriHost(), and ":port" when a port is written.
    std::string hostPort() const;
    // The port, or the default of the transport (5061 for TLS, else 5060).
    uint16_t portOr(bool tls) const { return port ? port : static_cast<uint16_t>(tls ? 5061 : 5060); }
};

} // namespace kalvo::sip
