// Parsing of the SIP line settings.
#include "SipSettings.h"

#include "SipAddress.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kalvo::sip {

namespace {

bool parseUnsigned(const std::string& text, unsigned long max, unsigned long& out)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && out <= max;
}

// Seconds with an optional fraction, as milliseconds.
bool parseSeconds(const std::string& text, unsigned& ms)
{
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value <= 0 ||
        value > 86400.0 * 7 || std::lround(value * 1000.0) <= 0)
        return false;
    ms = static_cast<unsigned>(std::lround(value * 1000.0));
    return true;
}

bool parseRange(const std::string& text, unsigned long max, unsigned long& lo, unsigned long& hi)
{
    auto dash = text.find('-');
    if (dash == std::string::npos)
        return false;
    return parseUnsigned(text.substr(0, dash), max, lo) && parseUnsigned(text.substr(dash + 1), max, hi) &&
           lo <= hi;
}

bool isYes(const std::string& text)
{
    return text == "yes" || text == "true" || text == "1" || text == "on";
}

} // namespace

std::vector<std::string> SipSettings::keys()
{
    return {"listen",         "tcp",       "ring_interval", "rtp_ports",     "rtp_timeout", "jitter_buffer",
            "registrar",      "user",      "password",      "auth_user",     "display",     "expires",
            "register_retry", "transport", "tls_ca",        "tls_cert",      "tls_key",     "tls_verify",
            "keepalive",      "srtp",      "stun_server",   "outbound_proxy"};
}

