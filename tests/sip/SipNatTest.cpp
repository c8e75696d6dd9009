// The SIP line's account from behind a real masquerading router (network namespaces made by the
// test): the registrar learns the router's address from the line's Contact, a call through the
// registrar reaches the line, its answer names the router's address, and the audio gets through
// both ways. Needs root and nft; skipped otherwise.
#include "NatNetwork.h"
#include "SipPeers.h"
#include "SipProvider.h"
#include "WaveDeviceTable.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kalvo::sip;
using namespace kalvo::sip::test;
using namespace kalvo::telephony;
using namespace std::chrono;

namespace {

TEST(SipNatTest, CallThroughTheRegistrarReachesTheLineBehindTheRouter)
{
    NatNetwork net;
    if (!net.problem().empty())
        GTEST_SKIP() << "no home network behind a router here: " << net.problem();
    ASSERT_TRUE(net.enter(NatNetwork::Side::Internet));
    Kamailio registrar("s3cret", {}, {}, NatNetwork::kInternet);
    const std::string registrarUri =
        std::string("sip:") + NatNetwork::kInternet + ":" + std::to_string(registrar.port());

    // The line and its SIP thread live at home; everything else on the internet side.
    ASSERT_TRUE(net.enter(NatNetwork::Side::Home));
    const uint16_t port = freePort(true);
    SipProvider provider;
    RecordingSink sink;
    LineConfig config;
    config.name = "Home line";
    config.provider = "sip";
    config.keys = {{"listen", std::string(NatNetwork::kHome) + ":" + std::to_string(port)},
                   {"rtp_ports", "40000-49998"},
                   {"registrar", registrarUri},
                   {"user", "kalvo"},
                   {"password", "s3cret"},
                   {"expires", "60"}};
    std::string error;
    std::unique_ptr<LineDevice> line = provider.createLine(config, sink, error);
    ASSERT_TRUE(line) << error;
    line->open();
    ASSERT_TRUE(net.enter(NatNetwork::Side::Internet));

    ASSERT_EQ(sink.waitFor([](const Event& e) { return e.kind == "line"; }, seconds(10)).a,
              LINEDEVSTATE_INSERVICE)
        << registrar.log();
    // The first REGISTER names the home address; the registrar's answer shows the router's, and
    // the binding moves there.
    const std::string moved = std::string("contact=<sip:kalvo@") + NatNetwork::kPublic + ":";
    for (int i = 0; i < 100 && registrar.count(moved) == 0; ++i)
        std::this_thread::sleep_for(milliseconds(50));
    EXPECT_NE(registrar.log().find(std::string(",<sip:kalvo@") + NatNetwork::kHome + ":" +
                                   std::to_string(port) + ">;expires=0"),
              std::string::npos)
        << registrar.log();

    std::vector<int16_t> voice(4000, 0);
    std::vector<int16_t> speech = tone(700, 3.0, 9000);
    voice.insert(voice.end(), speech.begin(), speech.end());
    Baresip caller("Far Away", std::string("ivan@") + NatNetwork::kInternet + ">;regint=0", voice, {},
                   NatNetwork::kInternet);
    caller.dial(std::string("sip:kalvo@") + NatNetwork::kInternet + ":" + std::to_string(registrar.port()));
    Event offer = sink.waitOffer();
    ASSERT_EQ(offer.kind, "offer") << caller.log() << registrar.log();
    auto& devices = kalvo::wave::WaveDeviceTable::instance();
    auto waveIn = devices.find(kalvo::wave::WaveDirection::In, line->waveDevices().waveIn);
    auto waveOut = devices.find(kalvo::wave::WaveDirection::Out, line->waveDevices().waveOut);
    auto recorder = std::make_shared<VectorSink>();
    ASSERT_EQ(waveIn->startInput({8000, 1}, recorder), 0);
    EXPECT_EQ(line->answer(offer.call, 1), 0);
    ASSERT_EQ(sink.waitState(LINECALLSTATE_CONNECTED).call, offer.call) << caller.log() << registrar.log();
    ASSERT_EQ(waveOut->startOutput({8000, 1}, std::make_shared<VectorSource>(tone(1000, 2.0, 9000))), 0);
    std::this_thread::sleep_for(milliseconds(2800));
    caller.hangUp();
    EXPECT_EQ(sink.waitState(LINECALLSTATE_IDLE).call, offer.call);
    waveOut->stop();
    waveIn->stop();

    EXPECT_NE(registrar.log().find(std::string("c=IN IP4 ") + NatNetwork::kPublic), std::string::npos)
        << registrar.log();
    EXPECT_GT(share(recorder->samples(), 700), 0.3) << "the caller's voice is in the recording";
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_GT(share(caller.heard(), 1000), 0.3) << "the caller heard the greeting";
    line.reset();
}

} // namespace
