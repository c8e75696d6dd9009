// The engine rig on a real SIP line, and a raw caller on it.
#include "SipLineRig.h"

#include <QCoreApplication>

namespace kalvo::test {

using namespace std::chrono;

SipLineRig::SipLineRig(const Values& settings)
    : EngineRig(settings, 1.0, kalvo::sip::test::lineConf(FreeSipPort::port))
{
    writeWav(programFolder() + "/Greets/Test.wav", tone(300, 8000, 300));
}

RawCall::RawCall(kalvo::sip::test::RawPeer& peer, std::string id, std::string from)
    : m_peer(peer), m_id(std::move(id)), m_from(std::move(from))
{
}

void RawCall::send(const std::string& method, const std::string& to, int cseq, const std::string& rest)
{
    const std::string n = std::to_string(cseq);
    m_peer.send(method + " sip:kalvo@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" +
                std::to_string(m_peer.port()) + ";branch=z9hG4bK-" + m_id + "-" + n + "\r\nFrom: " + m_from +
                ";tag=" + m_id + "\r\n" + to + "\r\nCall-ID: " + m_id +
                "@127.0.0.1\r\nMax-Forwards: 70\r\nCSeq: " + n + " " + method + "\r\n" + rest);
}

void RawCall::invite(const std::string& extraHeaders)
{
    const std::string sdp = "v=0\r\no=raw 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                            "m=audio 4000 RTP/AVP 0\r\n";
    send("INVITE", "To: <sip:kalvo@127.0.0.1>", 1,
         "Contact: <sip:raw@127.0.0.1:" + std::to_string(m_peer.port()) + ">\r\n" + extraHeaders +
             "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" +
             sdp);
}

std::string RawCall::reply(const std::string& prefix)
{
    for (int i = 0; i < 500; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const std::string got = m_peer.waitFor(prefix, milliseconds(10));
        if (got.find("Call-ID: " + m_id + "@") != std::string::npos)
            return m_last = got;
    }
    return std::string();
}

std::vector<std::string> RawCall::codesUntil(const std::string& last)
{
    std::vector<std::string> codes;
    while (codes.empty() || codes.back() != last) {
        if (reply("SIP/2.0 ").empty())
            break;
        codes.push_back(m_last.substr(8, 3));
    }
    return codes;
}

std::string RawCall::answeredTo() const
{
    const size_t at = m_last.find("\r\nTo: ");
    if (at == std::string::npos)
        return std::string();
    return m_last.substr(at + 2, m_last.find("\r\n", at + 2) - at - 2);
}

} // namespace kalvo::test
