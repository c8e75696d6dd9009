// The SIP line's account over TCP and TLS against a real kamailio with a test authority: it
// registers and a call from baresip through the registrar is answered and recorded; a registrar
// whose certificate is for another host, has expired or comes from an unknown authority is refused
// with that reason, and no request goes to it unencrypted.
#include "SipPeers.h"
#include "SipProvider.h"
#include "TestAuthority.h"
#include "TestSupport.h"
#include "WaveDeviceTable.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <arpa/inet.h>
#include <cmath>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kalvo::sip;
using namespace kalvo::sip::test;
using namespace kalvo::telephony;
using namespace std::chrono;

namespace {

class SipTlsTest : public ::testing::Test
{
protected:
    void openLine(std::map<std::string, std::string> keys)
    {
        m_port = freePort(true);
        LineConfig config;
        config.name = "Account line";
        config.provider = "sip";
        config.keys = {{"listen", "127.0.0.1:" + std::to_string(m_port)},
                       {"rtp_ports", "40000-49998"},
                       {"user", "kalvo"},
                       {"password", "s3cret"},
                       {"expires", "60"}};
        for (auto& [k, v] : keys)
            config.keys[k] = v;
        std::string error;
        m_line = m_provider.createLine(config, m_sink, error);
        ASSERT_TRUE(m_line) << error;
        m_line->open();
    }

    void openTlsLine(Kamailio& registrar, const std::string& srtp)
    {
        openLine({{"transport", "tls"},
                  {"srtp", srtp},
                  {"registrar", "sip:127.0.0.1:" + std::to_string(registrar.tlsPort())},
                  {"tls_ca", m_authority.caFile()},
                  {"tls_cert", m_authority.issue("line", "127.0.0.1")},
                  {"tls_key", m_authority.keyFile("line")}});
    }

    // The line's first report on its account, and the reason it gives when out of service.
    std::string accountState()
    {
        Event state = m_sink.waitFor([](const Event& e) { return e.kind == "line"; }, seconds(15));
        if (state.kind.empty())
            return "no report";
        std::string reason;
        return m_line->inService(reason) ? "in service" : reason;
    }

    // A call from baresip to the account through the registrar: answered, and the caller's tone
    // recorded from the line's wave-in. accountParams and config go to baresip.
    void callThrough(Kamailio& registrar, const std::string& accountParams = {},
                     const std::string& config = {})
    {
        std::vector<int16_t> voice(4000, 0);
        std::vector<int16_t> speech = tone(700, 2.0, 9000);
        voice.insert(voice.end(), speech.begin(), speech.end());
        m_sink.clear(); // a call before this one must not answer for it
        Baresip caller("Via Registrar", "ivan@127.0.0.1>;regint=0" + accountParams, voice, config);
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(registrar.port()));
        Event offer = m_sink.waitOffer();
        ASSERT_EQ(offer.kind, "offer") << caller.log() << registrar.log();
        auto waveIn = kalvo::wave::WaveDeviceTable::instance().find(kalvo::wave::WaveDirection::In,
                                                                    m_line->waveDevices().waveIn);
        auto recorder = std::make_shared<VectorSink>();
        ASSERT_EQ(waveIn->startInput({8000, 1}, recorder), 0);
        EXPECT_EQ(m_line->answer(offer.call, 1), 0);
        EXPECT_EQ(m_sink.waitState(LINECALLSTATE_CONNECTED).call, offer.call);
        std::this_thread::sleep_for(milliseconds(2800));
        caller.hangUp();
        EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, offer.call);
        waveIn->stop();
        std::vector<int16_t> got = recorder->samples();
        ASSERT_GT(got.size(), 8000u);
        EXPECT_GT(share(got, 700), 0.3) << "the caller's tone is in the recording";
    }

    QTemporaryDir m_dir;
    TestAuthority m_authority{m_dir.path().toStdString()};
    uint16_t m_port = 0;
    SipProvider m_provider;
    RecordingSink m_sink;
    std::unique_ptr<LineDevice> m_line;
};

