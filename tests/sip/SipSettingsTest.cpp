// The SIP line settings: defaults, every key, and the values that must be refused.
#include "SipSettings.h"
#include "SipAddress.h"

#include <gtest/gtest.h>

using kalvo::sip::SipSettings;
using kalvo::telephony::LineConfig;

namespace {

bool parse(std::map<std::string, std::string> keys, SipSettings& out, std::string& error)
{
    LineConfig config;
    config.keys = std::move(keys);
    return SipSettings::parse(config, out, error);
}

// An empty section gives the documented defaults.
TEST(SipSettingsTest, Defaults)
{
    SipSettings s;
    std::string error;
    ASSERT_TRUE(parse({}, s, error));
    EXPECT_EQ(s.listenAddress(), "0.0.0.0:5060");
    EXPECT_EQ(s.ringIntervalMs, 6000u);
    EXPECT_EQ(s.rtpTimeoutMs, 60000u);
    EXPECT_FALSE(s.tcp);
    EXPECT_TRUE(s.registrar.empty());
}

// Every key is read, and auth_user falls back to user.
TEST(SipSettingsTest, EveryKey)
{
    SipSettings s;
    std::string error;
    ASSERT_TRUE(parse({{"listen", "[::1]:5070"},
                       {"tcp", "yes"},
                       {"ring_interval", "2.5"},
                       {"rtp_ports", "20000-20100"},
                       {"rtp_timeout", "30"},
                       {"jitter_buffer", "1-6"},
                       {"registrar", "sip:pbx.example:5080"},
                       {"user", "201"},
                       {"password", "pw"},
                       {"display", "Front desk"},
                       {"expires", "600"},
                       {"register_retry", "120"}},
                      s, error))
        << error;
    EXPECT_EQ(s.listenHost, "::1");
    EXPECT_EQ(s.listenAddress(), "[::1]:5070");
    EXPECT_TRUE(s.tcp);
    EXPECT_EQ(s.ringIntervalMs, 2500u);
    EXPECT_EQ(s.rtpPortMin, 20000);
    EXPECT_EQ(s.rtpPortMax, 20100);
    EXPECT_EQ(s.jitterMinFrames, 1u);
    EXPECT_EQ(s.jitterMaxFrames, 6u);
    EXPECT_EQ(s.authUser, "201");
    EXPECT_EQ(s.expires, 600u);
    EXPECT_EQ(s.registerRetryMs, 120000u);
}

// A malformed number, range or address costs only its key: the line keeps that key's default, and
// the warning names the file, the section, the key and the value. An account without a user
// cannot work at all and is refused.
TEST(SipSettingsTest, BadValueKeepsItsDefaultAndIsNamed)
{
    const SipSettings defaults;
    for (auto [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"listen", "127.0.0.1"},
                                                          {"listen", "127.0.0.1:0"},
                                                          {"listen", "host:99999"},
                                                          {"listen", "[::1"},
                                                          {"ring_interval", "0"},
                                                          {"ring_interval", "0.0001"},
                                                          {"rtp_ports", "30000"},
                                                          {"rtp_ports", "40000-30000"},
                                                          {"rtp_ports", "80-90"},
                                                          {"expires", "5"},
                                                          {"rtp_timeout", "-1"},
                                                          {"jitter_buffer", "99-1"},
                                                          {"transport", "sctp"},
                                                          {"keepalive", "-3"},
                                                          {"registrar", "sip:"},
                                                          {"outbound_proxy", "pbx:5060"},
                                                          {"stun_server", "u@stun:3478"}}) {
        LineConfig config;
        config.deviceId = 2;
        config.name = "Office";
        config.configPath = "/home/u/.config/kalvo/telephony.conf";
        config.keys = {{key, value}};
        SipSettings s;
        std::string error;
        ASSERT_TRUE(SipSettings::parse(config, s, error)) << key << "=" << value << ": " << error;
        ASSERT_EQ(s.warnings.size(), 1u) << key << "=" << value;
        EXPECT_EQ(s.warnings[0], "/home/u/.config/kalvo/telephony.conf [Line2] \"Office\": bad value for " +
                                     key + ": \"" + value + "\"; the line uses its default");
        EXPECT_EQ(s.listenAddress(), defaults.listenAddress());
        EXPECT_EQ(s.ringIntervalMs, defaults.ringIntervalMs);
        EXPECT_EQ(s.rtpPortMin, defaults.rtpPortMin);
        EXPECT_EQ(s.jitterMaxFrames, defaults.jitterMaxFrames);
        EXPECT_EQ(s.keepaliveSeconds, defaults.keepaliveSeconds);
        EXPECT_TRUE(s.registrar.empty() && s.outboundProxy.empty() && s.stunServer.empty());
    }
    SipSettings s;
    std::string error;
    EXPECT_FALSE(parse({{"registrar", "sip:pbx.example"}}, s, error)); // an account needs a user
}

