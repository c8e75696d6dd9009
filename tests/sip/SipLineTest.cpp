// The SIP line against a real baresip calling on 127.0.0.1: call states, rings, caller id, media both
// ways, digits, hang-up from either side, abandon, busy and the lost peer.
#include "SipLine.h"
#include "SipPeers.h"
#include "SipProvider.h"
#include "WaveDeviceTable.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace kalvo::sip;
using namespace kalvo::sip::test;
using namespace kalvo::telephony;
using namespace std::chrono;

namespace {

// A rising sweep: unlike a steady tone it lines up with a copy of itself at one shift only.
std::vector<int16_t> sweep(double from, double to, double seconds)
{
    std::vector<int16_t> out(static_cast<size_t>(seconds * 8000));
    double k = (to - from) / seconds;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / 8000.0;
        out[i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * (from * t + k * t * t / 2)));
    }
    return out;
}

std::vector<int16_t> withSilence(std::vector<int16_t> lead, double before, double after)
{
    std::vector<int16_t> out(static_cast<size_t>(before * 8000), 0);
    out.insert(out.end(), lead.begin(), lead.end());
    out.insert(out.end(), static_cast<size_t>(after * 8000), 0);
    return out;
}

// Normalised correlation of a against b from offset on (0 when b is too short).
double correlationAt(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t offset)
{
    if (offset + a.size() > b.size())
        return 0;
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double x = a[i], y = b[offset + i];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// True when sent turns up in got altered by no more than G.711 alters it. sent is taken in ten
// pieces, each found near where the one before ended: a packet that came too late for the jitter
// buffer leaves a 20 ms gap (a timing loss, counted by the line), which may spoil one piece.
::testing::AssertionResult containsFaithfully(const std::vector<int16_t>& got,
                                              const std::vector<int16_t>& sent)
{
    const size_t piece = sent.size() / 10, slack = 480;
    if (got.size() < sent.size())
        return ::testing::AssertionFailure() << "only " << got.size() << " samples";
    std::vector<int16_t> first(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(piece));
    double best = -1;
    size_t at = 0;
    for (size_t offset = 0; offset + piece <= got.size(); ++offset)
        if (double c = correlationAt(first, got, offset); c > best)
            best = c, at = offset;
    int poor = best < 0.97;
    std::string detail = " " + std::to_string(best);
    for (size_t p = 1; p < 10; ++p) {
        std::vector<int16_t> part(sent.begin() + static_cast<std::ptrdiff_t>(p * piece),
                                  sent.begin() + static_cast<std::ptrdiff_t>((p + 1) * piece));
        size_t expected = at + piece, from = expected > slack ? expected - slack : 0;
        double pieceBest = -1;
        for (size_t offset = from; offset <= expected + slack; ++offset)
            if (double c = correlationAt(part, got, offset); c > pieceBest)
                pieceBest = c, at = offset;
        poor += pieceBest < 0.97;
        detail += " " + std::to_string(pieceBest);
    }
    if (poor > 1)
        return ::testing::AssertionFailure() << poor << " of 10 pieces differ:" << detail;
    return ::testing::AssertionSuccess();
}

class SipLineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_port = freePort();
        ASSERT_NE(m_port, 0);
    }

    void openLine(std::map<std::string, std::string> extra = {})
    {
        LineConfig config;
        config.deviceId = 0;
        config.name = "Test SIP line";
        config.provider = "sip";
        config.keys = {{"listen", "127.0.0.1:" + std::to_string(m_port)},
                       {"ring_interval", "0.4"},
                       {"rtp_ports", "40000-49998"}};
        for (auto& [k, v] : extra)
            config.keys[k] = v;
        std::string error;
        m_line = m_provider.createLine(config, m_sink, error);
        ASSERT_TRUE(m_line) << error;
        m_line->open();
    }

    std::string lineUri() const { return "sip:kalvo@127.0.0.1:" + std::to_string(m_port); }

    // Waits for the offer and answers it; returns the call id.
    CallId answerCall()
    {
        Event offer = m_sink.waitOffer();
        EXPECT_EQ(offer.kind, "offer");
        EXPECT_EQ(m_line->answer(offer.call, 7), 0);
        EXPECT_EQ(m_sink.waitState(LINECALLSTATE_CONNECTED).call, offer.call);
        return offer.call;
    }

    std::shared_ptr<kalvo::wave::WaveDevice> device(bool out)
    {
        auto ids = m_line->waveDevices();
        return out ? kalvo::wave::WaveDeviceTable::instance().find(kalvo::wave::WaveDirection::Out,
                                                                   ids.waveOut)
                   : kalvo::wave::WaveDeviceTable::instance().find(kalvo::wave::WaveDirection::In,
                                                                   ids.waveIn);
    }

    // Records the line's wave-in into m_recorder until the test stops m_waveIn; startInput's result.
    int record()
    {
        m_waveIn = device(false);
        return m_waveIn->startInput({8000, 1}, m_recorder);
    }

    uint16_t m_port = 0;
    SipProvider m_provider;
    RecordingSink m_sink;
    std::unique_ptr<LineDevice> m_line;
    std::shared_ptr<kalvo::wave::WaveDevice> m_waveIn;
    std::shared_ptr<VectorSink> m_recorder = std::make_shared<VectorSink>();
};

