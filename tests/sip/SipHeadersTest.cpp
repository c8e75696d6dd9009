// Reading requests: caller identification from From and P-Asserted-Identity, and INFO keys.
#include "SipHeaders.h"
#include "Re.h"

#include <gtest/gtest.h>

using kalvo::sip::callDataFromInvite;
using kalvo::sip::infoDigit;

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

// P-Asserted-Identity wins over From when present; what it lacks stays unknown.
TEST(SipHeadersTest, AssertedIdentityWins)
{
    Request r("INVITE", "From: \"Shown\" <sip:111@example.org>;tag=a\r\n"
                        "P-Asserted-Identity: <sip:222@carrier.example>\r\n");
    auto data = callDataFromInvite(r.msg());
    EXPECT_EQ(data.callerNumber.value_or("?"), "222");
    EXPECT_FALSE(data.callerName.has_value());

    Request anonymous("INVITE", "From: <sip:example.org>;tag=a\r\n");
    auto none = callDataFromInvite(anonymous.msg());
    EXPECT_FALSE(none.callerNumber.has_value());
    EXPECT_FALSE(none.callerName.has_value());
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

} // namespace
