// Encrypted media of one call (SRTP with keys in the SDP, RFC 4568): the crypto attributes of
// offers and answers, and the keys that encrypt what the RTP socket sends and decrypt what it
// receives, below the RTP layer so the rest of the media never sees the difference.
#pragma once

#include "Re.h"
#include "SipSettings.h"

#include <string>

namespace kalvo::sip {

class SipSrtp
{
public:
    // mode is the line's srtp setting; secure is true when the call's signalling is encrypted
    // (keys sent in the clear would protect nothing, so only then are they used).
    SipSrtp(SipSettings::Srtp mode, bool secure);
    ~SipSrtp();
    SipSrtp(const SipSrtp&) = delete;
    SipSrtp& operator=(const SipSrtp&) = delete;

    // Lets media accept offers of either profile (RTP/AVP and RTP/SAVP) and sees the socket's
    // packets. @return 0 or an errno value.
    int attach(struct sdp_media* media, struct udp_sock* socket);
    // Takes the crypto of a decoded offer and puts the answer's into media.
    // @return 0, or EPROTO when the line demands encryption and the offer has none it can use.
    int takeOffer(struct sdp_media* media);
    // Puts the crypto of an offer into media (both suites, the line's key).
    int prepareOffer(struct sdp_media* media);
    // Takes the crypto of the decoded answer to prepareOffer. @return 0 or EPROTO as takeOffer.
    int takeAnswer(struct sdp_media* media);
    // True once both directions are keyed.
    bool active() const { return m_tx && m_rx; }

private:
    struct Crypto
    {
        unsigned tag = 0;
        enum srtp_suite suite = SRTP_AES_CM_128_HMAC_SHA1_80;
        std::string suiteName;
        uint8_t key[30] = {};
    };
    static bool onCrypto(const char* name, const char* value, void* arg);
    static bool onSend(int* err, struct sa* dst, struct mbuf* mb, void* arg);
    static bool onReceive(struct sa* src, struct mbuf* mb, void* arg);
    bool parse(const char* value, Crypto& out) const;
    int keyBoth(const Crypto& remote);
    std::string attribute(unsigned tag, const std::string& suiteName) const;

    SipSettings::Srtp m_mode;
    bool m_secure;
    uint8_t m_localKey[30] = {};
    struct udp_helper* m_helper = nullptr;
    struct srtp* m_tx = nullptr;
    struct srtp* m_rx = nullptr;
    Crypto m_remote;
};

} // namespace kalvo::sip
