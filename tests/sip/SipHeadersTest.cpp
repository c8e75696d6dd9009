// Reading requests: caller identification from From and P-Asserted-Identity, and INFO keys.
#include "SipHeaders.h"
#include "Re.h"
#include "SipNat.h"
#include "SipWarnings.h"

#include <gtest/gtest.h>

using kalvo::sip::callDataFromInvite;
using kalvo::sip::cleanIdentity;
using kalvo::sip::infoDigit;
using kalvo::sip::requestFault;
using kalvo::sip::SipWarnings;

namespace {

// A decoded request: headers, a blank line, then body.
class Request
{
public:
    Request(const std::string& method, const std::string& headers, const std::string& body = {})
    {
        std::string text = method +
                           " sip:kalvo@127.0.0.1 SIP/2.0\r\n"
                           "Via: SIP/2.0/UDP 127.0.0.1:5070;branch=z9hG4bK-1\r\n"
                           "To: <sip:kalvo@127.0.0.1>\r\nCall-ID: c1@127.0.0.1\r\nCSeq: 1 " +
                           method + "\r\nMax-Forwards: 70\r\n" + headers +
                           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        m_mb = mbuf_alloc(text.size());
        mbuf_write_mem(m_mb, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        m_mb->pos = 0;
        EXPECT_EQ(sip_msg_decode(&m_msg, m_mb), 0) << text;
    }
    ~Request()
    {
        mem_deref(m_msg);
        mem_deref(m_mb);
    }
    const struct sip_msg* msg() const { return m_msg; }

private:
    struct mbuf* m_mb = nullptr;
    struct sip_msg* m_msg = nullptr;
};

// From gives number and quoted name (escapes removed); the called number is the request user.
TEST(SipHeadersTest, CallerFromTheFromHeader)
{
    Request r("INVITE", "From: \"Anna \\\"Q\\\" Smith\" <sip:+4930123@example.org>;tag=a\r\n");
    auto data = callDataFromInvite(r.msg());
    EXPECT_EQ(data.callerNumber.value_or("?"), "+4930123");
    EXPECT_EQ(data.callerName.value_or("?"), "Anna \"Q\" Smith");
    EXPECT_EQ(data.calledNumber.value_or("?"), "kalvo");
}

// A trusted P-Asserted-Identity wins over From; what it lacks stays unknown. An untrusted one is
// ignored.
TEST(SipHeadersTest, AssertedIdentityWinsOnlyWhenTrusted)
{
    Request r("INVITE", "From: \"Shown\" <sip:111@example.org>;tag=a\r\n"
                        "P-Asserted-Identity: <sip:222@carrier.example>\r\n");
    auto data = callDataFromInvite(r.msg(), true);
    EXPECT_EQ(data.callerNumber.value_or("?"), "222");
    EXPECT_FALSE(data.callerName.has_value());
    auto untrusted = callDataFromInvite(r.msg());
    EXPECT_EQ(untrusted.callerNumber.value_or("?"), "111");
    EXPECT_EQ(untrusted.callerName.value_or("?"), "Shown");

    Request anonymous("INVITE", "From: <sip:example.org>;tag=a\r\n");
    auto none = callDataFromInvite(anonymous.msg());
    EXPECT_FALSE(none.callerNumber.has_value());
    EXPECT_FALSE(none.callerName.has_value());
    EXPECT_EQ(none.callerAbsence, LINECALLPARTYID_UNAVAIL);
}

// A caller who withholds their identity, by an anonymous From or by asking for privacy, has no
// number whatever the From holds; "Privacy: none" withholds nothing.
TEST(SipHeadersTest, WithheldIdentity)
{
    const struct
    {
        const char* headers;
        bool withheld;
    } cases[] = {
        {"From: \"Anonymous\" <sip:anonymous@anonymous.invalid>;tag=a\r\n", true},
        {"From: <sip:Anonymous@example.org>;tag=a\r\n", true},
        {"From: <sip:555@example.org>;tag=a\r\nPrivacy: user;id\r\n", true},
        {"From: <sip:555@example.org>;tag=a\r\nPrivacy: header\r\n", true},
        {"From: <sip:555@example.org>;tag=a\r\nPrivacy: none\r\n", false},
        {"From: <sip:identity@example.org>;tag=a\r\n", false},
    };
    for (const auto& c : cases) {
        Request r("INVITE", c.headers);
        auto data = callDataFromInvite(r.msg());
        EXPECT_EQ(data.callerNumber.has_value(), !c.withheld) << c.headers;
        EXPECT_EQ(data.callerAbsence, c.withheld ? LINECALLPARTYID_BLOCKED : LINECALLPARTYID_UNAVAIL)
            << c.headers;
    }
}

// INFO bodies of both types give their key; anything else gives none.
TEST(SipHeadersTest, InfoKeys)
{
    const std::string from = "From: <sip:a@example.org>;tag=a\r\n";
    struct Case
    {
        std::string type, body;
        char key;
    };
    for (const Case& c : std::vector<Case>{{"application/dtmf-relay", "Signal=5\r\nDuration=160\r\n", '5'},
                                           {"application/dtmf-relay", "Signal= #\r\n", '#'},
                                           {"application/dtmf-relay", "Signal=10\r\n", '*'},
                                           {"application/dtmf-relay", "Signal=11\r\n", '#'},
                                           {"application/dtmf", "d", 'D'},
                                           {"application/dtmf", "9", '9'},
                                           {"application/dtmf-relay", "Duration=160\r\n", 0},
                                           {"application/dtmf", "x", 0},
                                           {"text/plain", "5", 0}}) {
        Request r("INFO", from + "Content-Type: " + c.type + "\r\n", c.body);
        EXPECT_EQ(infoDigit(r.msg()), c.key) << c.type << " " << c.body;
    }
    Request empty("INFO", from);
    EXPECT_EQ(infoDigit(empty.msg()), 0);
}

// Cleaning counts characters, not bytes, never splits one, and blanks what could hide or reorder
// text: controls, line separators, bidirectional marks and broken UTF-8.
TEST(SipHeadersTest, IdentityCleaning)
{
    EXPECT_EQ(cleanIdentity("Anna\tB\r\nC\x7f"), "Anna B  C ");
    EXPECT_EQ(cleanIdentity("a\xe2\x80\xa8"
                            "b\xe2\x80\xae"
                            "c\xe2\x81\xa6"
                            "d\xd8\x9c"
                            "e"),
              "a b c d e");
    EXPECT_EQ(cleanIdentity("\xc3\xa9t\xc3"), "\xc3\xa9t ");     // a cut-off sequence
    EXPECT_EQ(cleanIdentity("\xc0\xaf\xed\xa0\x80x"), "     x"); // overlong, surrogate
    std::string wide;
    for (int i = 0; i < 200; ++i)
        wide += "\xf0\x9f\x93\x9e"; // a four-byte character
    EXPECT_EQ(cleanIdentity(wide), wide.substr(0, 128 * 4));
    EXPECT_EQ(cleanIdentity(std::string(5000, 'x')).size(), 128u);
}

// A whole request has no fault; each missing header or false Content-Length is named.
TEST(SipHeadersTest, RequestFaults)
{
    Request whole("INVITE", "From: <sip:a@example.org>;tag=a\r\n", "v=0\r\n");
    EXPECT_EQ(requestFault(whole.msg()), nullptr);
    Request noFrom("INVITE", "");
    EXPECT_STREQ(requestFault(noFrom.msg()), "Missing From");
}

// Network text is escaped byte by byte, and a flood of one warning is held to a burst a minute
// with the count of what was left out.
TEST(SipHeadersTest, WarningsEscapedAndRateLimited)
{
    EXPECT_EQ(SipWarnings::escape("IN\x1b[2J\\\n\xc3\xa9"), "IN\\x1b[2J\\x5c\\x0a\\xc3\\xa9");
    EXPECT_EQ(SipWarnings::escape(std::string(10, 'a'), 4), "aaaa...");
    auto now = std::chrono::steady_clock::time_point();
    std::vector<std::string> lines;
    SipWarnings warnings([&] { return now; }, [&](const std::string& line) { lines.push_back(line); });
    for (int i = 0; i < 50; ++i)
        warnings.warn("bad", "bad request " + std::to_string(i));
    warnings.warn("other", "another kind");
    EXPECT_EQ(lines.size(), SipWarnings::kBurst + 1);
    EXPECT_EQ(lines.front(), "kalvo sip: bad request 0");
    now += std::chrono::seconds(61);
    warnings.warn("bad", "bad request 50");
    EXPECT_EQ(lines.back(), "kalvo sip: bad request 50 (45 more like it left out)");
}

} // namespace

namespace {

// The address a registrar saw, from the Via of its response: received and rport together, rport
// alone (same address, another port), and nothing learned when the Via names what was sent.
TEST(SipHeadersTest, PublicAddressFromVia)
{
    auto seen = [](const std::string& via, std::string& out) {
        const std::string text = "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP " + via +
                                 "\r\nTo: <sip:k@x>;tag=1\r\nFrom: <sip:k@x>;tag=2\r\nCall-ID: c\r\n"
                                 "CSeq: 1 REGISTER\r\nContent-Length: 0\r\n\r\n";
        struct mbuf* mb = mbuf_alloc(text.size());
        mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        mb->pos = 0;
        struct sip_msg* msg = nullptr;
        EXPECT_EQ(sip_msg_decode(&msg, mb), 0);
        struct sa address;
        const bool learned = kalvo::sip::SipNat::publicAddressFromVia(msg, address);
        char buffer[64] = "";
        if (learned)
            re_snprintf(buffer, sizeof buffer, "%J", &address);
        out = buffer;
        mem_deref(msg);
        mem_deref(mb);
        return learned;
    };
    std::string address;
    EXPECT_TRUE(seen("192.168.1.20:5060;branch=z9hG4bK1;received=203.0.113.7;rport=40123", address));
    EXPECT_EQ(address, "203.0.113.7:40123");
    EXPECT_TRUE(seen("192.168.1.20:5060;rport=5070;branch=z9hG4bK1", address));
    EXPECT_EQ(address, "192.168.1.20:5070");
    EXPECT_FALSE(seen("192.168.1.20:5060;branch=z9hG4bK1;rport=5060;received=192.168.1.20", address));
    EXPECT_FALSE(seen("192.168.1.20:5060;branch=z9hG4bK1;rport", address));
}

} // namespace