// The caller's name and number arrive after OFFERING, rings follow at the interval, answering
// connects, audio flows both ways unchanged but for G.711, and the caller's hang-up ends the call.
TEST_F(SipLineTest, AnsweredCallCarriesCallerIdRingsAndAudioBothWays)
{
    openLine();
    std::vector<int16_t> voice = sweep(300, 3000, 1.0);
    Baresip caller("Alice Caller", "5551234@127.0.0.1>;regint=0", withSilence(voice, 0.5, 20));
    ASSERT_EQ(record(), 0);

    caller.dial(lineUri());
    Event offer = m_sink.waitOffer();
    ASSERT_EQ(offer.kind, "offer") << caller.log();
    Event info = m_sink.waitFor([](const Event& e) { return e.kind == "info"; }, seconds(2));
    EXPECT_EQ(info.call, offer.call);
    EXPECT_EQ(info.a, LINECALLINFOSTATE_CALLERID);
    EXPECT_EQ(info.data.callerNumber.value_or("?"), "5551234");
    EXPECT_EQ(info.data.callerName.value_or("?"), "Alice Caller");
    Event third = m_sink.waitFor([](const Event& e) { return e.kind == "ring" && e.a == 3; }, seconds(5));
    ASSERT_EQ(third.kind, "ring");
    Event first = m_sink.waitFor([](const Event& e) { return e.kind == "ring" && e.a == 1; }, seconds(1));
    auto spacing = duration_cast<milliseconds>(third.at - first.at).count();
    EXPECT_NEAR(spacing, 800, 150);
    EXPECT_LT(duration_cast<milliseconds>(first.at - offer.at).count(), 100); // the first ring at once
    EXPECT_TRUE(caller.waitLog("180 Ringing", seconds(2)));

    EXPECT_EQ(m_line->answer(offer.call, 7), 0);
    Event connected = m_sink.waitState(LINECALLSTATE_CONNECTED);
    ASSERT_EQ(connected.call, offer.call);
    Event reply = m_sink.waitFor([](const Event& e) { return e.kind == "reply"; }, seconds(1));
    EXPECT_EQ(reply.a, 7u);
    EXPECT_EQ(reply.b, 0u);
    EXPECT_EQ(m_line->answer(offer.call, 8), LINEERR_INVALCALLSTATE); // answered already

    std::vector<int16_t> greeting = sweep(3000, 400, 1.5);
    auto waveOut = device(true);
    ASSERT_EQ(waveOut->startOutput({8000, 1}, std::make_shared<VectorSource>(greeting)), 0);
    std::this_thread::sleep_for(milliseconds(2500));
    EXPECT_EQ(waveOut->framesProcessed(), greeting.size()); // every frame played, and no more
    waveOut->stop();

    caller.hangUp();
    Event disconnected = m_sink.waitState(LINECALLSTATE_DISCONNECTED);
    EXPECT_EQ(disconnected.call, offer.call);
    EXPECT_EQ(disconnected.b, LINEDISCONNECTMODE_NORMAL);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, offer.call);
    m_waveIn->stop();

    // What was recorded is what the caller sent, and what the caller heard is what was played
    // (each found anywhere in the stream, since call set-up delays both).
    EXPECT_TRUE(containsFaithfully(m_recorder->samples(), voice));
    caller.hangUp();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_TRUE(containsFaithfully(caller.heard(), greeting));
    // Rings stop once answered.
    size_t rings = m_sink.count("ring");
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(m_sink.count("ring"), rings);
}

