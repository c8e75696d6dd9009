// The media of one SIP call, on the SIP thread: SDP offer/answer, the RTP socket, a drift-free 20 ms
// clock that sends one G.711 frame per tick and hands received audio to the line's wave-in device
// through a jitter buffer, RFC 4733 events both ways and in-band touch-tone detection.
#pragma once

#include "Re.h"
#include "SipSettings.h"
#include "Telephony.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kalvo::sip {

class SipSrtp;
class SipWaveDevice;

class SipMedia
{
public:
    struct Events
    {
        std::function<void(char digit, DWORD mode)> digit; // a key went down (DTMF) or up (DTMFEND)
        std::function<void()> timeout;                     // no RTP for the configured time
        std::function<void()> digitsDone;                  // generateDigits sent its last digit
    };
    struct Options
    {
        unsigned rtpTimeoutMs = 60000;
        unsigned jitterMin = 2;
        unsigned jitterMax = 10;
        SipSettings::Srtp srtp = SipSettings::Srtp::Off;
        bool secureSignalling = false; // the call's SIP travels over TLS
    };
    struct Stats
    {
        uint64_t framesSent = 0;
        uint64_t framesReceived = 0; // frames delivered from packets
        uint64_t underruns = 0;      // silent frames delivered because nothing had arrived
        uint64_t foreignPackets = 0; // packets from an address other than the negotiated one
    };

    SipMedia(SipWaveDevice& waveOut, SipWaveDevice& waveIn, Events events, Options options);
    ~SipMedia();
    SipMedia(const SipMedia&) = delete;
    SipMedia& operator=(const SipMedia&) = delete;

    // Binds the RTP socket on bindAddr within the port range; sdpAddr is written into the SDP.
    // @return 0 or an errno value.
    int open(const struct sa& bindAddr, uint16_t minPort, uint16_t maxPort, const struct sa& sdpAddr);

    // Takes the remote offer and writes the answer into *answer (new mbuf). @return 0 or errno.
    int answerOffer(struct mbuf* offer, struct mbuf** answer);
    // Writes a new offer into *offer. @return 0 or errno.
    int makeOffer(struct mbuf** offer);
    // After answerOffer: true when the offer had an audio stream we can serve.
    bool audioOffered() const;
    // Takes the remote answer to makeOffer. @return 0 or errno.
    int takeAnswer(struct mbuf* answer);

    // Starts and stops the media clock (sending, receiving, detection).
    void start();
    void stop();

    // In-band touch-tone detection on the received audio.
    void setInbandDetection(bool on) { m_inband = on; }

    // Queues digits as RFC 4733 events of durationMs each (0 = 100 ms); invalid characters are
    // skipped. Events::digitsDone follows the last one. @return false when the peer takes no events.
    bool generateDigits(const std::string& digits, unsigned durationMs);
    // Drops digits not yet sent. @return true when some were pending.
    bool cancelDigits();

    const Stats& stats() const { return m_stats; }

    // Sends of the first packet after start(), for measurements.
    std::chrono::steady_clock::time_point firstSend() const { return m_firstSend; }

private:
    static void onRtp(const struct sa* src, const struct rtp_header* hdr, struct mbuf* mb, void* arg);
    static void onTimer(void* arg);
    static void onInbandDigit(char digit, void* arg);
    void receive(const struct sa* src, const struct rtp_header* hdr, struct mbuf* mb);
    void tick();
    void sendFrame();
    // Hands one frame to wave in; on underrun a silent one, or none when silenceOnUnderrun is false.
    // @return true when a whole received frame went out.
    bool deliverFrame(bool silenceOnUnderrun);
    void stepDigits();
    void updateRemote();
    // True when a packet from src may reach the call (and makes it the media's way back).
    bool acceptSource(const struct sa* src, const struct rtp_header* hdr);

    SipWaveDevice& m_waveOut;
    SipWaveDevice& m_waveIn;
    Events m_events;
    Options m_options;
    Stats m_stats;

    std::unique_ptr<SipSrtp> m_srtp; // before m_rtp: its helper goes first
    struct rtp_sock* m_rtp = nullptr;
    struct sdp_session* m_sdp = nullptr;
    struct sdp_media* m_sdpMedia = nullptr;
    struct jbuf* m_jbuf = nullptr;
    struct telev* m_telev = nullptr;
    struct dtmf_dec* m_dtmf = nullptr;
    struct tmr m_timer;

    bool m_running = false;
    bool m_inband = false;
    bool m_haveRemote = false;
    // Where media comes from. The address the caller's SDP names always wins: once media comes
    // from there, only it is taken. Until then another source is taken (a caller behind a router)
    // after a run of packets in sequence from it, and kept; with SRTP its first packet is proof.
    struct sa m_sdpRemote;
    bool m_sdpSeen = false; // media has come from m_sdpRemote: only it counts from now on
    bool m_latched = false; // media has come from m_remote: it stays there unless the SDP's wins
    struct sa m_candidate;  // a source being learned, with the last sequence number and run
    uint16_t m_candidateSeq = 0;
    unsigned m_candidateRun = 0;
    bool m_sendAllowed = true;
    bool m_expectRtp = true;
    struct sa m_remote;
    int m_sendPt = -1;  // G.711 payload type chosen from the caller's preference
    int m_televPt = -1; // the peer's telephone-event payload type
    uint32_t m_ts = 0;
    uint32_t m_televTs = 0;
    bool m_firstPacket = true;
    std::chrono::steady_clock::time_point m_next;
    std::chrono::steady_clock::time_point m_lastRx;
    std::chrono::steady_clock::time_point m_startedAt;
    std::chrono::steady_clock::time_point m_firstSend;
    std::vector<int16_t> m_rxPending;
    unsigned m_owedFrames = 0;

    std::string m_digitQueue;
    unsigned m_digitTicks = 5;
    enum class DigitPhase { Idle, Down, Gap } m_digitPhase = DigitPhase::Idle;
    unsigned m_digitTicksLeft = 0;
    int m_digitCode = 0;
};

} // namespace kalvo::sip
