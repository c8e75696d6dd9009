// SIP call media: SDP, RTP, the 20 ms clock, jitter buffer, G.711 and touch tones.
#include "SipMedia.h"

#include "SipSrtp.h"
#include "SipWaveDevice.h"

#include <algorithm>
#include <cstring>

namespace kalvo::sip {

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kFrame = 160; // 20 ms at 8000 Hz
constexpr auto kTick = std::chrono::milliseconds(20);
constexpr int kPcmu = 0;
constexpr int kPcma = 8;
constexpr const char* kTelevPt = "101";
constexpr unsigned kDigitGapTicks = 4; // pause after a digit; also lets the end packets go out
constexpr unsigned kLearnRun = 5;      // packets in sequence that make another source the caller's
// and not before the caller itself had time to send from where its SDP says
constexpr auto kLearnAfter = std::chrono::milliseconds(200);

bool isG711(int pt)
{
    return pt == kPcmu || pt == kPcma;
}

} // namespace

SipMedia::SipMedia(SipWaveDevice& waveOut, SipWaveDevice& waveIn, Events events, Options options)
    : m_waveOut(waveOut), m_waveIn(waveIn), m_events(std::move(events)), m_options(options)
{
    tmr_init(&m_timer);
    sa_init(&m_remote, AF_INET);
    sa_init(&m_sdpRemote, AF_INET);
    sa_init(&m_candidate, AF_INET);
}

SipMedia::~SipMedia()
{
    stop();
    mem_deref(m_dtmf);
    mem_deref(m_telev);
    mem_deref(m_jbuf);
    m_srtp.reset();
    mem_deref(m_sdp); // owns m_sdpMedia
    mem_deref(m_rtp);
}

int SipMedia::open(const struct sa& bindAddr, uint16_t minPort, uint16_t maxPort, const struct sa& sdpAddr)
{
    struct sa bind = bindAddr;
    sa_set_port(&bind, 0);
    int err = rtp_listen(&m_rtp, IPPROTO_UDP, &bind, minPort, maxPort, false, onRtp, nullptr, this);
    if (err)
        return err;
    struct sa laddr = sdpAddr;
    sa_set_port(&laddr, 0);
    err = sdp_session_alloc(&m_sdp, &laddr);
    if (!err)
        err = sdp_media_add(&m_sdpMedia, m_sdp, "audio", sa_port(rtp_local(m_rtp)), "RTP/AVP");
    if (!err)
        err = sdp_format_add(nullptr, m_sdpMedia, false, "0", "PCMU", 8000, 1, nullptr, nullptr, nullptr,
                             false, nullptr);
    if (!err)
        err = sdp_format_add(nullptr, m_sdpMedia, false, "8", "PCMA", 8000, 1, nullptr, nullptr, nullptr,
                             false, nullptr);
    if (!err)
        err = sdp_format_add(nullptr, m_sdpMedia, false, kTelevPt, "telephone-event", 8000, 1, nullptr,
                             nullptr, nullptr, false, "0-15");
    if (!err)
        err = sdp_media_set_lattr(m_sdpMedia, true, "ptime", "20");
    if (!err && m_options.srtp != SipSettings::Srtp::Off) {
        m_srtp = std::make_unique<SipSrtp>(m_options.srtp, m_options.secureSignalling);
        err = m_srtp->attach(m_sdpMedia, static_cast<struct udp_sock*>(rtp_sock(m_rtp)));
    }
    if (!err)
        err = jbuf_alloc(&m_jbuf, m_options.jitterMin, m_options.jitterMax);
    if (!err)
        err = telev_alloc(&m_telev, 20);
    if (!err)
        err = telev_set_srate(m_telev, 8000);
    if (!err)
        err = dtmf_dec_alloc(&m_dtmf, 8000, 1, onInbandDigit, this);
    return err;
}

int SipMedia::answerOffer(struct mbuf* offer, struct mbuf** answer)
{
    int err = sdp_decode(m_sdp, offer, true);
    if (err)
        return err;
    updateRemote();
    if (m_sendPt < 0)
        return EPROTO; // no codec in common: the caller is told so by the session layer
    if (m_srtp && (err = m_srtp->takeOffer(m_sdpMedia)) != 0)
        return err;
    return sdp_encode(answer, m_sdp, false);
}

