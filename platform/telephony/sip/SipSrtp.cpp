// SRTP with SDES keys for a call's media.
#include "SipSrtp.h"

#include <cstring>
#include <openssl/rand.h>

namespace kalvo::sip {

namespace {

constexpr int kLayer = 20;       // below RTP, above the socket
constexpr size_t kKeyBytes = 30; // master key 16 and salt 14, for both suites used here

bool isRtcp(const struct mbuf* mb)
{
    // RTCP packet types 200..204 sit where RTP has its marker and payload type.
    if (mbuf_get_left(mb) < 2)
        return false;
    const uint8_t pt = mbuf_buf(mb)[1];
    return pt >= 200 && pt <= 204;
}

} // namespace

SipSrtp::SipSrtp(SipSettings::Srtp mode, bool secure) : m_mode(mode), m_secure(secure)
{
    if (RAND_bytes(m_localKey, sizeof m_localKey) != 1)
        rand_bytes(m_localKey, sizeof m_localKey);
}

SipSrtp::~SipSrtp()
{
    mem_deref(m_helper);
    mem_deref(m_tx);
    mem_deref(m_rx);
}

int SipSrtp::attach(struct sdp_media* media, struct udp_sock* socket)
{
    int err = sdp_media_set_alt_protos(media, 2, sdp_proto_rtpavp, sdp_proto_rtpsavp);
    if (!err)
        err = udp_register_helper(&m_helper, socket, kLayer, onSend, onReceive, this);
    return err;
}

bool SipSrtp::parse(const char* value, Crypto& out) const
{
    struct pl tag, suite, key;
    if (re_regex(value, std::strlen(value), "[0-9]+ [^ ]+ inline:[^|; ]+", &tag, &suite, &key) != 0)
        return false;
    if (pl_strcmp(&suite, "AES_CM_128_HMAC_SHA1_80") == 0)
        out.suite = SRTP_AES_CM_128_HMAC_SHA1_80;
    else if (pl_strcmp(&suite, "AES_CM_128_HMAC_SHA1_32") == 0)
        out.suite = SRTP_AES_CM_128_HMAC_SHA1_32;
    else
        return false;
    uint8_t raw[64];
    size_t length = sizeof raw;
    if (base64_decode(key.p, key.l, raw, &length) != 0 || length != kKeyBytes)
        return false;
    std::memcpy(out.key, raw, kKeyBytes);
    out.tag = pl_u32(&tag);
    out.suiteName.assign(suite.p, suite.l);
    return true;
}

bool SipSrtp::onCrypto(const char*, const char* value, void* arg)
{
    auto* self = static_cast<SipSrtp*>(arg);
    return self->parse(value, self->m_remote); // the first usable one, in the peer's order
}

std::string SipSrtp::attribute(unsigned tag, const std::string& suiteName) const
{
    char key[64];
    size_t length = sizeof key;
    base64_encode(m_localKey, kKeyBytes, key, &length);
    return std::to_string(tag) + " " + suiteName + " inline:" + std::string(key, length);
}

int SipSrtp::keyBoth(const Crypto& remote)
{
    m_tx = static_cast<struct srtp*>(mem_deref(m_tx));
    m_rx = static_cast<struct srtp*>(mem_deref(m_rx));
    int err = srtp_alloc(&m_tx, remote.suite, m_localKey, kKeyBytes, 0);
    if (!err)
        err = srtp_alloc(&m_rx, remote.suite, remote.key, kKeyBytes, 0);
    return err;
}

int SipSrtp::takeOffer(struct sdp_media* media)
{
    sdp_media_del_lattr(media, "crypto");
    const bool offered = m_secure && sdp_media_rattr_apply(media, "crypto", onCrypto, this) != nullptr;
    if (!offered)
        return m_mode == SipSettings::Srtp::Mandatory ? EPROTO : 0;
    int err = keyBoth(m_remote);
    if (!err)
        err = sdp_media_set_lattr(media, false, "crypto", "%s",
                                  attribute(m_remote.tag, m_remote.suiteName).c_str());
    return err;
}

int SipSrtp::prepareOffer(struct sdp_media* media)
{
    if (!m_secure)
        return m_mode == SipSettings::Srtp::Mandatory ? EPROTO : 0;
    int err =
        sdp_media_set_lattr(media, false, "crypto", "%s", attribute(1, "AES_CM_128_HMAC_SHA1_80").c_str());
    if (!err)
        err = sdp_media_set_lattr(media, false, "crypto", "%s",
                                  attribute(2, "AES_CM_128_HMAC_SHA1_32").c_str());
    return err;
}

int SipSrtp::takeAnswer(struct sdp_media* media)
{
    if (!m_secure || !sdp_media_rattr_apply(media, "crypto", onCrypto, this))
        return m_mode == SipSettings::Srtp::Mandatory ? EPROTO : 0;
    return keyBoth(m_remote);
}

bool SipSrtp::onSend(int* err, struct sa*, struct mbuf* mb, void* arg)
{
    auto* self = static_cast<SipSrtp*>(arg);
    if (!self->m_tx || isRtcp(mb))
        return false;
    *err = srtp_encrypt(self->m_tx, mb);
    return *err != 0; // a packet that cannot be encrypted is not sent at all
}

bool SipSrtp::onReceive(struct sa*, struct mbuf* mb, void* arg)
{
    auto* self = static_cast<SipSrtp*>(arg);
    if (!self->m_rx || isRtcp(mb))
        return false;
    return srtp_decrypt(self->m_rx, mb) != 0; // forged or plain packets are dropped
}

} // namespace kalvo::sip
