// Warnings of a SIP line on stderr: text from the network escaped, and each kind of warning held to
// a few lines a minute so a flood of bad datagrams cannot flood the log.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace kalvo::sip {

class SipWarnings
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Output = std::function<void(const std::string& line)>;

    // now and output default to the steady clock and stderr.
    explicit SipWarnings(Clock now = {}, Output output = {});

    // text with every byte outside printable ASCII written as \xNN, cut after maxBytes (marked "...").
    static std::string escape(std::string_view text, size_t maxBytes = 160);

    // Writes "kalvo sip: " + line, unless kind has had kBurst lines in the current minute; the
    // first line of a kind after such a pause tells how many were left out.
    void warn(const std::string& kind, const std::string& line);

    static constexpr unsigned kBurst = 5;

private:
    struct Kind
    {
        std::chrono::steady_clock::time_point windowStart;
        unsigned written = 0;
        unsigned suppressed = 0;
    };
    Clock m_now;
    Output m_output;
    std::map<std::string, Kind> m_kinds;
};

} // namespace kalvo::sip