// A caller preferring PCMA is answered in PCMA and its audio still arrives intact.
TEST_F(SipLineTest, PcmaCallerIsRecordedFaithfully)
{
    openLine();
    std::vector<int16_t> voice = sweep(500, 2500, 1.0);
    Baresip caller("", "bob@127.0.0.1>;regint=0;audio_codecs=PCMA", withSilence(voice, 0.5, 20));
    ASSERT_EQ(record(), 0);
    caller.dial(lineUri());
    Event offer = m_sink.waitOffer();
    ASSERT_EQ(offer.kind, "offer");
    Event info = m_sink.waitFor([](const Event& e) { return e.kind == "info"; }, seconds(2));
    EXPECT_EQ(info.data.callerNumber.value_or("?"), "bob");
    EXPECT_FALSE(info.data.callerName.has_value()); // no display name: the flag stays clear
    ASSERT_EQ(m_line->answer(offer.call, 1), 0);
    ASSERT_EQ(m_sink.waitState(LINECALLSTATE_CONNECTED).call, offer.call);
    EXPECT_TRUE(caller.waitLog("Set audio decoder: PCMA", seconds(2)));
    std::this_thread::sleep_for(milliseconds(2000));
    EXPECT_EQ(m_line->drop(offer.call, 2), 0);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, offer.call);
    m_waveIn->stop();
    EXPECT_TRUE(containsFaithfully(m_recorder->samples(), voice));
    // Our hang-up reached the caller.
    EXPECT_TRUE(caller.waitLog("terminated", seconds(3)));
}

// Keys pressed at the caller arrive once each as RFC 4733 events, keys sent by the line reach the
// caller, and a generate request ends with LINE_GENERATE.
TEST_F(SipLineTest, TelephoneEventsBothWays)
{
    openLine();
    Baresip caller("", "carol@127.0.0.1>;regint=0", withSilence({}, 0, 20));
    caller.dial(lineUri());
    CallId call = answerCall();
    ASSERT_NE(call, 0u);
    EXPECT_EQ(m_line->monitorDigits(call, LINEDIGITMODE_DTMF), 0);
    for (const char* key : {"1", "2", "#", "2"}) {
        caller.console(key);
        std::this_thread::sleep_for(milliseconds(300));
    }
    m_sink.waitFor(
        [](const Event& e) { return e.kind == "digit" && e.b == LINEDIGITMODE_DTMFEND && e.a == '2'; },
        seconds(3));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(m_sink.digits(LINEDIGITMODE_DTMF), "12#2");

    EXPECT_EQ(m_line->generateDigits(call, "5x9", LINEDIGITMODE_DTMF, 0), 0);
    Event done = m_sink.waitFor([](const Event& e) { return e.kind == "generated"; }, seconds(5));
    EXPECT_EQ(done.a, LINEGENERATETERM_DONE);
    EXPECT_TRUE(caller.waitLog("received event: '9'", seconds(2)));
    EXPECT_NE(caller.log().find("received event: '5'"), std::string::npos);
    EXPECT_EQ(m_line->generateDigits(call, "1", LINEDIGITMODE_PULSE, 0), LINEERR_INVALDIGITMODE);
}

