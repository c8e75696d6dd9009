// The SIP line against raw datagrams on 127.0.0.1: malformed and unservable INVITEs are refused
// without ever being offered, hostile caller identities arrive cut and clean, and an answered call
// whose ACK never comes frees the line for the next (real baresip) caller as soon as it is given up.
#include "SipLine.h"
#include "SipPeers.h"
#include "SipProvider.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace kalvo::sip;
using namespace kalvo::sip::test;
using namespace kalvo::telephony;
using namespace std::chrono;

namespace {

std::string audioSdp(const std::string& media = "m=audio 4000 RTP/AVP 0\r\n")
{
    return "v=0\r\no=raw 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n" + media;
}

// An INVITE from peer; each header named in drop is left out, contentLength (when set) replaces
// the body's true length.
std::string invite(const RawPeer& peer, const std::string& id, const std::string& body,
                   const std::vector<std::string>& drop = {}, const std::string& contentLength = {},
                   const std::string& from = "\"Raw\" <sip:777@127.0.0.1>;tag=r1",
                   const std::string& extra = {})
{
    std::vector<std::pair<std::string, std::string>> headers = {
        {"Via", "SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer.port()) + ";branch=z9hG4bK-" + id},
        {"From", from},
        {"To", "<sip:kalvo@127.0.0.1>"},
        {"Call-ID", id + "@127.0.0.1"},
        {"CSeq", "1 INVITE"},
        {"Contact", "<sip:raw@127.0.0.1:" + std::to_string(peer.port()) + ">"},
        {"Max-Forwards", "70"},
        {"Content-Type", "application/sdp"},
        {"Content-Length", contentLength.empty() ? std::to_string(body.size()) : contentLength}};
    std::string text = "INVITE sip:kalvo@127.0.0.1 SIP/2.0\r\n";
    for (auto& [name, value] : headers)
        if (std::find(drop.begin(), drop.end(), name) == drop.end())
            text += name + ": " + value + "\r\n";
    return text + extra + "\r\n" + body;
}

class SipScreenTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_port = freePort();
        ASSERT_NE(m_port, 0);
        LineConfig config;
        config.deviceId = 0;
        config.name = "Screened SIP line";
        config.provider = "sip";
        config.keys = {{"listen", "127.0.0.1:" + std::to_string(m_port)},
                       {"ring_interval", "0.4"},
                       {"rtp_ports", "40000-49998"}};
        std::string error;
        m_line = m_provider.createLine(config, m_sink, error);
        ASSERT_TRUE(m_line) << error;
        m_line->open();
        ASSERT_TRUE(sipLine().listening());
    }

    // A real caller is offered at once, can be answered and dropped.
    void expectRealCallGetsThrough()
    {
        Baresip caller("", "next@127.0.0.1>;regint=0", std::vector<int16_t>(8000 * 20, 0));
        const auto dialled = steady_clock::now();
        const size_t before = m_sink.count("offer");
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(m_port));
        Event offer =
            m_sink.waitFor([&](const Event& e) { return e.kind == "offer" && e.at > dialled; }, seconds(10));
        ASSERT_EQ(offer.kind, "offer") << caller.log();
        EXPECT_EQ(m_sink.count("offer"), before + 1);
        EXPECT_LT(duration_cast<milliseconds>(offer.at - dialled).count(), 3000);
        EXPECT_EQ(m_line->drop(offer.call, 99), 0);
        m_sink.waitFor(
            [&](const Event& e) {
                return e.kind == "state" && e.a == LINECALLSTATE_IDLE && e.call == offer.call;
            },
            seconds(5));
    }

    SipLine& sipLine() { return static_cast<SipLine&>(*m_line); }

    uint16_t m_port = 0;
    SipProvider m_provider;
    RecordingSink m_sink;
    std::unique_ptr<LineDevice> m_line;
};

