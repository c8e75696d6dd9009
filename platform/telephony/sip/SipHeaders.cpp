// Reading caller identification and INFO keys from SIP requests.
#include "SipHeaders.h"

#include "Re.h"

#include <cctype>
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

// The length of the UTF-8 sequence at text[at] and its code point; 0 when it is not one.
size_t decodeUtf8(std::string_view text, size_t at, char32_t& cp)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xE  ? 3
                    : (lead >> 3) == 0x1E ? 4
                                          : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    cp = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not characters.
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return length;
}

bool shownAsSpace(char32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 || cp == 0x061C ||
           cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// A caller who withholds their identity: a Privacy header asking for it (RFC 3323, 3325), or the
// anonymous From that such callers send.
bool identityWithheld(const struct sip_msg* msg, const struct pl& user, const struct pl& host)
{
    if (const struct sip_hdr* privacy = sip_msg_xhdr(msg, "Privacy")) {
        std::string values = text(privacy->val);
        for (char& c : values)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const char* value : {"id", "header", "user"}) {
            const size_t at = values.find(value);
            const size_t end = at == std::string::npos ? at : at + std::string_view(value).size();
            if (at != std::string::npos && (at == 0 || values[at - 1] == ';' || values[at - 1] == ' ') &&
                (end == values.size() || values[end] == ';' || values[end] == ' '))
                return true;
        }
    }
    return pl_strcasecmp(&user, "anonymous") == 0 || pl_strcasecmp(&host, "anonymous.invalid") == 0;
}

bool digitsOnly(const struct pl& pl)
{
    if (!pl_isset(&pl))
        return false;
    for (size_t i = 0; i < pl.l; ++i)
        if (pl.p[i] < '0' || pl.p[i] > '9')
            return false;
    return true;
}

} // namespace

std::string cleanIdentity(std::string_view text)
{
    constexpr size_t kMaxCharacters = 128;
    std::string out;
    size_t characters = 0;
    for (size_t at = 0; at < text.size() && characters < kMaxCharacters; ++characters) {
        char32_t cp = 0;
        size_t length = decodeUtf8(text, at, cp);
        if (length == 0 || shownAsSpace(cp)) {
            out.push_back(' ');
            at += length == 0 ? 1 : length;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

const char* requestFault(const struct sip_msg* msg)
{
    if (!pl_isset(&msg->to.auri))
        return "Missing To";
    if (!pl_isset(&msg->from.auri))
        return "Missing From";
    if (!pl_isset(&msg->callid))
        return "Missing Call-ID";
    if (!pl_isset(&msg->cseq.met))
        return "Missing CSeq";
    if (pl_casecmp(&msg->cseq.met, &msg->met) != 0)
        return "CSeq Method Mismatch";
    if (!pl_isset(&msg->via.sentby))
        return "Missing Via";
    if (pl_isset(&msg->clen)) {
        const size_t body = msg->mb ? mbuf_get_left(msg->mb) : 0;
        if (!digitsOnly(msg->clen) || msg->clen.l > 9 || pl_u32(&msg->clen) != body)
            return "Bad Content-Length";
    }
    return nullptr;
}

kalvo::telephony::CallData callDataFromInvite(const struct sip_msg* msg, bool trustAssertedIdentity)
{
    kalvo::telephony::CallData data;
    struct pl dname = msg->from.dname;
    struct pl user = msg->from.uri.user;
    struct pl host = msg->from.uri.host;
    std::string address = text(msg->from.auri);
    const struct sip_hdr* pai = trustAssertedIdentity ? sip_msg_xhdr(msg, "P-Asserted-Identity") : nullptr;
    if (pai) {
        struct sip_addr addr;
        if (sip_addr_decode(&addr, &pai->val) == 0) {
            dname = addr.dname;
            user = addr.uri.user;
            host = addr.uri.host;
            address = text(addr.auri);
        }
    }
    // Everything the caller will say about themselves comes with the INVITE.
    const bool withheld = identityWithheld(msg, user, host);
    data.callerAbsence = withheld ? LINECALLPARTYID_BLOCKED : LINECALLPARTYID_UNAVAIL;
    std::string number = cleanIdentity(text(user));
    if (!number.empty() && !withheld)
        data.callerNumber = number;
    std::string name = cleanIdentity(displayName(dname));
    if (!name.empty())
        data.callerName = name;
    std::string called = cleanIdentity(text(msg->uri.user));
    if (!called.empty())
        data.calledNumber = called;
    data.displayableAddress = cleanIdentity(address);
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
