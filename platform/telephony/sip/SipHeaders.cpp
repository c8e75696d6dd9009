// Reading caller identification and INFO keys from SIP requests.
#include "SipHeaders.h"

#include "Re.h"

#include <string>

namespace kalvo::sip {

namespace {

std::string text(const struct pl& pl)
{
    return pl_isset(&pl) ? std::string(pl.p, pl.l) : std::string();
}

// A display name without its quotes and quoted-pair escapes (the stack may have taken the quotes).
std::string displayName(const struct pl& pl)
{
    std::string name = text(pl);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.pop_back();
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    std::string plain;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size())
            ++i;
        plain.push_back(name[i]);
    }
    return plain;
}

} // namespace

kalvo::telephony::CallData callDataFromInvite(const struct sip_msg* msg)
{
    kalvo::telephony::CallData data;
    struct pl dname = msg->from.dname;
    struct pl user = msg->from.uri.user;
    std::string address = text(msg->from.auri);
    if (const struct sip_hdr* pai = sip_msg_xhdr(msg, "P-Asserted-Identity")) {
        struct sip_addr addr;
        if (sip_addr_decode(&addr, &pai->val) == 0) {
            dname = addr.dname;
            user = addr.uri.user;
            address = text(addr.auri);
        }
    }
    std::string number = text(user);
    if (!number.empty())
        data.callerNumber = number;
    std::string name = displayName(dname);
    if (!name.empty())
        data.callerName = name;
    std::string called = text(msg->uri.user);
    if (!called.empty())
        data.calledNumber = called;
    data.displayableAddress = address;
    return data;
}

char infoDigit(const struct sip_msg* msg)
{
    if (!msg || !msg->mb || mbuf_get_left(msg->mb) == 0)
        return 0;
    std::string body(reinterpret_cast<const char*>(mbuf_buf(msg->mb)), mbuf_get_left(msg->mb));
    size_t at = 0;
    if (msg_ctype_cmp(&msg->ctyp, "application", "dtmf-relay")) {
        at = body.find("Signal");
        if (at == std::string::npos)
            return 0;
        at = body.find('=', at);
        if (at == std::string::npos)
            return 0;
        ++at;
    } else if (!msg_ctype_cmp(&msg->ctyp, "application", "dtmf")) {
        return 0;
    }
    while (at < body.size() && (body[at] == ' ' || body[at] == '\t'))
        ++at;
    if (at >= body.size())
        return 0;
    char c = body[at];
    if (c >= 'a' && c <= 'd')
        c = static_cast<char>(c - 'a' + 'A');
    // dtmf-relay also allows the event numbers 10 and 11 for '*' and '#'.
    if (c == '1' && at + 1 < body.size() && (body[at + 1] == '0' || body[at + 1] == '1'))
        return body[at + 1] == '0' ? '*' : '#';
    if ((c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D'))
        return c;
    return 0;
}

} // namespace kalvo::sip