bool SipSettings::parse(const kalvo::telephony::LineConfig& config, SipSettings& out, std::string& error)
{
    SipSettings s;
    // One bad value costs only its key: the line opens with that key's default and says so.
    auto bad = [&](const std::string& key, const std::string& value) {
        s.warnings.push_back(config.configPath + " [Line" + std::to_string(config.deviceId) + "] \"" +
                             config.name + "\": bad value for " + key + ": \"" + value +
                             "\"; the line uses its default");
    };
    for (const auto& [key, value] : config.keys) {
        unsigned long n = 0, m = 0;
        SipAddress address;
        if (key == "listen") {
            if (!SipAddress::parse(value, address) || address.port == 0 ||
                value.find_first_of("@;") != std::string::npos || address.secure)
                bad(key, value);
            else {
                s.listenHost = address.host;
                s.listenPort = address.port;
            }
        } else if (key == "tcp") {
            s.tcp = isYes(value);
        } else if (key == "transport") {
            if (value == "udp")
                s.transport = Transport::Udp;
            else if (value == "tcp")
                s.transport = Transport::Tcp;
            else if (value == "tls")
                s.transport = Transport::Tls;
            else
                bad(key, value);
        } else if (key == "srtp") {
            if (value == "off" || value == "no")
                s.srtp = Srtp::Off;
            else if (value == "optional")
                s.srtp = Srtp::Optional;
            else if (value == "mandatory")
                s.srtp = Srtp::Mandatory;
            else
                bad(key, value);
        } else if (key == "keepalive") {
            if (!parseUnsigned(value, 3600, n))
                bad(key, value);
            else
                s.keepaliveSeconds = static_cast<unsigned>(n);
        } else if (key == "stun_server") {
            if (!value.empty() &&
                (!SipAddress::parse(value, address) || value.find_first_of("@;") != std::string::npos))
                bad(key, value);
            else
                s.stunServer = value;
        } else if (key == "outbound_proxy") {
            if (!value.empty() && ((value.rfind("sip:", 0) != 0 && value.rfind("sips:", 0) != 0) ||
                                   !SipAddress::parse(value, address)))
                bad(key, value);
            else
                s.outboundProxy = value;
        } else if (key == "tls_ca") {
            s.tlsCa = value;
        } else if (key == "tls_cert") {
            s.tlsCert = value;
        } else if (key == "tls_key") {
            s.tlsKey = value;
        } else if (key == "tls_verify") {
            s.tlsVerify = value.empty() || isYes(value);
        } else if (key == "ring_interval") {
            if (!parseSeconds(value, s.ringIntervalMs))
                bad(key, value);
        } else if (key == "rtp_ports") {
            if (!parseRange(value, 65535, n, m) || n < 1024 || m - n < 2)
                bad(key, value);
            else {
                s.rtpPortMin = static_cast<uint16_t>(n);
                s.rtpPortMax = static_cast<uint16_t>(m);
            }
        } else if (key == "rtp_timeout") {
            if (!parseSeconds(value, s.rtpTimeoutMs))
                bad(key, value);
        } else if (key == "jitter_buffer") {
            if (!parseRange(value, 50, n, m) || m == 0)
                bad(key, value);
            else {
                s.jitterMinFrames = static_cast<unsigned>(n);
                s.jitterMaxFrames = static_cast<unsigned>(m);
            }
        } else if (key == "registrar") {
            if (!value.empty() && !SipAddress::parse(value, address))
                bad(key, value);
            else
                s.registrar = value;
        } else if (key == "user") {
            s.user = value;
        } else if (key == "password") {
            s.password = value;
        } else if (key == "auth_user") {
            s.authUser = value;
        } else if (key == "display") {
            s.displayName = value;
        } else if (key == "expires") {
            if (!parseUnsigned(value, 86400, n) || n < 10)
                bad(key, value);
            else
                s.expires = static_cast<unsigned>(n);
        } else if (key == "register_retry") {
            if (!parseSeconds(value, s.registerRetryMs))
                bad(key, value);
        }
    }
    if (!s.registrar.empty() && s.user.empty()) {
        error = "registrar needs a user";
        return false;
    }
    // Files named relative to the configuration are found beside it.
    const auto slash = config.configPath.rfind('/');
    if (slash != std::string::npos)
        for (std::string* path : {&s.tlsCa, &s.tlsCert, &s.tlsKey})
            if (!path->empty() && path->front() != '/')
                *path = config.configPath.substr(0, slash + 1) + *path;
    if (s.tlsCert.empty() != s.tlsKey.empty()) {
        error = "tls_cert and tls_key go together";
        return false;
    }
    if (s.srtp != Srtp::Off && s.transport != Transport::Tls) {
        // The keys travel in the SDP: over plain SIP anyone on the way could read them.
        error = "srtp needs transport = tls";
        return false;
    }
    if (s.outboundProxy.find(";transport=tls") != std::string::npos && s.transport != Transport::Tls) {
        error = "an outbound_proxy over TLS needs transport = tls";
        return false;
    }
    if (s.transport == Transport::Tcp || s.outboundProxy.find(";transport=tcp") != std::string::npos)
        s.tcp = true;
    if (s.authUser.empty())
        s.authUser = s.user;
    out = s;
    return true;
}

std::string SipSettings::listenAddress() const
{
    if (listenHost.find(':') != std::string::npos)
        return "[" + listenHost + "]:" + std::to_string(listenPort);
    return listenHost + ":" + std::to_string(listenPort);
}

const char* SipSettings::transportName(Transport transport)
{
    switch (transport) {
    case Transport::Tcp:
        return "tcp";
    case Transport::Tls:
        return "tls";
    default:
        return "udp";
    }
}

std::string SipSettings::registrarUri() const
{
    std::string uri = registrar;
    if (uri.rfind("sip:", 0) != 0 && uri.rfind("sips:", 0) != 0)
        uri = "sip:" + uri;
    if (transport != Transport::Udp && uri.find(";transport=") == std::string::npos)
        uri += std::string(";transport=") + transportName(transport);
    return uri;
}

std::string SipSettings::route() const
{
    if (!outboundProxy.empty())
        return outboundProxy + ";lr";
    if (!registrar.empty() && transport != Transport::Udp)
        return registrarUri() + ";lr";
    return {};
}

std::string SipSettings::hostOf(const std::string& uri)
{
    SipAddress address;
    return SipAddress::parse(uri, address) ? address.host : std::string();
}

} // namespace kalvo::sip
