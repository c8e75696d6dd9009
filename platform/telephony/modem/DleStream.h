// The <DLE> shielding of a voice modem's data: decoding what the modem sends (audio or text with
// <DLE> events in between) and shielding what we send during playback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kalvo::modem {

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kEtx = 0x03;

// Splits the modem's byte stream into data and <DLE> events. A read may end between <DLE> and its
// code; the decoder keeps that state, so reads can be fed as they come.
class DleDecoder
{
public:
    class Handler
    {
    public:
        virtual ~Handler() = default;
        // Plain bytes (a shielded <DLE><DLE> arrives as one 0x10 byte here).
        virtual void data(const uint8_t* bytes, size_t count) = 0;
        // <DLE> followed by code: a touch-tone key, a tone, <ETX> at the end of a stream ...
        virtual void event(char code) = 0;
    };

    // Decodes bytes, calling handler in stream order. The handler may change how it treats later
    // data from inside event() (an <ETX> ends audio and text follows in the same read).
    void feed(const uint8_t* bytes, size_t count, Handler& handler);
    // Forgets a pending <DLE> (the port was reopened).
    void reset() { m_pendingDle = false; }

private:
    bool m_pendingDle = false;
};

// Appends bytes to out with every <DLE> doubled, as playback data must be.
void dleShield(const uint8_t* bytes, size_t count, std::string& out);

} // namespace kalvo::modem