// Touch tones inside the caller's audio are detected once per key while monitoring is on.
TEST_F(SipLineTest, InBandTonesAreDetected)
{
    openLine();
    Baresip caller("", "dave@127.0.0.1>;regint=0", withSilence(dtmfTones("47*"), 1.0, 20));
    caller.dial(lineUri());
    CallId call = answerCall();
    ASSERT_NE(call, 0u);
    EXPECT_EQ(m_line->monitorDigits(call, LINEDIGITMODE_DTMF), 0);
    m_sink.waitFor([](const Event& e) { return e.kind == "digit" && e.a == '*'; }, seconds(5));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(m_sink.digits(LINEDIGITMODE_DTMF), "47*");
}

// A caller who hangs up while it rings abandons the call: DISCONNECTED and IDLE, no CONNECTED, and
// the rings stop.
TEST_F(SipLineTest, AbandonWhileRinging)
{
    openLine();
    Baresip caller("", "erin@127.0.0.1>;regint=0", withSilence({}, 0, 20));
    caller.dial(lineUri());
    ASSERT_EQ(m_sink.waitFor([](const Event& e) { return e.kind == "ring" && e.a == 2; }, seconds(10)).kind,
              "ring");
    caller.hangUp();
    Event idle = m_sink.waitState(LINECALLSTATE_IDLE);
    EXPECT_NE(idle.call, 0u);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_DISCONNECTED, milliseconds(10)).call, idle.call);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_CONNECTED, milliseconds(10)).kind, "");
    size_t rings = m_sink.count("ring");
    std::this_thread::sleep_for(milliseconds(900));
    EXPECT_EQ(m_sink.count("ring"), rings);
    EXPECT_EQ(m_line->answer(idle.call, 3), LINEERR_INVALCALLHANDLE);
}

// A second caller gets 486 Busy Here while a call exists, and the line reports nothing of it; a
// call dropped while still offered is refused with a final response.
TEST_F(SipLineTest, SecondCallIsBusyAndOfferedCallCanBeRefused)
{
    openLine();
    Baresip first("", "frank@127.0.0.1>;regint=0", withSilence({}, 0, 20));
    Baresip second("", "grace@127.0.0.1>;regint=0", withSilence({}, 0, 20));
    first.dial(lineUri());
    Event offer = m_sink.waitOffer();
    ASSERT_EQ(offer.kind, "offer");
    second.dial(lineUri());
    EXPECT_TRUE(second.waitLog("486 Busy Here", seconds(5))) << second.log();
    EXPECT_EQ(m_sink.count("offer"), 1u);

    EXPECT_EQ(m_line->drop(offer.call, 11), 0);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, offer.call);
    EXPECT_TRUE(first.waitLog("603 Decline", seconds(5))) << first.log();
    Event reply = m_sink.waitFor([](const Event& e) { return e.kind == "reply" && e.a == 11; }, seconds(1));
    EXPECT_EQ(reply.b, 0u);
    EXPECT_EQ(m_line->drop(offer.call, 12), LINEERR_INVALCALLHANDLE);
}

// A connected caller that goes silent on the wire (frozen, no BYE) counts as hung up.
TEST_F(SipLineTest, SilentPeerEndsTheCall)
{
    openLine({{"rtp_timeout", "1.5"}});
    Baresip caller("", "heidi@127.0.0.1>;regint=0", withSilence({}, 0, 20));
    caller.dial(lineUri());
    CallId call = answerCall();
    ASSERT_NE(call, 0u);
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_DISCONNECTED, milliseconds(100)).kind, "");
    ::kill(caller.pid(), SIGSTOP);
    Event disconnected = m_sink.waitState(LINECALLSTATE_DISCONNECTED, seconds(5));
    EXPECT_EQ(disconnected.call, call);
    EXPECT_EQ(disconnected.b, LINEDISCONNECTMODE_UNAVAIL);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, call);
}