bool SipMedia::audioOffered() const
{
    // An offer without an audio stream, or with the stream refused (port 0), leaves no call to take.
    return m_sendPt >= 0 && sdp_media_rport(m_sdpMedia) != 0;
}

int SipMedia::makeOffer(struct mbuf** offer)
{
    if (m_srtp)
        if (int err = m_srtp->prepareOffer(m_sdpMedia))
            return err;
    return sdp_encode(offer, m_sdp, true);
}

int SipMedia::takeAnswer(struct mbuf* answer)
{
    int err = sdp_decode(m_sdp, answer, false);
    if (err)
        return err;
    updateRemote();
    if (m_sendPt < 0)
        return EPROTO;
    return m_srtp ? m_srtp->takeAnswer(m_sdpMedia) : 0;
}

void SipMedia::updateRemote()
{
    // The caller's preference: the first of its formats that is G.711.
    m_sendPt = -1;
    const struct list* formats = sdp_media_format_lst(m_sdpMedia, false);
    for (struct le* le = list_head(formats); le; le = le->next) {
        auto* fmt = static_cast<struct sdp_format*>(le->data);
        if (fmt->sup && isG711(fmt->pt)) {
            m_sendPt = fmt->pt;
            break;
        }
    }
    const struct sdp_format* tel = sdp_media_rformat(m_sdpMedia, "telephone-event");
    m_televPt = tel ? tel->pt : -1;
    const struct sa* raddr = sdp_media_raddr(m_sdpMedia);
    const bool hadRemote = m_haveRemote;
    m_haveRemote = raddr && sa_isset(raddr, SA_ALL);
    // A new SDP address (a re-INVITE that moves the media) starts over; the same one keeps what
    // was learned.
    if (m_haveRemote && (!hadRemote || !sa_cmp(raddr, &m_sdpRemote, SA_ALL))) {
        sa_cpy(&m_remote, raddr);
        sa_cpy(&m_sdpRemote, raddr);
        m_sdpSeen = false;
        m_latched = false;
        m_candidateRun = 0;
    }
    // Held calls (sendonly, inactive) get no audio; inactive ones send none either.
    enum sdp_dir rdir = sdp_media_rdir(m_sdpMedia);
    m_sendAllowed = (rdir & SDP_RECVONLY) != 0;
    m_expectRtp = (rdir & SDP_SENDONLY) != 0;
    m_lastRx = Clock::now();
}

void SipMedia::start()
{
    if (m_running)
        return;
    m_running = true;
    m_firstPacket = true;
    m_rxPending.clear();
    m_owedFrames = 0;
    jbuf_flush(m_jbuf);
    m_lastRx = Clock::now();
    m_next = Clock::now();
    m_startedAt = m_next;
    tick();
}

void SipMedia::stop()
{
    m_running = false;
    tmr_cancel(&m_timer);
}

void SipMedia::onTimer(void* arg)
{
    static_cast<SipMedia*>(arg)->tick();
}

void SipMedia::tick()
{
    if (!m_running)
        return;
    auto now = Clock::now();
    // Every tick that is due runs, so the average rate follows the clock exactly; after a long
    // stall the schedule restarts instead of bursting.
    if (now - m_next > 5 * kTick)
        m_next = now;
    // After a stall several ticks are due at once. Their packets still wait in the socket, so the
    // frames they owe the wave-in stream are handed over once read, not replaced by silence.
    bool stalled = m_next + kTick <= now;
    while (m_next <= now) {
        sendFrame();
        stepDigits();
        if (stalled)
            ++m_owedFrames;
        else
            deliverFrame(true);
        m_next += kTick;
    }
    while (!stalled && m_owedFrames > 0 && deliverFrame(false))
        --m_owedFrames;
    if (m_owedFrames > m_options.jitterMax) {
        m_stats.underruns += m_owedFrames; // too late to matter any more: skipped
        m_owedFrames = 0;
    }
    if (m_expectRtp && now - m_lastRx > std::chrono::milliseconds(m_options.rtpTimeoutMs)) {
        m_running = false;
        if (m_events.timeout)
            m_events.timeout();
        return;
    }
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_next - Clock::now()).count();
    tmr_start(&m_timer, static_cast<uint64_t>(std::max<long long>(wait, 0)), onTimer, this);
}