// Over TLS, with the line's own certificate so the registrar can reach it, the account registers
// and takes a call; with srtp = optional a caller without encryption is taken as well as one with.
TEST_F(SipTlsTest, RegistersOverTlsAndTakesPlainAndEncryptedCalls)
{
    Kamailio registrar("s3cret", m_authority.issue("registrar", "127.0.0.1"),
                       m_authority.keyFile("registrar"));
    openTlsLine(registrar, "optional");
    ASSERT_EQ(accountState(), "in service") << registrar.log();
    callThrough(registrar);
    callThrough(registrar, ";mediaenc=srtp-mand", "module srtp.so\n");
}

// With srtp = mandatory an encrypted call is answered and its audio recorded; an offer without
// keys is refused with 488 and never offered to the layer.
TEST_F(SipTlsTest, MandatorySrtpTakesEncryptedCallsAndRefusesPlainOnes)
{
    Kamailio registrar("s3cret", m_authority.issue("registrar", "127.0.0.1"),
                       m_authority.keyFile("registrar"));
    openTlsLine(registrar, "mandatory");
    ASSERT_EQ(accountState(), "in service") << registrar.log();
    callThrough(registrar, ";mediaenc=srtp-mand", "module srtp.so\n");

    Baresip plain("Plain", "paula@127.0.0.1>;regint=0", std::vector<int16_t>(8000, 0));
    plain.dial("sip:kalvo@127.0.0.1:" + std::to_string(registrar.port()));
    EXPECT_TRUE(plain.waitLog("488", seconds(10))) << plain.log();
    EXPECT_EQ(m_sink.count("offer"), 1u);
}

// Over TCP the account registers and takes a call the same way.
TEST_F(SipTlsTest, RegistersOverTcpAndTakesACallThroughTheRegistrar)
{
    Kamailio registrar("s3cret", m_authority.issue("registrar", "127.0.0.1"),
                       m_authority.keyFile("registrar"));
    openLine({{"transport", "tcp"}, {"registrar", "sip:127.0.0.1:" + std::to_string(registrar.port())}});
    ASSERT_EQ(accountState(), "in service") << registrar.log();
    callThrough(registrar);
}

// A certificate for another host, an expired one, and one from an authority the line does not know:
// each refused with its reason, and the registrar never gets a REGISTER.
TEST_F(SipTlsTest, RefusesABadCertificateWithItsReason)
{
    struct Case
    {
        const char* host;
        long from, to;
        bool trusted;
        const char* reason;
    };
    for (const Case& c : {Case{"elsewhere.example", -1, 30, true, "is for another host"},
                          Case{"127.0.0.1", -60, -30, true, "has expired"},
                          Case{"127.0.0.1", -1, 30, false, "is from an unknown authority"}}) {
        SCOPED_TRACE(c.reason);
        const std::string name = std::string("bad") + std::to_string(c.from);
        Kamailio registrar("s3cret", m_authority.issue(name, c.host, c.from, c.to),
                           m_authority.keyFile(name));
        std::map<std::string, std::string> keys = {
            {"transport", "tls"}, {"registrar", "sip:127.0.0.1:" + std::to_string(registrar.tlsPort())}};
        if (c.trusted)
            keys["tls_ca"] = m_authority.caFile();
        openLine(keys);
        EXPECT_EQ(accountState(),
                  std::string("registration refused: the registrar's certificate ") + c.reason);
        EXPECT_EQ(registrar.count("REGISTER from"), 0u);
        m_line.reset();
        m_sink.clear();
    }
}

} // namespace

