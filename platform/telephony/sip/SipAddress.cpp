// Parsing of SIP server addresses.
#include "SipAddress.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <charconv>

namespace kalvo::sip {

namespace {

bool parsePort(std::string_view text, uint16_t& port)
{
    unsigned long n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n == 0 || n > 65535)
        return false;
    port = static_cast<uint16_t>(n);
    return true;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

} // namespace

bool SipAddress::parse(std::string_view text, SipAddress& out)
{
    SipAddress a;
    if (text.size() > 1 && text.front() == '<' && text.back() == '>')
        text = text.substr(1, text.size() - 2);
    for (std::string_view scheme : {"sips:", "sip:"}) {
        if (text.size() >= scheme.size() && lower(text.substr(0, scheme.size())) == scheme) {
            a.secure = scheme == "sips:";
            text.remove_prefix(scheme.size());
            break;
        }
    }
    std::string_view params;
    if (auto semi = text.find_first_of(";?"); semi != std::string_view::npos) {
        params = text.substr(semi);
        text = text.substr(0, semi);
    }
    if (auto at = text.rfind('@'); at != std::string_view::npos) {
        a.user = std::string(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return false;
            port = rest.substr(1);
            if (port.empty())
                return false;
        }
    } else if (auto colon = text.find(':'); colon != std::string_view::npos && text.rfind(':') == colon) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty())
            return false;
    }
    if (host.empty() || host.find_first_of(" \t/[]<>@") != std::string_view::npos)
        return false;
    if (!port.empty() && !parsePort(port, a.port))
        return false;
    a.host = std::string(host);
    while (!params.empty()) {
        params.remove_prefix(1);
        const auto next = params.find_first_of(";?");
        const std::string_view param = params.substr(0, next);
        if (lower(param.substr(0, 10)) == "transport=")
            a.transport = lower(param.substr(10));
        params = next == std::string_view::npos ? std::string_view() : params.substr(next);
    }
    out = std::move(a);
    return true;
}

bool SipAddress::numeric() const
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string SipAddress::uriHost() const
{
    return isIpv6() ? "[" + host + "]" : host;
}

std::string SipAddress::hostPort() const
{
    return port ? uriHost() + ":" + std::to_string(port) : uriHost();
}

} // namespace kalvo::sip
