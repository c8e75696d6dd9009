// The settings of one SIP line, read from its [LineN] section of the telephony configuration.
#pragma once

#include "LineProvider.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kalvo::sip {

struct SipSettings
{
    std::string listenHost = "0.0.0.0"; // "listen" = host:port
    uint16_t listenPort = 5060;
    bool tcp = false; // "tcp" = yes: accept SIP over TCP on the same port too
    // "transport": how the account's requests travel; tcp also listens on TCP, tls also listens for
    // TLS (on the next port) when a certificate is set.
    enum class Transport { Udp, Tcp, Tls } transport = Transport::Udp;
    std::string tlsCa;   // "tls_ca": a file of authorities trusted besides the system's
    std::string tlsCert; // "tls_cert" and "tls_key": the line's own certificate and key (PEM)
    std::string tlsKey;
    bool tlsVerify = true; // "tls_verify" = no: the registrar's certificate is not checked
    // "keepalive" in seconds (0 = none): how often a registered account shows the registrar it is
    // there, so a router between them keeps the way open and a lost registrar is noticed.
    unsigned keepaliveSeconds = 30;
    // "stun_server" = host[:port]: asked for the line's public address when it is behind a router.
    std::string stunServer;
    // "outbound_proxy" = sip:host[:port][;transport=...]: every request of the line goes through it.
    std::string outboundProxy;
    // "srtp": encrypted media on calls whose signalling is TLS; mandatory refuses other calls (488).
    enum class Srtp { Off, Optional, Mandatory } srtp = Srtp::Off;
    unsigned ringIntervalMs = 6000; // "ring_interval" in seconds (fractions allowed)
    uint16_t rtpPortMin = 10000;    // "rtp_ports" = min-max
    uint16_t rtpPortMax = 20000;
    unsigned rtpTimeoutMs = 60000; // "rtp_timeout" in seconds: silence on the wire that ends a call
    unsigned jitterMinFrames = 2;  // "jitter_buffer" = min-max, in 20 ms frames
    unsigned jitterMaxFrames = 10;
    // Account (optional): registered when registrar is set.
    std::string registrar;             // "registrar", e.g. sip:provider.example
    std::string user;                  // "user": the address-of-record user
    std::string password;              // "password"
    std::string authUser;              // "auth_user" (defaults to user)
    std::string displayName;           // "display"
    unsigned expires = 3600;           // "expires" in seconds
    unsigned registerRetryMs = 300000; // "register_retry" in seconds: wait after two rejections
    // Keys whose values could not be read and were left at their defaults, in words that name the
    // file, the section, the key and the value.
    std::vector<std::string> warnings;

    // The keys above, as written in the configuration.
    static std::vector<std::string> keys();

    // Reads a section; unknown keys are left to the layer, a bad value to warnings.
    // @return false with error set when the keys together cannot make a line.
    static bool parse(const kalvo::telephony::LineConfig& config, SipSettings& out, std::string& error);

    // "host:port" of the SIP listener.
    std::string listenAddress() const;
    // The port of the TLS listener: the next one after the SIP port.
    uint16_t tlsPort() const
    {
        return static_cast<uint16_t>(listenPort == 65535 ? listenPort : listenPort + 1);
    }
    // The registrar as a SIP URI that names the transport.
    std::string registrarUri() const;
    // The registrar's host, without scheme, port or parameters (brackets of IPv6 removed).
    std::string registrarHost() const { return hostOf(registrar); }
    // The host the line's requests go to first: the outbound proxy's, else the registrar's.
    std::string firstHopHost() const { return hostOf(outboundProxy.empty() ? registrar : outboundProxy); }
    // The route of the line's requests (a loose route), or empty to send them straight:
    // the outbound proxy, else the registrar when the account is on TCP or TLS.
    std::string route() const;
    static std::string hostOf(const std::string& uri);
    static const char* transportName(Transport transport);
};

} // namespace kalvo::sip