// A stranger spraying G.711 at the line's media ports, before the call and all through it, never
// reaches the message, and the caller still hears the greeting: the caller's SDP address wins.
TEST_F(SipLineTest, StrangersMediaNeverTakesTheCall)
{
    const uint16_t rtp = static_cast<uint16_t>(30000 + (m_port % 2000) * 2);
    openLine({{"rtp_ports", std::to_string(rtp) + "-" + std::to_string(rtp + 2)}});
    const int stranger = ::socket(AF_INET, SOCK_DGRAM, 0);
    std::atomic<bool> spraying{true};
    std::thread sprayer([&] {
        for (uint16_t seq = 0; spraying; ++seq) {
            uint8_t packet[12 + 160] = {0x80,
                                        0x00,
                                        uint8_t(seq >> 8),
                                        uint8_t(seq),
                                        0,
                                        0,
                                        uint8_t(seq >> 8),
                                        uint8_t(seq),
                                        0x12,
                                        0x34,
                                        0x56,
                                        0x78};
            for (size_t i = 0; i < 160; ++i)
                packet[12 + i] = (i / 4) % 2 ? 0x00 : 0x80; // a loud 1000 Hz square wave in PCMU
            for (uint16_t port = rtp; port <= rtp + 2; ++port) {
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(port);
                to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                ::sendto(stranger, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
    });
    std::this_thread::sleep_for(milliseconds(300));
    Baresip caller("", "mallory@127.0.0.1>;regint=0", withSilence(tone(700, 2.0, 9000), 0.5, 20));
    ASSERT_EQ(record(), 0);
    caller.dial(lineUri());
    ASSERT_NE(answerCall(), 0u) << caller.log();
    const std::vector<int16_t> greeting = tone(400, 1.5, 8000);
    ASSERT_EQ(device(true)->startOutput({8000, 1}, std::make_shared<VectorSource>(greeting)), 0);
    std::this_thread::sleep_for(milliseconds(3000));
    caller.hangUp();
    m_sink.waitState(LINECALLSTATE_IDLE);
    spraying = false;
    sprayer.join();
    ::close(stranger);
    m_waveIn->stop();
    const std::vector<int16_t> message = m_recorder->samples();
    EXPECT_LT(share(message, 1000), 0.01);
    EXPECT_GT(share(message, 700), 0.3);
    EXPECT_GT(share(caller.heard(), 400), 0.3);
}

// A line listening on every address answers a call on loopback with loopback in its SDP.
TEST_F(SipLineTest, WildcardListenerOffersTheArrivalAddress)
{
    openLine({{"listen", "0.0.0.0:" + std::to_string(m_port)}});
    Baresip caller("", "judy@127.0.0.1>;regint=0", withSilence({}, 0, 20));
    caller.dial(lineUri());
    CallId call = answerCall();
    ASSERT_NE(call, 0u);
    EXPECT_TRUE(caller.waitLog("receiving from 127.0.0.1", seconds(3))) << caller.log();
    EXPECT_EQ(m_line->drop(call, 5), 0);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, call);
}

// The caller puts the call on hold and resumes it with re-INVITEs: the call stays up and keys
// still arrive afterwards.
TEST_F(SipLineTest, HoldAndResumeKeepTheCall)
{
    openLine({{"rtp_timeout", "5"}});
    Baresip caller("", "kim@127.0.0.1>;regint=0", withSilence({}, 0, 20));
    caller.dial(lineUri());
    CallId call = answerCall();
    ASSERT_NE(call, 0u);
    caller.console("/hold");
    EXPECT_TRUE(caller.waitLog("call: hold", seconds(3))) << caller.log();
    std::this_thread::sleep_for(milliseconds(1500));
    caller.console("/resume");
    std::this_thread::sleep_for(milliseconds(500));
    caller.console("7");
    Event key = m_sink.waitFor([](const Event& e) { return e.kind == "digit"; }, seconds(3));
    EXPECT_EQ(key.a, static_cast<DWORD>('7')) << caller.log();
    EXPECT_EQ(m_sink.count("state"), 1u); // CONNECTED only
    EXPECT_EQ(caller.log().find("could not decode"), std::string::npos);
}

// An outgoing call reports its progress and connects when the far end answers; the far end's
// hang-up ends it.
TEST_F(SipLineTest, OutgoingCallConnects)
{
    openLine();
    Baresip callee("", "lena@127.0.0.1>;regint=0;answermode=auto", withSilence({}, 0, 20));
    ASSERT_EQ(m_line->makeCall(42, "lena@127.0.0.1:" + std::to_string(callee.sipPort()), 9), 0);
    EXPECT_EQ(m_line->makeCall(43, "sip:other@127.0.0.1", 10), LINEERR_CALLUNAVAIL); // one call per line
    Event reply = m_sink.waitFor([](const Event& e) { return e.kind == "reply" && e.a == 9; }, seconds(3));
    EXPECT_EQ(reply.b, 0u);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_DIALING).call, 42u);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_CONNECTED).call, 42u) << callee.log();
    callee.hangUp();
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_DISCONNECTED).call, 42u);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, 42u);
}

