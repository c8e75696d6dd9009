// Scenario files of a simulated line: one timed caller event per line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kalvo::sim {

// "<seconds> <event> [arguments]"; seconds count from the line's first open, "+seconds" from the
// previous event. Events: offer [number=TEXT] [name=TEXT], ring [COUNT], callinfo, audio FILE,
// digits DIGITS, hangup, answered (the remote party of an outgoing call answers).
struct SimScenarioEvent
{
    double at = 0; // seconds after the line was opened
    enum class Kind { Offer, Ring, CallInfo, Audio, Digits, HangUp, RemoteAnswer } kind = Kind::Ring;
    std::optional<std::string> number;
    std::optional<std::string> name;
    int count = 1;
    std::string text; // digits, or the audio file's path (made absolute)
};

// Parses a scenario file. @return false and error ("file:line: reason") on the first bad line.
bool loadScenario(const std::string& path, std::vector<SimScenarioEvent>& events, std::string& error);

// Parses scenario text; relative audio paths are taken from baseDir.
bool parseScenario(const std::string& text, const std::string& baseDir, const std::string& name,
                   std::vector<SimScenarioEvent>& events, std::string& error);

} // namespace kalvo::sim
