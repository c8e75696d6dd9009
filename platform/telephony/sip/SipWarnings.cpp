// Escaped, rate-limited warnings of a SIP line.
#include "SipWarnings.h"

#include <cstdio>

namespace kalvo::sip {

SipWarnings::SipWarnings(Clock now, Output output) : m_now(std::move(now)), m_output(std::move(output))
{
    if (!m_now)
        m_now = [] { return std::chrono::steady_clock::now(); };
    if (!m_output)
        m_output = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
}

std::string SipWarnings::escape(std::string_view text, size_t maxBytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == maxBytes) {
            out += "...";
            break;
        }
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\x";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
    }
    return out;
}

void SipWarnings::warn(const std::string& kind, const std::string& line)
{
    const auto now = m_now();
    Kind& k = m_kinds[kind];
    if (k.written == 0 || now - k.windowStart >= std::chrono::minutes(1)) {
        std::string text = "kalvo sip: " + line;
        if (k.suppressed > 0)
            text += " (" + std::to_string(k.suppressed) + " more like it left out)";
        k.windowStart = now;
        k.written = 1;
        k.suppressed = 0;
        m_output(text);
        return;
    }
    if (k.written >= kBurst) {
        ++k.suppressed;
        return;
    }
    ++k.written;
    m_output("kalvo sip: " + line);
}

} // namespace kalvo::sip