// Each malformed INVITE gets 400 and each unservable offer 488 (or 415), none is offered as a
// call, and a real caller gets through straight after.
TEST_F(SipScreenTest, MalformedAndUnservableInvitesAreRefused)
{
    RawPeer peer(m_port);
    const std::string sdp = audioSdp();
    struct Case
    {
        std::string name, request, status;
    };
    std::vector<Case> cases = {
        {"no To", invite(peer, "a1", sdp, {"To"}), "SIP/2.0 400"},
        {"no From", invite(peer, "a2", sdp, {"From"}), "SIP/2.0 400"},
        {"no Call-ID", invite(peer, "a3", sdp, {"Call-ID"}), "SIP/2.0 400"},
        {"no CSeq", invite(peer, "a4", sdp, {"CSeq"}), "SIP/2.0 400"},
        {"negative length", invite(peer, "a5", sdp, {}, "-1"), "SIP/2.0 400"},
        {"length too long", invite(peer, "a6", sdp, {}, std::to_string(sdp.size() + 40)), "SIP/2.0 400"},
        {"length too short", invite(peer, "a7", sdp, {}, "10"), "SIP/2.0 400"},
        {"length not a number", invite(peer, "a8", sdp, {}, "1e3"), "SIP/2.0 400"},
        {"video only", invite(peer, "b1", audioSdp("m=video 4002 RTP/AVP 96\r\n")), "SIP/2.0 488"},
        {"audio refused", invite(peer, "b2", audioSdp("m=audio 0 RTP/AVP 0\r\n")), "SIP/2.0 488"},
        {"no common codec", invite(peer, "b3", audioSdp("m=audio 4000 RTP/AVP 18\r\n")), "SIP/2.0 488"},
        {"not SDP", invite(peer, "b4", "hello", {"Content-Type"}), "SIP/2.0 415"},
    };
    for (const Case& c : cases) {
        peer.send(c.request);
        std::string reply = peer.waitFor("SIP/2.0 ", seconds(3));
        while (reply.rfind("SIP/2.0 100", 0) == 0)
            reply = peer.waitFor("SIP/2.0 ", seconds(3));
        EXPECT_EQ(reply.substr(0, c.status.size()), c.status) << c.name << ": " << reply;
    }
    // Without a Via there is nowhere to answer; the request is still dropped unoffered.
    peer.send(invite(peer, "c1", sdp, {"Via"}));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(m_sink.count("offer"), 0u);
    EXPECT_FALSE(sipLine().busy());
    expectRealCallGetsThrough();
}

// A 5 KB name and number together, full of control, line-separator and bidirectional characters arrive cut to
// 128 characters and cleaned; an asserted identity from a stranger does not replace From.
TEST_F(SipScreenTest, HostileIdentityArrivesCutAndClean)
{
    RawPeer peer(m_port);
    std::string name;
    while (name.size() < 3000)
        name += "Mallory\x01\xe2\x80\xae\xe2\x80\xa8\xc3\xa9"; // SOH, RLO, LS, e-acute
    std::string number(2000, '5');
    number.replace(3, 1, "%0A"); // an escaped line feed in the URI stays text
    const std::string from = "\"" + name + "\" <sip:" + number + "@127.0.0.1>;tag=h1";
    peer.send(invite(peer, "h1", audioSdp(), {}, {}, from,
                     "P-Asserted-Identity: \"Bank\" <sip:0800123@127.0.0.1>\r\n"));
    Event info = m_sink.waitFor([](const Event& e) { return e.kind == "info"; }, seconds(5));
    ASSERT_EQ(info.kind, "info");
    const std::string gotName = info.data.callerName.value_or("");
    const std::string gotNumber = info.data.callerNumber.value_or("");
    EXPECT_EQ(gotNumber.substr(0, 6), "555%0A");
    EXPECT_EQ(gotNumber.size(), 128u);
    EXPECT_EQ(gotName.substr(0, 16), "Mallory   \xc3\xa9Mall");
    EXPECT_EQ(QString::fromStdString(gotName).size(), 128);
    for (unsigned char c : gotName)
        EXPECT_GE(c, 0x20);
    EXPECT_EQ(gotName.find("\xe2\x80"), std::string::npos);
    EXPECT_EQ(m_line->drop(info.call, 3), 0);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, info.call);
}

// The caller hears ringing only once the program lets the call ring, or when it has not decided
// within the line's short wait; a call refused before that gets 603 straight after 100 Trying.
TEST_F(SipScreenTest, RingingWaitsForTheProgram)
{
    RawPeer peer(m_port);
    std::string current;
    // The responses to the current call until `until` (an earlier call's 603 may still come again).
    const auto codes = [&](const std::string& until) {
        std::vector<std::string> got;
        while (got.empty() || got.back() != until) {
            const std::string reply = peer.waitFor("SIP/2.0 ", seconds(5));
            if (reply.empty())
                break;
            if (reply.find("Call-ID: " + current + "@") != std::string::npos)
                got.push_back(reply.substr(8, 3));
        }
        return got;
    };
    CallId last = 0;
    const auto call = [&](const std::string& id) {
        current = id;
        peer.send(invite(peer, id, audioSdp()));
        Event offer =
            m_sink.waitFor([&](const Event& e) { return e.kind == "offer" && e.call > last; }, seconds(5));
        last = offer.call;
        return offer.call;
    };
    const auto gone = [&](CallId id) {
        return m_sink
                   .waitFor(
                       [&](const Event& e) {
                           return e.kind == "state" && e.a == LINECALLSTATE_IDLE && e.call == id;
                       },
                       seconds(5))
                   .call == id;
    };
    CallId refused = call("r1");
    ASSERT_NE(refused, 0u);
    ASSERT_EQ(m_line->drop(refused, 1), 0);
    EXPECT_EQ(codes("603"), (std::vector<std::string>{"100", "603"}));
    EXPECT_TRUE(gone(refused));

    CallId ringing = call("r2");
    ASSERT_EQ(m_line->accept(ringing, 2), 0);
    EXPECT_EQ(codes("180"), (std::vector<std::string>{"100", "180"}));
    ASSERT_EQ(m_line->drop(ringing, 3), 0);
    EXPECT_EQ(codes("603"), std::vector<std::string>{"603"});
    EXPECT_TRUE(gone(ringing));

    CallId undecided = call("r3");
    EXPECT_EQ(codes("180"), (std::vector<std::string>{"100", "180"})) << "nobody decided";
    ASSERT_EQ(m_line->answer(undecided, 4), 0);
    EXPECT_EQ(codes("200"), std::vector<std::string>{"200"});
    ASSERT_EQ(m_line->drop(undecided, 5), 0);
    EXPECT_TRUE(gone(undecided));
}