namespace {

// A registrar named in the hosts file (a private one, in mount and network namespaces of this
// test): found by the system's resolver and registered with over TLS, its certificate checked
// against the name written; a certificate for its address only is refused; a name nobody knows is
// said so; without a port, the port comes from the SRV record a name server on loopback gives.
TEST_F(SipTlsTest, RegistrarNamedInTheHostsFile)
{
    if (!std::getenv("KALVO_PRIVATE_HOSTS")) {
        QTemporaryDir dir;
        const std::string hosts = dir.path().toStdString() + "/hosts";
        const std::string resolv = dir.path().toStdString() + "/resolv.conf";
        kalvo::sip::test::writeText(hosts, "127.0.0.1 localhost\n127.0.0.1 pbx.home.arpa\n");
        kalvo::sip::test::writeText(resolv, "nameserver 127.0.0.1\n"); // no name server leaves loopback
        const std::string log = dir.path().toStdString() + "/log";
        ::setenv("KALVO_PRIVATE_HOSTS", "1", 1);
        const pid_t child = spawn(
            log, {"/usr/bin/unshare", "--map-root-user", "--mount", "--net", "/bin/sh", "-c",
                  "ip link set lo up && mount --bind " + hosts + " /etc/hosts && mount --bind " + resolv +
                      " /etc/resolv.conf && "
                      "exec " +
                      std::filesystem::read_symlink("/proc/self/exe").string() +
                      " --gtest_filter=SipTlsTest.RegistrarNamedInTheHostsFile"});
        ::unsetenv("KALVO_PRIVATE_HOSTS");
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readFile(log);
        return;
    }
    {
        Kamailio registrar("s3cret", m_authority.issue("pbx", "pbx.home.arpa"), m_authority.keyFile("pbx"));
        openLine({{"transport", "tls"},
                  {"tls_ca", m_authority.caFile()},
                  {"registrar", "sip:pbx.home.arpa:" + std::to_string(registrar.tlsPort())}});
        ASSERT_EQ(accountState(), "in service") << registrar.log();
        m_line.reset();
        m_sink.clear();
    }
    {
        Kamailio registrar("s3cret", m_authority.issue("ip", "127.0.0.1"), m_authority.keyFile("ip"));
        openLine({{"transport", "tls"},
                  {"tls_ca", m_authority.caFile()},
                  {"registrar", "sip:pbx.home.arpa:" + std::to_string(registrar.tlsPort())}});
        EXPECT_EQ(accountState(), "registration refused: the registrar's certificate is for another host");
        m_line.reset();
        m_sink.clear();
    }
    openLine({{"registrar", "sip:nowhere.home.arpa:5060"}});
    EXPECT_EQ(accountState(), "registration failed: cannot resolve nowhere.home.arpa");
    m_line.reset();
    m_sink.clear();

    Kamailio registrar("s3cret");
    QTemporaryDir dir;
    const std::string dnsLog = dir.path().toStdString() + "/dns";
    const pid_t dns = spawn(
        dnsLog, {"/usr/bin/python3", kalvo::test::sourcePath("tests/support/sip/srvserver.py").toStdString(),
                 "_sip._udp.pbx.home.arpa", "pbx.home.arpa", std::to_string(registrar.port()), "60"});
    for (int i = 0; i < 100 && readFile(dnsLog).find("ready") == std::string::npos; ++i)
        std::this_thread::sleep_for(milliseconds(50));
    openLine({{"registrar", "sip:pbx.home.arpa"}});
    EXPECT_EQ(accountState(), "in service") << registrar.log() << readFile(dnsLog);
    EXPECT_GE(registrar.count("REGISTER from sip:kalvo@pbx.home.arpa"), 1u);
    m_line.reset();
    terminate(dns);
}

// The registrar's name does not resolve: the outbound proxy is the only way to it, and the account
// registers and keeps alive through it. A call passed on by the proxy has its asserted identity believed; the
// same identity added by another proxy on the same address is ignored.
TEST_F(SipTlsTest, OutboundProxyCarriesTheAccountAndIsBelieved)
{
    Kamailio registrar("s3cret");
    Kamailio proxy(registrar.port());
    Kamailio stranger(registrar.port());
    openLine({{"registrar", "sip:registrar.invalid"},
              {"outbound_proxy", "sip:127.0.0.1:" + std::to_string(proxy.port())},
              {"keepalive", "1"}});
    ASSERT_EQ(accountState(), "in service") << proxy.log() << registrar.log();
    EXPECT_GE(proxy.count("PROXY REGISTER for registrar.invalid"), 1u);
    // Over UDP the keep-alives are OPTIONS to the registrar, by the same way.
    for (int i = 0; i < 100 && proxy.count("PROXY OPTIONS for registrar.invalid") < 2; ++i)
        std::this_thread::sleep_for(milliseconds(50));
    EXPECT_GE(proxy.count("PROXY OPTIONS for registrar.invalid"), 2u) << proxy.log();

    const std::string lineUri = "sip:kalvo@127.0.0.1:" + std::to_string(m_port);
    for (Kamailio* via : {&proxy, &stranger}) {
        m_sink.clear();
        Baresip caller("Carol",
                       "carol@127.0.0.1>;regint=0;outbound=\"sip:127.0.0.1:" + std::to_string(via->port()) +
                           "\"",
                       std::vector<int16_t>(8000, 0));
        caller.dial(lineUri);
        Event info = m_sink.waitFor([](const Event& e) { return e.kind == "info"; }, seconds(10));
        ASSERT_EQ(info.kind, "info") << caller.log() << via->log();
        EXPECT_EQ(via->count("PROXY INVITE"), 1u);
        EXPECT_EQ(info.data.callerNumber.value_or("?"), via == &proxy ? "0800555" : "carol");
        EXPECT_EQ(m_line->drop(info.call, 2), 0);
        EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, info.call);
    }
}

} // namespace

