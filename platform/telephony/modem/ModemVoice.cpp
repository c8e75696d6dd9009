// A modem line's voice streams: the caller's audio through AT+VRX, playback through AT+VTX paced a
// little ahead of the modem, both at once through AT+VTR where the modem has it, and the switches
// between them as the program plays and records.
#include "ModemSession.h"

#include "ModemWaveDevice.h"

#include <cstdio>

namespace kalvo::modem {

using namespace std::chrono;
using Outcome = ModemChannel::Outcome;

namespace {
const std::string kReceiveAbort = {char(kDle), '!'};
const std::string kEndOfData = {char(kDle), char(kEtx)};
const std::string kDuplexEnd = {char(kDle), '^'};
// The writes the port may hold before pacing waits for it (the modem's flow control holds us).
constexpr size_t kMaxUnsent = 4096;
} // namespace

void ModemSession::onAudio(const uint8_t* bytes, size_t count)
{
    m_samples.clear();
    decodeSamples(m_profile.format.coding, bytes, count, m_samples, m_rxPending);
    if (!m_samples.empty())
        m_line.waveIn().push(m_samples.data(), m_samples.size());
}

ModemSession::Stream ModemSession::wantedStream() const
{
    // A half-duplex modem either plays or listens: playback wins while the program plays, and we
    // listen otherwise, for the caller's voice, keys and the tones that end a call. A modem with
    // full-duplex voice does both while the program plays during a recording.
    const bool play = m_line.waveOut().active();
    if (play && m_profile.fullDuplex && m_line.waveIn().active())
        return Stream::Duplex;
    return play ? Stream::Transmit : Stream::Receive;
}

void ModemSession::tickVoice()
{
    if (m_phase != ModemLine::Phase::Connected || m_hangUpEvent)
        return;
    const Stream wanted = wantedStream();
    // A stream that hears the caller may also have been ended by the modem (<ETX>).
    const bool ended = m_stream != Stream::Transmit && !m_channel->receiving();
    if (m_stream != Stream::None && (m_stream != wanted || ended))
        stopStream();
    if (m_stream == Stream::None && !m_channel->gone() && !m_hangUpEvent) {
        if (wanted == Stream::Duplex && !startDuplex()) {
            // Said it had AT+VTR but refuses it during the call: from now on it plays or listens,
            // and the line says why it cannot talk.
            m_profile.fullDuplex = false;
            m_line.setDuplex(ModemLine::Duplex::No);
            std::fprintf(stderr, "kalvo modem: line \"%s\": the modem refused AT+VTR; it plays or listens\n",
                         m_line.name().c_str());
            return;
        }
        if (wanted == Stream::Transmit)
            startTransmit();
        else if (wanted == Stream::Receive)
            startReceive();
    }
    if (m_stream == Stream::Transmit || m_stream == Stream::Duplex)
        pace();
}

bool ModemSession::startReceive()
{
    m_rxPending.clear();
    const auto reply = m_channel->command("AT+VRX", seconds(5));
    if (reply.outcome != Outcome::Connect)
        return false;
    m_channel->setReceiving(true);
    m_stream = Stream::Receive;
    return true;
}

bool ModemSession::startTransmit()
{
    const auto reply = m_channel->command("AT+VTX", seconds(5));
    if (reply.outcome != Outcome::Connect)
        return false;
    m_stream = Stream::Transmit;
    m_txStart = Clock::now();
    m_txSent = 0;
    return true;
}

bool ModemSession::startDuplex()
{
    const auto reply = m_channel->command("AT+VTR", seconds(5));
    if (reply.outcome != Outcome::Connect)
        return false;
    m_channel->setReceiving(true);
    // The owner hears the caller now, not after the hold-back that cuts a closing tone.
    m_line.waveIn().setHoldBack(false);
    m_stream = Stream::Duplex;
    m_txStart = Clock::now();
    m_txSent = 0;
    return true;
}

void ModemSession::stopStream()
{
    const Stream stream = m_stream;
    m_stream = Stream::None;
    if (stream == Stream::Duplex) {
        // The modem plays what it holds, ends its data with <ETX> (the caller's audio up to then
        // still arrives) and says OK.
        if (m_channel->receiving() && m_channel->writeRaw(kDuplexEnd))
            m_channel->awaitFinal(seconds(5));
        m_channel->setReceiving(false);
        m_line.waveIn().setHoldBack(true);
    } else if (stream == Stream::Receive) {
        if (m_channel->receiving() && m_channel->writeRaw(kReceiveAbort))
            m_channel->awaitFinal(seconds(3));
        m_channel->setReceiving(false);
    } else if (stream == Stream::Transmit) {
        // The modem plays what it holds, then says OK.
        if (m_channel->writeRaw(kEndOfData))
            m_channel->awaitFinal(seconds(5));
    }
}

void ModemSession::pace()
{
    const auto elapsed = duration_cast<microseconds>(Clock::now() - m_txStart).count();
    const uint64_t due = uint64_t(elapsed) * 8 / 1000 + kLeadSamples;
    int16_t frames[kChunkSamples];
    std::vector<uint8_t> encoded;
    std::string shielded;
    while (m_txSent < due && m_channel->unsent() < kMaxUnsent) {
        size_t got = m_line.waveOut().pull(frames, kChunkSamples);
        // Between the end of a file and the program stopping the device the caller hears silence.
        for (; got < kChunkSamples; ++got)
            frames[got] = 0;
        encoded.clear();
        encodeSamples(m_profile.format.coding, frames, kChunkSamples, encoded);
        dleShield(encoded.data(), encoded.size(), shielded);
        m_txSent += kChunkSamples;
    }
    if (!shielded.empty())
        m_channel->writeRaw(shielded);
}

} // namespace kalvo::modem