// OPTIONS is answered with 200 OK, and garbage on the SIP port is survived.
TEST_F(SipLineTest, OptionsAndGarbage)
{
    openLine();
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(m_port);
    timeval timeout{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    for (std::string junk : {std::string("\x00\x01garbage\r\n\r\n", 13),
                             std::string("INVITE sip:x SIP/2.0\r\n\r\n"), std::string(3000, 'A')})
        ::sendto(fd, junk.data(), junk.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    sockaddr_in self{};
    socklen_t len = sizeof self;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &len);
    int port = ntohs(self.sin_port);
    std::string options =
        "OPTIONS sip:kalvo@127.0.0.1 SIP/2.0\r\n"
        "Via: SIP/2.0/UDP 127.0.0.1:" +
        std::to_string(port) +
        ";branch=z9hG4bK-opt1\r\n"
        "From: <sip:probe@127.0.0.1>;tag=1\r\nTo: <sip:kalvo@127.0.0.1>\r\n"
        "Call-ID: opt-1@127.0.0.1\r\nCSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n";
    ::sendto(fd, options.data(), options.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    char buffer[2000];
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)).rfind("SIP/2.0 200 OK", 0), 0u);
    EXPECT_EQ(m_sink.count("offer"), 0u);
}

// A line whose port is taken at start says so (out of service, with the reason), keeps trying, and
// comes into service by itself once the port is free: the next caller is offered.
TEST_F(SipLineTest, PortInUseAtStartRecoversWhenFreed)
{
    int blocker = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(m_port);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    openLine();
    auto& line = static_cast<SipLine&>(*m_line);
    Event out = m_sink.waitFor([](const Event& e) { return e.kind == "line"; }, seconds(2));
    EXPECT_EQ(out.a, LINEDEVSTATE_OUTOFSERVICE);
    EXPECT_FALSE(line.listening());
    EXPECT_NE(line.startError().find("Address already in use"), std::string::npos) << line.startError();
    std::string reason;
    EXPECT_FALSE(line.inService(reason));
    EXPECT_EQ(reason, line.startError());
    EXPECT_EQ(m_line->makeCall(5, "sip:x@127.0.0.1", 1), LINEERR_OPERATIONFAILED);
    std::this_thread::sleep_for(milliseconds(1000));
    ::close(blocker);
    Event in =
        m_sink.waitFor([](const Event& e) { return e.kind == "line" && e.a == LINEDEVSTATE_INSERVICE; },
                       seconds(SipLine::kStartRetryMs / 1000 + 3));
    ASSERT_EQ(in.a, LINEDEVSTATE_INSERVICE);
    EXPECT_TRUE(line.listening());
    EXPECT_EQ(line.startError(), "");
    EXPECT_TRUE(line.inService(reason));
    Baresip caller("", "nina@127.0.0.1>;regint=0", withSilence({}, 0, 20));
    caller.dial(lineUri());
    CallId call = answerCall();
    EXPECT_NE(call, 0u);
}

} // namespace