namespace {

// Keep-alives on the account's TCP connection notice a registrar that is gone: the line says
// exactly that its registration is lost and that direct calls still work, and one does.
TEST_F(SipTlsTest, LostRegistrarIsNoticedAndDirectCallsStillWork)
{
    auto registrar = std::make_unique<Kamailio>("s3cret", m_authority.issue("registrar", "127.0.0.1"),
                                                m_authority.keyFile("registrar"));
    openLine({{"transport", "tcp"},
              {"registrar", "sip:127.0.0.1:" + std::to_string(registrar->port())},
              {"keepalive", "1"}});
    ASSERT_EQ(accountState(), "in service") << registrar->log();
    m_sink.clear();
    registrar.reset();
    EXPECT_EQ(accountState(), "registration lost, direct calls still work");

    Baresip caller("Direct", "dora@127.0.0.1>;regint=0", std::vector<int16_t>(8000, 0));
    caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(m_port));
    EXPECT_EQ(m_sink.waitOffer().kind, "offer") << caller.log();
}

// A TCP connection from 127.0.0.1 that asks the line for OPTIONS.
class Probe
{
public:
    explicit Probe(uint16_t linePort) : m_linePort(linePort)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in line{};
        line.sin_family = AF_INET;
        line.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        line.sin_port = htons(linePort);
        ::connect(m_fd, reinterpret_cast<sockaddr*>(&line), sizeof line);
        timeval tv{5, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~Probe() { ::close(m_fd); }

    // True when the line answers OPTIONS on this connection.
    bool answers()
    {
        const std::string id = std::to_string(m_fd) + "-" + std::to_string(++m_sent);
        const std::string request = "OPTIONS sip:kalvo@127.0.0.1:" + std::to_string(m_linePort) +
                                    " SIP/2.0\r\nVia: SIP/2.0/TCP 127.0.0.1;branch=z9hG4bK" + id +
                                    "\r\nMax-Forwards: 70\r\nFrom: <sip:probe@127.0.0.1>;tag=" + id +
                                    "\r\nTo: <sip:kalvo@127.0.0.1>\r\nCall-ID: probe-" + id +
                                    "\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
        if (::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
            return false;
        char buffer[2000];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        return got > 0 && std::string(buffer, size_t(got)).rfind("SIP/2.0 200", 0) == 0;
    }
    // True when the line has closed the connection (whatever it sent before is skipped).
    bool closedByLine()
    {
        char buffer[2000];
        ssize_t got;
        while ((got = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0) {
        }
        return got == 0;
    }

private:
    int m_fd = -1;
    uint16_t m_linePort;
    int m_sent = 0;
};

// Beyond eight connections from one address the line closes the quietest ones, and the one a call
// came on stays open: the call ends normally afterwards.
TEST_F(SipTlsTest, TcpConnectionsBeyondTheCapCloseTheQuietestButNotTheCalls)
{
    openLine({{"transport", "tcp"}});
    Baresip caller("Over Tcp", "ivan@127.0.0.1>;regint=0", std::vector<int16_t>(8000 * 10, 0));
    caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(m_port) + ";transport=tcp");
    Event offer = m_sink.waitOffer();
    ASSERT_EQ(offer.kind, "offer") << caller.log();
    EXPECT_EQ(m_line->answer(offer.call, 1), 0);
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_CONNECTED).call, offer.call);

    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < 12; ++i) {
        probes.push_back(std::make_unique<Probe>(m_port));
        ASSERT_TRUE(probes.back()->answers()) << "probe " << i;
    }
    // With the call's connection (the quietest of all, but kept), 13 from 127.0.0.1: the five
    // quietest probes are closed.
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(probes[size_t(i)]->closedByLine()) << "probe " << i;
    for (int i = 5; i < 12; ++i)
        EXPECT_TRUE(probes[size_t(i)]->answers()) << "probe " << i;

    caller.hangUp();
    EXPECT_EQ(m_sink.waitState(LINECALLSTATE_IDLE).call, offer.call) << caller.log();
}

} // namespace