void SipMedia::sendFrame()
{
    int16_t samples[kFrame];
    size_t got = m_waveOut.pull(samples, kFrame);
    std::fill(samples + got, samples + kFrame, int16_t{0});
    if (m_haveRemote && m_sendAllowed && m_sendPt >= 0) {
        struct mbuf* mb = mbuf_alloc(RTP_HEADER_SIZE + kFrame);
        if (mb) {
            mb->pos = mb->end = RTP_HEADER_SIZE;
            for (size_t i = 0; i < kFrame; ++i)
                mbuf_write_u8(mb, m_sendPt == kPcmu ? g711_pcm2ulaw(samples[i]) : g711_pcm2alaw(samples[i]));
            mb->pos = RTP_HEADER_SIZE;
            if (rtp_send(m_rtp, &m_remote, false, m_firstPacket, static_cast<uint8_t>(m_sendPt), m_ts, mb) ==
                0) {
                if (m_firstPacket)
                    m_firstSend = Clock::now();
                m_firstPacket = false;
                ++m_stats.framesSent;
            }
            mem_deref(mb);
        }
        if (m_televPt >= 0) {
            struct mbuf* ev = mbuf_alloc(RTP_HEADER_SIZE + 16);
            if (ev) {
                ev->pos = ev->end = RTP_HEADER_SIZE;
                bool marker = false;
                if (telev_poll(m_telev, &marker, ev) == 0) {
                    if (marker)
                        m_televTs = m_ts;
                    ev->pos = RTP_HEADER_SIZE;
                    rtp_send(m_rtp, &m_remote, false, marker, static_cast<uint8_t>(m_televPt), m_televTs, ev);
                }
                mem_deref(ev);
            }
        }
    }
    m_ts += kFrame;
}

bool SipMedia::deliverFrame(bool silenceOnUnderrun)
{
    while (m_rxPending.size() < kFrame) {
        struct rtp_header hdr;
        void* mem = nullptr;
        if (jbuf_get(m_jbuf, &hdr, &mem) != 0)
            break;
        auto* mb = static_cast<struct mbuf*>(mem);
        const uint8_t* p = mbuf_buf(mb);
        size_t n = mbuf_get_left(mb);
        for (size_t i = 0; i < n; ++i)
            m_rxPending.push_back(hdr.pt == kPcmu ? g711_ulaw2pcm(p[i]) : g711_alaw2pcm(p[i]));
        mem_deref(mem);
    }
    if (!silenceOnUnderrun && m_rxPending.size() < kFrame)
        return false;
    int16_t frame[kFrame];
    size_t have = std::min(kFrame, m_rxPending.size());
    std::copy_n(m_rxPending.begin(), have, frame);
    m_rxPending.erase(m_rxPending.begin(), m_rxPending.begin() + static_cast<std::ptrdiff_t>(have));
    std::fill(frame + have, frame + kFrame, int16_t{0});
    if (have < kFrame)
        ++m_stats.underruns;
    else
        ++m_stats.framesReceived;
    if (m_inband && have > 0)
        dtmf_dec_probe(m_dtmf, frame, kFrame);
    m_waveIn.push(frame, kFrame);
    return have == kFrame;
}

void SipMedia::onRtp(const struct sa* src, const struct rtp_header* hdr, struct mbuf* mb, void* arg)
{
    static_cast<SipMedia*>(arg)->receive(src, hdr, mb);
}