// One reading of server addresses for every use: scheme, user, IPv6 in brackets (or bare, without
// a port), port, transport parameter; and the forms that go back into URIs.
TEST(SipSettingsTest, ServerAddresses)
{
    using kalvo::sip::SipAddress;
    SipAddress a;
    ASSERT_TRUE(SipAddress::parse("sips:alice@[2001:db8::1]:5071;lr;Transport=TLS", a));
    EXPECT_EQ(a.host, "2001:db8::1");
    EXPECT_EQ(a.port, 5071);
    EXPECT_EQ(a.transport, "tls");
    EXPECT_EQ(a.user, "alice");
    EXPECT_TRUE(a.secure && a.numeric());
    EXPECT_EQ(a.hostPort(), "[2001:db8::1]:5071");
    ASSERT_TRUE(SipAddress::parse("::1", a));
    EXPECT_EQ(a.uriHost(), "[::1]");
    EXPECT_EQ(a.port, 0);
    ASSERT_TRUE(SipAddress::parse("<sip:pbx.home.arpa>", a));
    EXPECT_EQ(a.hostPort(), "pbx.home.arpa");
    EXPECT_FALSE(a.numeric());
    EXPECT_EQ(a.portOr(true), 5061);
    ASSERT_TRUE(SipAddress::parse("stun.example:3479", a));
    EXPECT_EQ(a.port, 3479);
    for (const char* bad : {"", "sip:", "sip:u@", "[::1]x", "host:", "host:0", "host:65536", "a b"})
        EXPECT_FALSE(SipAddress::parse(bad, a)) << bad;
}

} // namespace

namespace {

// The account's transport: tcp also listens on TCP, the registrar URI names the transport, TLS
// options are read, and combinations that cannot work are refused: keys for encrypted media over
// plain SIP, a certificate without its key, an unknown transport.
TEST(SipSettingsTest, TransportAndEncryption)
{
    SipSettings s;
    std::string error;
    ASSERT_TRUE(
        parse({{"transport", "tcp"}, {"registrar", "sip:pbx.example:5080"}, {"user", "u"}}, s, error));
    EXPECT_TRUE(s.tcp);
    EXPECT_EQ(s.registrarUri(), "sip:pbx.example:5080;transport=tcp");
    EXPECT_EQ(s.registrarHost(), "pbx.example");

    ASSERT_TRUE(parse({{"transport", "tls"},
                       {"registrar", "[2001:db8::1]"},
                       {"user", "u"},
                       {"srtp", "mandatory"},
                       {"tls_ca", "/etc/ca.pem"},
                       {"tls_verify", "no"}},
                      s, error))
        << error;
    EXPECT_EQ(s.srtp, SipSettings::Srtp::Mandatory);
    EXPECT_FALSE(s.tlsVerify);
    EXPECT_FALSE(s.tcp);
    EXPECT_EQ(s.registrarUri(), "sip:[2001:db8::1];transport=tls");
    EXPECT_EQ(s.registrarHost(), "2001:db8::1");

    EXPECT_FALSE(parse({{"srtp", "optional"}}, s, error));
    EXPECT_EQ(error, "srtp needs transport = tls");
    EXPECT_FALSE(parse({{"transport", "tls"}, {"tls_cert", "/a.pem"}}, s, error));
    EXPECT_EQ(error, "tls_cert and tls_key go together");
}

} // namespace
