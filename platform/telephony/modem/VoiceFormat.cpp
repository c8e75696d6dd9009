// Voice formats: the AT+VSM=? list, the choice by name, and sample coding.
#include "VoiceFormat.h"

#include <cctype>
#include <cstdlib>

namespace kalvo::modem {

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool contains(const std::string& text, const char* piece)
{
    return text.find(piece) != std::string::npos;
}

// "(7200,8000,11025)" or "(7200-11025)" or "8000" into ranges.
std::vector<std::pair<int, int>> parseRates(const std::string& field)
{
    std::vector<std::pair<int, int>> ranges;
    std::string item;
    auto flush = [&] {
        if (item.empty())
            return;
        const size_t dash = item.find('-');
        const int lo = std::atoi(item.substr(0, dash).c_str());
        const int hi = dash == std::string::npos ? lo : std::atoi(item.substr(dash + 1).c_str());
        ranges.emplace_back(lo, hi);
        item.clear();
    };
    for (char c : field) {
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '-')
            item.push_back(c);
        else if (c == ',')
            flush();
    }
    flush();
    return ranges;
}

// Splits at commas that are outside quotes and parentheses.
std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> out(1);
    int depth = 0;
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '(')
            ++depth;
        else if (!quoted && c == ')')
            --depth;
        if (c == ',' && !quoted && depth == 0)
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

} // namespace

bool OfferedFormat::offersRate(int rate) const
{
    for (const auto& [lo, hi] : rates)
        if (rate >= lo && rate <= hi)
            return true;
    return false;
}

bool parseOfferedFormat(const std::string& line, OfferedFormat& out)
{
    std::vector<std::string> columns = fields(line);
    if (columns.size() < 5)
        return false;
    char* end = nullptr;
    const long method = std::strtol(columns[0].c_str(), &end, 10);
    if (end == columns[0].c_str())
        return false;
    std::string name = columns[1];
    const size_t q1 = name.find('"'), q2 = name.rfind('"');
    if (q1 == std::string::npos || q2 == q1)
        return false;
    out.method = int(method);
    out.name = name.substr(q1 + 1, q2 - q1 - 1);
    out.bitsPerSample = std::atoi(columns[2].c_str());
    out.rates = parseRates(columns[4]);
    return true;
}

bool codingOfName(const std::string& rawName, int bitsPerSample, SampleCoding& out)
{
    const std::string name = upper(rawName);
    if (contains(name, "ADPCM"))
        return false;
    if (contains(name, "ULAW") || contains(name, "U-LAW") || contains(name, "MULAW") ||
        contains(name, "G.711U") || contains(name, "G711U") || contains(name, "MU-LAW")) {
        out = SampleCoding::MuLaw;
        return true;
    }
    if (contains(name, "ALAW") || contains(name, "A-LAW") || contains(name, "G.711A") ||
        contains(name, "G711A")) {
        out = SampleCoding::ALaw;
        return true;
    }
    if (contains(name, "LINEAR") || contains(name, "PCM")) {
        if (bitsPerSample == 16 || contains(name, "16")) {
            out = SampleCoding::Linear16;
            return true;
        }
        if (bitsPerSample == 8 || contains(name, "8")) {
            // "SIGNED PCM" is two's complement; "UNSIGNED PCM" and "8-BIT LINEAR" are offset by 128.
            const bool isSigned = contains(name, "SIGNED") && !contains(name, "UNSIGNED");
            out = isSigned ? SampleCoding::Signed8 : SampleCoding::Linear8;
            return true;
        }
    }
    return false;
}

bool chooseVoiceFormat(const std::vector<OfferedFormat>& offered, VoiceFormat& out)
{
    for (SampleCoding wanted : {SampleCoding::MuLaw, SampleCoding::ALaw, SampleCoding::Linear16,
                                SampleCoding::Linear8, SampleCoding::Signed8}) {
        for (const OfferedFormat& format : offered) {
            SampleCoding coding;
            if (!codingOfName(format.name, format.bitsPerSample, coding) || coding != wanted ||
                !format.offersRate(8000))
                continue;
            out.method = format.method;
            out.name = format.name;
            out.coding = coding;
            return true;
        }
    }
    return false;
}