void SipMedia::receive(const struct sa* src, const struct rtp_header* hdr, struct mbuf* mb)
{
    if (!m_running || !m_haveRemote)
        return;
    if (!acceptSource(src, hdr)) {
        ++m_stats.foreignPackets;
        return;
    }
    m_lastRx = Clock::now();
    if (static_cast<int>(hdr->pt) == m_televPt || hdr->pt == 101) {
        int event = 0;
        bool end = false;
        if (telev_recv(m_telev, mb, &event, &end) == 0) {
            int digit = telev_code2digit(event);
            if (digit > 0 && m_events.digit)
                m_events.digit(static_cast<char>(digit), end ? LINEDIGITMODE_DTMFEND : LINEDIGITMODE_DTMF);
        }
        return;
    }
    if (isG711(hdr->pt) && mbuf_get_left(mb) > 0)
        jbuf_put(m_jbuf, hdr, mb);
}

bool SipMedia::acceptSource(const struct sa* src, const struct rtp_header* hdr)
{
    if (sa_cmp(src, &m_sdpRemote, SA_ALL)) {
        m_sdpSeen = true;
        m_latched = true;
        m_remote = m_sdpRemote; // the caller itself: its answer goes back there
        return true;
    }
    if (m_sdpSeen)
        return false;
    if (m_latched)
        return sa_cmp(src, &m_remote, SA_ALL);
    // Behind a router the caller's media comes from another address than its SDP names (symmetric
    // RTP). A stranger who sends first must not take the call: the source has to keep a run of
    // sequence numbers before it does, and packets of other sources break the run.
    const bool media = isG711(hdr->pt) || static_cast<int>(hdr->pt) == m_televPt;
    if (!media)
        return false;
    if (m_candidateRun > 0 && sa_cmp(src, &m_candidate, SA_ALL) &&
        hdr->seq == static_cast<uint16_t>(m_candidateSeq + 1))
        ++m_candidateRun;
    else {
        m_candidate = *src;
        m_candidateRun = 1;
    }
    m_candidateSeq = hdr->seq;
    // An SRTP packet that decrypted came from someone who holds the call's keys.
    if (!(m_srtp && m_srtp->active()) &&
        (m_candidateRun < kLearnRun || Clock::now() - m_startedAt < kLearnAfter))
        return false;
    m_remote = *src;
    m_latched = true;
    return true;
}

void SipMedia::onInbandDigit(char digit, void* arg)
{
    auto* self = static_cast<SipMedia*>(arg);
    if (self->m_events.digit)
        self->m_events.digit(digit, LINEDIGITMODE_DTMF);
}

bool SipMedia::generateDigits(const std::string& digits, unsigned durationMs)
{
    if (m_televPt < 0)
        return false;
    for (char c : digits)
        if (telev_digit2code(static_cast<unsigned char>(c)) >= 0)
            m_digitQueue.push_back(c);
    m_digitTicks = std::max(2u, (durationMs ? durationMs : 100u) / 20u);
    if (m_digitQueue.empty() && m_digitPhase == DigitPhase::Idle && m_events.digitsDone)
        m_events.digitsDone(); // nothing valid to send: done at once
    return true;
}

bool SipMedia::cancelDigits()
{
    bool pending = !m_digitQueue.empty() || m_digitPhase != DigitPhase::Idle;
    m_digitQueue.clear();
    return pending;
}

void SipMedia::stepDigits()
{
    if (m_digitTicksLeft > 0) {
        --m_digitTicksLeft;
        return;
    }
    switch (m_digitPhase) {
    case DigitPhase::Down:
        telev_send(m_telev, m_digitCode, true);
        m_digitPhase = DigitPhase::Gap;
        m_digitTicksLeft = kDigitGapTicks;
        return;
    case DigitPhase::Gap:
        m_digitPhase = DigitPhase::Idle;
        if (m_digitQueue.empty() && m_events.digitsDone)
            m_events.digitsDone();
        [[fallthrough]];
    case DigitPhase::Idle:
        if (m_digitQueue.empty())
            return;
        m_digitCode = telev_digit2code(static_cast<unsigned char>(m_digitQueue.front()));
        telev_send(m_telev, m_digitCode, false);
        m_digitQueue.erase(0, 1);
        m_digitPhase = DigitPhase::Down;
        m_digitTicksLeft = m_digitTicks - 1;
        return;
    }
}

} // namespace kalvo::sip
