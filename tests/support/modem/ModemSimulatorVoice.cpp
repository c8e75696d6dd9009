// The modem simulator's calls: rings with caller ID, the caller's voice during AT+VRX, the events,
// and the modelled playback buffer during AT+VTX.
#include "ModemSimulator.h"

#include "VoiceFormat.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace kalvo::modem::test {

using namespace std::chrono;
using Clock = steady_clock;

namespace {
const char kDle = 0x10;
const char kEtx = 0x03;

kalvo::modem::SampleCoding codingOf(int method, const std::vector<std::string>& formats)
{
    for (const std::string& format : formats) {
        kalvo::modem::OfferedFormat offered;
        kalvo::modem::SampleCoding coding;
        if (kalvo::modem::parseOfferedFormat(format, offered) && offered.method == method &&
            kalvo::modem::codingOfName(offered.name, offered.bitsPerSample, coding))
            return coding;
    }
    return kalvo::modem::SampleCoding::MuLaw;
}
} // namespace

size_t ModemSimulator::roomBytes() const
{
    if ((m_mode != Mode::Transmit && m_mode != Mode::Duplex) || m_txEnded)
        return 4096;
    const double room = double(m_model.bufferSamples) - m_fill;
    const bool wide = codingOf(m_method, m_model.formats) == kalvo::modem::SampleCoding::Linear16;
    return room < 1 ? 0 : size_t(room) * (wide ? 2 : 1);
}

void ModemSimulator::tick()
{
    if (m_model.garbage && Clock::now() - m_lastNoise > milliseconds(200)) {
        m_lastNoise = Clock::now();
        send("\x9c\xff\x10\x10\xfeOK?\x7f");
    }
    tickRinging();
    if (m_offHook)
        tickCall();
    if (m_mode == Mode::Transmit || m_mode == Mode::Duplex)
        drainBuffer();
}

void ModemSimulator::tickRinging()
{
    const auto now = Clock::now();
    if (!m_ringing || m_offHook || now < m_nextRing)
        return;
    if (m_ringsSent >= m_caller.rings) {
        m_ringing = false; // the caller gave up
        return;
    }
    if (m_ringsSent == 0)
        m_firstRing = now;
    sendLine("RING");
    if (++m_ringsSent == 1)
        for (const std::string& line : m_caller.callerId)
            sendLine(line);
    m_nextRing = now + milliseconds(m_caller.ringIntervalMs);
}

void ModemSimulator::tickCall()
{
    const auto since = duration_cast<milliseconds>(Clock::now() - m_offHookAt).count();
    while (m_eventsSent < m_caller.events.size() && m_caller.events[m_eventsSent].first <= since)
        send(std::string{kDle, m_caller.events[m_eventsSent++].second});
    if (m_mode == Mode::Receive || m_mode == Mode::Duplex)
        receiveTick();
    // The far end's tone or silence is reported once the voice has been heard to its end.
    const int64_t voiceMs = int64_t(m_caller.voice.size()) / 8;
    if (m_caller.endEvent && !m_endSent && since >= voiceMs) {
        m_endSent = true;
        send(std::string{kDle, m_caller.endEvent});
    }
}

void ModemSimulator::receiveTick()
{
    const uint64_t due = uint64_t(duration_cast<microseconds>(Clock::now() - m_offHookAt).count()) * 8 / 1000;
    if (due < m_voiceAt + 160)
        return;
    std::vector<int16_t> samples;
    bool silenceEnds = false;
    for (uint64_t i = m_voiceAt; i < due; ++i) {
        samples.push_back(i < m_caller.voice.size() ? m_caller.voice[i] : 0);
        m_quietSamples = std::abs(samples.back()) < 300 ? m_quietSamples + 1 : 0;
        silenceEnds = silenceEnds || (m_silenceMs > 0 && m_quietSamples == uint64_t(m_silenceMs) * 8);
    }
    m_voiceAt = due;
    std::vector<uint8_t> bytes;
    kalvo::modem::encodeSamples(codingOf(m_method, m_model.formats), samples.data(), samples.size(), bytes);
    std::string shielded;
    for (uint8_t b : bytes) {
        shielded.push_back(char(b));
        if (b == uint8_t(kDle))
            shielded.push_back(kDle);
    }
    send(shielded);
    if (silenceEnds)
        send(std::string{kDle, 's'});
}

void ModemSimulator::transmitData(const uint8_t* bytes, size_t count)
{
    std::vector<uint8_t> data;
    for (size_t i = 0; i < count; ++i) {
        const char c = char(bytes[i]);
        if (m_pendingDle) {
            m_pendingDle = false;
            if (c == kDle)
                data.push_back(uint8_t(kDle));
            else if (c == (m_mode == Mode::Duplex ? '^' : kEtx))
                m_txEnded = true; // each stream has its own end; the other codes change nothing
            continue;
        }
        if (c == kDle)
            m_pendingDle = true;
        else if (!m_txEnded)
            data.push_back(uint8_t(c));
    }
    std::vector<int16_t> samples;
    std::vector<uint8_t> pending;
    kalvo::modem::decodeSamples(codingOf(m_method, m_model.formats), data.data(), data.size(), samples,
                                pending);
    if (samples.empty())
        return;
    drainBuffer();
    if (!m_txStarted) {
        m_txStarted = true;
        m_txClock = m_txFirst = Clock::now();
        m_stats.minFill = SIZE_MAX;
        m_stats.maxFill = 0;
    }
    m_played.insert(m_played.end(), samples.begin(), samples.end());
    m_stats.samples += samples.size();
    const bool wasFull = m_fill >= double(m_model.bufferSamples) - 1;
    m_fill += double(samples.size());
    if (m_fill >= double(m_model.bufferSamples) - 1 && !wasFull)
        ++m_stats.overflows;
    m_stats.maxFill = std::max(m_stats.maxFill, size_t(m_fill));
}

void ModemSimulator::drainBuffer()
{
    const auto now = Clock::now();
    if (m_txStarted) {
        const double elapsed = double(duration_cast<microseconds>(now - m_txClock).count()) * 8 / 1000;
        m_txClock = now;
        const bool wasFull = m_fill > 0;
        m_fill -= elapsed;
        if (m_fill < 0) {
            // Empty before the end was sent: the caller heard a gap.
            if (wasFull && !m_txEnded)
                ++m_stats.underruns;
            m_fill = 0;
        }
        // The least is taken once playback is under way, not while the first data arrives.
        if (!m_txEnded && now - m_txFirst > milliseconds(300))
            m_stats.minFill = std::min(m_stats.minFill, size_t(m_fill));
    }
    if (m_txEnded && m_fill <= 0) {
        // Voice duplex also ends the data it sent the computer.
        if (m_mode == Mode::Duplex)
            send(std::string{kDle, kEtx});
        m_mode = Mode::Command;
        m_txStarted = false;
        send("\r\nOK\r\n");
    }
}

} // namespace kalvo::modem::test