uint8_t linearToMuLaw(int16_t sample)
{
    constexpr int kBias = 0x84, kClip = 32635;
    int value = sample;
    const int sign = value < 0 ? 0x80 : 0;
    if (value < 0)
        value = -value;
    if (value > kClip)
        value = kClip;
    value += kBias;
    int exponent = 7;
    for (int mask = 0x4000; (value & mask) == 0 && exponent > 0; mask >>= 1)
        --exponent;
    const int mantissa = (value >> (exponent + 3)) & 0x0F;
    return uint8_t(~(sign | exponent << 4 | mantissa));
}

int16_t muLawToLinear(uint8_t byte)
{
    const int u = ~byte & 0xFF;
    const int exponent = (u >> 4) & 0x07;
    const int mantissa = u & 0x0F;
    const int magnitude = ((mantissa << 3) + 0x84) << exponent;
    return int16_t((u & 0x80) ? 0x84 - magnitude : magnitude - 0x84);
}

uint8_t linearToALaw(int16_t sample)
{
    int value = sample >> 3; // 13-bit magnitude
    int sign = 0x80;
    if (value < 0) {
        sign = 0;
        value = -value - 1;
    }
    if (value > 0x0FFF)
        value = 0x0FFF;
    uint8_t coded;
    if (value < 32) {
        coded = uint8_t(value >> 1);
    } else {
        int exponent = 1;
        for (int v = value >> 5; v > 1; v >>= 1)
            ++exponent;
        coded = uint8_t(exponent << 4 | ((value >> exponent) & 0x0F));
    }
    return uint8_t((coded | sign) ^ 0x55);
}

int16_t aLawToLinear(uint8_t byte)
{
    const int a = byte ^ 0x55;
    const int exponent = (a >> 4) & 0x07;
    const int mantissa = a & 0x0F;
    int magnitude = exponent == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
    return int16_t((a & 0x80) ? magnitude : -magnitude);
}

void encodeSamples(SampleCoding coding, const int16_t* samples, size_t count, std::vector<uint8_t>& out)
{
    for (size_t i = 0; i < count; ++i) {
        const int16_t s = samples[i];
        switch (coding) {
        case SampleCoding::MuLaw:
            out.push_back(linearToMuLaw(s));
            break;
        case SampleCoding::ALaw:
            out.push_back(linearToALaw(s));
            break;
        case SampleCoding::Linear16:
            out.push_back(uint8_t(uint16_t(s) & 0xFF));
            out.push_back(uint8_t(uint16_t(s) >> 8));
            break;
        case SampleCoding::Linear8:
            out.push_back(uint8_t((s >> 8) + 128));
            break;
        case SampleCoding::Signed8:
            out.push_back(uint8_t(int8_t(s >> 8)));
            break;
        }
    }
}

void decodeSamples(SampleCoding coding, const uint8_t* bytes, size_t count, std::vector<int16_t>& out,
                   std::vector<uint8_t>& pending)
{
    if (coding == SampleCoding::Linear16) {
        pending.insert(pending.end(), bytes, bytes + count);
        size_t i = 0;
        for (; i + 1 < pending.size(); i += 2)
            out.push_back(int16_t(uint16_t(pending[i] | pending[i + 1] << 8)));
        pending.erase(pending.begin(), pending.begin() + long(i));
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        switch (coding) {
        case SampleCoding::MuLaw:
            out.push_back(muLawToLinear(bytes[i]));
            break;
        case SampleCoding::ALaw:
            out.push_back(aLawToLinear(bytes[i]));
            break;
        case SampleCoding::Signed8:
            out.push_back(int16_t(int(int8_t(bytes[i])) * 256));
            break;
        default:
            out.push_back(int16_t((int(bytes[i]) - 128) * 256));
            break;
        }
    }
}

} // namespace kalvo::modem
