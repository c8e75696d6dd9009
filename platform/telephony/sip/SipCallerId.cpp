// Caller identification from SIP headers.
#include "SipCallerId.h"

#include "Re.h"

#include <string>

namespace kalvo::sip {

namespace {

std::string text(const struct pl& pl)
{
    return pl_isset(&pl) ? std::string(pl.p, pl.l) : std::string();
}

// A display name without its quotes and quoted-pair escapes.
std::string displayName(const struct pl& pl)
{
    std::string name = text(pl);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.pop_back();
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        std::string unquoted;
        for (size_t i = 1; i + 1 < name.size(); ++i) {
            if (name[i] == '\\' && i + 2 < name.size())
                ++i;
            unquoted.push_back(name[i]);
        }
        return unquoted;
    }
    return name;
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

} // namespace kalvo::sip
