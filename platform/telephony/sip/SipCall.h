// One call of a SIP line on the SIP thread: its session, media and rings, and the call states and
// notifications the line reports for it.
#pragma once

#include "Re.h"
#include "SipLine.h"

#include <memory>
#include <string>

namespace kalvo::sip {

class SipEngine;
class SipMedia;

class SipCall
{
public:
    // id is the layer's call id for outgoing calls, 0 for incoming ones (set when offered).
    SipCall(SipEngine& engine, kalvo::telephony::CallId id);
    ~SipCall();
    SipCall(const SipCall&) = delete;
    SipCall& operator=(const SipCall&) = delete;

    kalvo::telephony::CallId id() const { return m_id; }
    // True when msg belongs to this call (its Call-ID), so no budget for strangers applies to it.
    bool carries(const struct sip_msg* msg) const;

    // Takes an incoming INVITE: 100 Trying, OFFERING, caller id, first ring; 180 Ringing follows
    // with accept, or on its own when the program has not decided within a short wait.
    // @return false when the request was refused (it has been answered with an error).
    bool acceptIncoming(const struct sip_msg* msg);
    // Places an outgoing call; completes request. @return false when it could not be placed.
    bool dial(const std::string& address, kalvo::telephony::RequestId request);

    // The program lets the offered call ring: 180 Ringing, ACCEPTED.
    void accept(kalvo::telephony::RequestId request);
    void answer(kalvo::telephony::RequestId request);
    void drop(kalvo::telephony::RequestId request);
    void generateDigits(const std::string& digits, DWORD durationMs);
    void monitorDigits(DWORD modes);
    // The line closes: the call ends without a request.
    void terminate();

private:
    static int onOffer(struct mbuf** descp, const struct sip_msg* msg, void* arg);
    static int onAnswer(const struct sip_msg* msg, void* arg);
    static void onProgress(const struct sip_msg* msg, void* arg);
    static void onEstablished(const struct sip_msg* msg, void* arg);
    static void onInfo(struct sip* sip, const struct sip_msg* msg, void* arg);
    static void onClose(int err, const struct sip_msg* msg, void* arg);
    static void onRing(void* arg);
    static void onUndecided(void* arg);
    static void onCancel(void* arg);
    // Creates the session on the held INVITE with its first response after 100 Trying.
    int startSession(uint16_t scode, const char* reason, struct mbuf* sdp);
    // Ends the offered call with a final response.
    void refuse(uint16_t scode, const char* reason);
    static int onAuth(char** user, char** password, const char* realm, void* arg);
    // secure: the call's signalling travels over TLS, so media keys may be exchanged.
    bool openMedia(const struct sa& local, bool secure);
    void setPhase(SipLine::Phase phase);
    void reportDigit(char digit, DWORD mode);
    void end(DWORD disconnectMode);

    SipEngine& m_engine;
    SipLine& m_line;
    kalvo::telephony::CallId m_id;
    SipLine::Phase m_phase = SipLine::Phase::None;
    struct sip_msg* m_invite = nullptr;    // the INVITE, held until the call ends
    struct sip_strans* m_trying = nullptr; // its transaction until the session takes it over
    struct tmr m_decideTimer;
    struct sipsess* m_session = nullptr;
    struct mbuf* m_answerSdp = nullptr; // prepared while ringing, sent with 200 OK
    std::unique_ptr<SipMedia> m_media;
    struct tmr m_ringTimer;
    DWORD m_ringCount = 0;
    bool m_ended = false;
};

} // namespace kalvo::sip
