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
    bool tcp = false;               // "tcp" = yes: accept SIP over TCP on the same port too
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

    // The keys above, as written in the configuration.
    static std::vector<std::string> keys();

    // Reads a section; unknown keys are left to the layer. @return false with error set on a bad value.
    static bool parse(const kalvo::telephony::LineConfig& config, SipSettings& out, std::string& error);

    // "host:port" of the SIP listener.
    std::string listenAddress() const;
};

} // namespace kalvo::sip
