// The SIP line's account against a real kamailio registrar on 127.0.0.1: digest registration, a
// call routed through the registrar, and wrong credentials that stop after two attempts.
#include "SipPeers.h"
#include "SipProvider.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kalvo::sip;
using namespace kalvo::sip::test;
using namespace kalvo::telephony;
using namespace std::chrono;

namespace {

class SipRegistrationTest : public ::testing::Test
{
protected:
    void openLine(uint16_t registrarPort, const std::string& password, const std::string& host = "127.0.0.1")
    {
        m_port = freePort();
        LineConfig config;
        config.name = "Account line";
        config.provider = "sip";
        config.keys = {{"listen", "127.0.0.1:" + std::to_string(m_port)},
                       {"rtp_ports", "40000-49998"},
                       {"registrar", "sip:" + host + ":" + std::to_string(registrarPort)},
                       {"user", "kalvo"},
                       {"auth_user", "kalvo"},
                       {"password", password},
                       {"display", "Kalvo"},
                       {"expires", "60"},
                       {"register_retry", "600"}};
        std::string error;
        m_line = m_provider.createLine(config, m_sink, error);
        ASSERT_TRUE(m_line) << error;
        m_line->open();
    }

    uint16_t m_port = 0;
    SipProvider m_provider;
    RecordingSink m_sink;
    std::unique_ptr<LineDevice> m_line;
};

// With the right password the line registers (in service), and a call to the account through the
// registrar reaches the line and connects; stopping the line removes its binding.
TEST_F(SipRegistrationTest, RegistersAndReceivesACallThroughTheRegistrar)
{
    Kamailio registrar("s3cret");
    openLine(registrar.port(), "s3cret");
    Event inService = m_sink.waitFor([](const Event& e) { return e.kind == "line"; }, seconds(10));
    ASSERT_EQ(inService.a, LINEDEVSTATE_INSERVICE) << registrar.log();

    Baresip caller("Via Registrar", "ivan@127.0.0.1>;regint=0", std::vector<int16_t>(20 * 8000, 0));
    caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(registrar.port()));
    Event offer = m_sink.waitOffer();
    ASSERT_EQ(offer.kind, "offer") << caller.log();
    EXPECT_EQ(offer.data.callerNumber.value_or("?"), "ivan");
    EXPECT_EQ(m_line->answer(offer.call, 1), 0);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_CONNECTED).call, offer.call);
    caller.hangUp();
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, offer.call);

    // A line that stops takes its binding away, so calls do not go to where nobody answers.
    m_line.reset();
    const std::string gone = "<sip:kalvo@127.0.0.1:" + std::to_string(m_port) + ">;expires=0";
    for (int i = 0; i < 100 && registrar.count(gone) == 0; ++i)
        std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(registrar.count(gone), 1u) << registrar.log();
}

// A registrar named by a host name (here the hosts file's localhost) is found by the system's
// resolver and registered with.
TEST_F(SipRegistrationTest, RegistrarNamedLocalhost)
{
    Kamailio registrar("s3cret");
    openLine(registrar.port(), "s3cret", "localhost");
    Event inService = m_sink.waitFor([](const Event& e) { return e.kind == "line"; }, seconds(10));
    ASSERT_EQ(inService.a, LINEDEVSTATE_INSERVICE) << registrar.log();
    EXPECT_GE(registrar.count("REGISTER from sip:kalvo@localhost"), 1u) << registrar.log();
}

// A wrong password is tried twice, reported as out of service, and not repeated in a loop.
TEST_F(SipRegistrationTest, RejectedTwiceStopsAndSaysSo)
{
    Kamailio registrar("right");
    openLine(registrar.port(), "wrong");
    Event state = m_sink.waitFor([](const Event& e) { return e.kind == "line"; }, seconds(10));
    EXPECT_EQ(state.a, LINEDEVSTATE_OUTOFSERVICE);
    size_t attempts = registrar.count("REGISTER from");
    std::this_thread::sleep_for(seconds(3));
    EXPECT_EQ(registrar.count("REGISTER from"), attempts);
    EXPECT_LE(attempts, 4u); // two attempts, each answering one challenge
    EXPECT_EQ(m_sink.count("line"), 1u);
}

} // namespace
