// The voice sample formats a modem offers (its AT+VSM=? list), the one we choose, and the
// conversion between its bytes and 16-bit samples at 8000 Hz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kalvo::modem {

// Linear8 is unsigned (offset 128), as modems send 8-bit linear; Signed8 is two's complement.
enum class SampleCoding { MuLaw, ALaw, Linear16, Linear8, Signed8 };

// One entry of the AT+VSM=? list: compression method number, name, bits per sample, rates.
struct OfferedFormat
{
    int method = 0;
    std::string name;
    int bitsPerSample = 0;
    std::vector<std::pair<int, int>> rates; // ranges; a single rate is {r, r}
    bool offersRate(int rate) const;
};

struct VoiceFormat
{
    int method = 0;
    std::string name;
    SampleCoding coding = SampleCoding::MuLaw;
    size_t bytesPerSample() const { return coding == SampleCoding::Linear16 ? 2 : 1; }
};

// Parses one line of the AT+VSM=? answer ('131,"G.711U",8,0,(8000),(0),(0)'). @return false when
// the line is not a format.
bool parseOfferedFormat(const std::string& line, OfferedFormat& out);

// Chooses from the offered formats by name, at 8000 Hz: G.711 u-law, then A-law, then 16-bit
// linear, then 8-bit linear (unsigned, then signed). @return false when none fits.
bool chooseVoiceFormat(const std::vector<OfferedFormat>& offered, VoiceFormat& out);

// The coding a format's name stands for. @return false for a format we cannot use (ADPCM ...).
bool codingOfName(const std::string& name, int bitsPerSample, SampleCoding& out);

// Converts samples to the modem's bytes and back.
void encodeSamples(SampleCoding coding, const int16_t* samples, size_t count, std::vector<uint8_t>& out);
// Decodes whole samples from bytes; a trailing half sample of 16-bit audio stays in pending.
void decodeSamples(SampleCoding coding, const uint8_t* bytes, size_t count, std::vector<int16_t>& out,
                   std::vector<uint8_t>& pending);

uint8_t linearToMuLaw(int16_t sample);
int16_t muLawToLinear(uint8_t byte);
uint8_t linearToALaw(int16_t sample);
int16_t aLawToLinear(uint8_t byte);

} // namespace kalvo::modem