namespace {

// Behind a router that a STUN server reports (the test's server plays one, mapping the line to
// 203.0.113.9): the account registers again with that address in its Contact, dropping the
// binding at its own, and a call through the account (which the registrar sends to where the
// registration came from) is answered with that address in its SDP.
TEST_F(SipTlsTest, StunAddressGoesIntoContactAndAnswer)
{
    const uint16_t stunPort = freePort();
    const pid_t stun =
        spawn(m_dir.path().toStdString() + "/stun",
              {"/usr/bin/python3", kalvo::test::sourcePath("tests/support/sip/stunserver.py").toStdString(),
               std::to_string(stunPort), "203.0.113.9", "60"});
    Kamailio registrar("s3cret");
    openLine({{"registrar", "sip:127.0.0.1:" + std::to_string(registrar.port())},
              {"stun_server", "127.0.0.1:" + std::to_string(stunPort)}});
    ASSERT_EQ(accountState(), "in service") << registrar.log();
    for (int i = 0; i < 100 && readFile(m_dir.path().toStdString() + "/stun").empty(); ++i)
        std::this_thread::sleep_for(milliseconds(50));
    const std::string publicContact = "<sip:kalvo@203.0.113.9:" + std::to_string(m_port) + ">;expires=60";
    for (int i = 0; i < 200 && registrar.count(publicContact) == 0; ++i)
        std::this_thread::sleep_for(milliseconds(50));
    // A binding granted at the line's own address is dropped; when the router's address came
    // while the first REGISTER was still being challenged, no such binding was ever made.
    const std::string privateContact = "<sip:kalvo@127.0.0.1:" + std::to_string(m_port) + ">";
    if (registrar.log().find("auth=kalvo contact=" + privateContact + ";expires=60") != std::string::npos) {
        EXPECT_NE(registrar.log().find(publicContact + "," + privateContact + ";expires=0"),
                  std::string::npos)
            << registrar.log();
    }

    Baresip caller("Via Registrar", "ivan@127.0.0.1>;regint=0", std::vector<int16_t>(8000, 0));
    caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(registrar.port()));
    Event offer = m_sink.waitOffer();
    ASSERT_EQ(offer.kind, "offer") << caller.log();
    EXPECT_EQ(m_line->answer(offer.call, 1), 0);
    for (int i = 0; i < 100 && registrar.count("ANSWER") == 0; ++i)
        std::this_thread::sleep_for(milliseconds(50));
    EXPECT_NE(registrar.log().find("c=IN IP4 203.0.113.9"), std::string::npos) << registrar.log();
    terminate(stun);
}

} // namespace