// An INVITE answered with 200 but never acknowledged ends when the 200's retransmissions give up
// (64*T1 = 32 s), and the line takes the next real call at once.
TEST_F(SipScreenTest, UnacknowledgedAnswerFreesTheLine)
{
    RawPeer peer(m_port);
    peer.send(invite(peer, "n1", audioSdp()));
    Event offer = m_sink.waitOffer(seconds(5));
    ASSERT_EQ(offer.kind, "offer");
    const auto answered = steady_clock::now();
    ASSERT_EQ(m_line->answer(offer.call, 1), 0);
    EXPECT_NE(peer.waitFor("SIP/2.0 200", seconds(3)), "");
    Event gone = m_sink.waitState(LINECALLSTATE_IDLE, seconds(40));
    ASSERT_EQ(gone.call, offer.call);
    auto after = duration_cast<seconds>(gone.at - answered).count();
    EXPECT_GE(after, 30);
    EXPECT_LE(after, 36);
    EXPECT_FALSE(sipLine().busy());
    expectRealCallGetsThrough();
}

// A caller behind a router: its offer names one RTP port, its media comes from another. Once its
// stream has run a while in sequence (and nothing came from the offer's port), the line's media
// follows it to where it came from (symmetric RTP).
TEST_F(SipScreenTest, MediaGoesWhereTheCallersMediaComesFrom)
{
    RawPeer peer(m_port);
    peer.send(invite(peer, "s1", audioSdp("m=audio 4000 RTP/AVP 0\r\n")));
    Event offer = m_sink.waitOffer(seconds(5));
    ASSERT_EQ(offer.kind, "offer");
    ASSERT_EQ(m_line->answer(offer.call, 1), 0);
    const std::string ok = peer.waitFor("SIP/2.0 200", seconds(3));
    const size_t media = ok.find("m=audio "), toAt = ok.find("\r\nTo: ");
    ASSERT_NE(media, std::string::npos) << ok;
    const auto rtpPort = static_cast<uint16_t>(std::stoi(ok.substr(media + 8)));
    const std::string to = ok.substr(toAt + 6, ok.find("\r\n", toAt + 2) - toAt - 6);
    peer.send("ACK sip:kalvo@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer.port()) +
              ";branch=z9hG4bK-s1a\r\nFrom: \"Raw\" <sip:777@127.0.0.1>;tag=r1\r\nTo: " + to +
              "\r\nCall-ID: s1@127.0.0.1\r\nCSeq: 1 ACK\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n");

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    addr.sin_port = htons(rtpPort);
    uint8_t packet[12 + 160];
    std::fill(std::begin(packet), std::end(packet), 0xff);
    for (uint8_t seq = 1; seq <= 25; ++seq) {
        const unsigned ts = seq * 160u;
        const uint8_t header[12] = {0x80,        0x00, 0,    seq,  0,   0, uint8_t(ts >> 8),
                                    uint8_t(ts), 0x12, 0x34, 0x56, 0x78};
        std::copy(std::begin(header), std::end(header), packet);
        ::sendto(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        std::this_thread::sleep_for(milliseconds(20));
    }
    timeval tv{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    uint8_t got[2000];
    const ssize_t n = ::recv(fd, got, sizeof got, 0);
    ::close(fd);
    ASSERT_GE(n, 12) << "no media came back to where the caller's came from";
    EXPECT_EQ(got[0] & 0xc0, 0x80);
    EXPECT_EQ(m_line->drop(offer.call, 2), 0);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, offer.call);
}

} // namespace
