// The engine rig on a real SIP line on a free 127.0.0.1 port (ringing every 0.3 s, time unscaled),
// and a raw SIP caller's call on it: requests of one Call-ID and the line's replies to them, waited
// for while the program handles its events.
#pragma once

#include "EngineRig.h"
#include "SipPeers.h"

#include <string>
#include <vector>

namespace kalvo::test {

// Picks the port before the rig that listens on it is built.
struct FreeSipPort
{
    const uint16_t port = kalvo::sip::test::freePort();
};

class SipLineRig : private FreeSipPort, public EngineRig
{
public:
    // With "Test" a 300 ms greeting of 300 Hz; the test starts the rig.
    explicit SipLineRig(const Values& settings);
    using FreeSipPort::port;
    // The line's address, for baresip to dial.
    std::string target() const { return "sip:kalvo@127.0.0.1:" + std::to_string(port); }
};

class RawCall
{
public:
    // from is the From header's value without its tag; id names the call, tag and branches.
    RawCall(kalvo::sip::test::RawPeer& peer, std::string id, std::string from);
    // Sends a request of the call: `to` is the whole To header, `rest` the headers after CSeq and
    // the body. Requests of one CSeq share a branch (INVITE, its CANCEL and its ACK).
    void send(const std::string& method, const std::string& to, int cseq, const std::string& rest);
    // Sends the INVITE with an audio offer; extra headers go before the body.
    void invite(const std::string& extraHeaders = {});
    // The status codes of the call's replies up to `last`, or until they stop coming.
    std::vector<std::string> codesUntil(const std::string& last);
    // The next reply of the call starting with prefix ("" when none comes within seconds).
    std::string reply(const std::string& prefix);
    // The To header of the last reply, with the line's tag.
    std::string answeredTo() const;

private:
    kalvo::sip::test::RawPeer& m_peer;
    std::string m_id, m_from, m_last;
};

} // namespace kalvo::test
