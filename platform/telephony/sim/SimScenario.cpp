// Scenario file parsing for simulated lines.
#include "SimScenario.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kalvo::sim {

namespace {

// Splits into words; double quotes group a word (key="two words"), backslash escapes inside them.
bool splitWords(const std::string& line, std::vector<std::string>& words)
{
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size())
                word += line[++i];
            else if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return false;
    if (inWord)
        words.push_back(word);
    return true;
}

} // namespace

bool parseScenario(const std::string& text, const std::string& baseDir, const std::string& name,
                   std::vector<SimScenarioEvent>& events, std::string& error)
{
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    double last = 0;
    events.clear();
    while (std::getline(in, raw)) {
        ++lineNo;
        auto fail = [&](const std::string& why) {
            error = name + ":" + std::to_string(lineNo) + ": " + why;
            return false;
        };
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        std::vector<std::string> words;
        if (!splitWords(raw, words))
            return fail("unterminated quote");
        if (words.empty() || words[0][0] == '#')
            continue;
        if (words.size() < 2)
            return fail("expected '<seconds> <event>'");
        SimScenarioEvent ev;
        bool relative = words[0][0] == '+';
        const char* start = words[0].c_str() + (relative ? 1 : 0);
        char* end = nullptr;
        double t = std::strtod(start, &end);
        if (end == start || *end || t < 0)
            return fail("bad time '" + words[0] + "'");
        ev.at = relative ? last + t : t;
        if (ev.at < last)
            return fail("events must be in time order");
        last = ev.at;
        const std::string& kind = words[1];
        if (kind == "offer") {
            ev.kind = SimScenarioEvent::Kind::Offer;
            for (size_t i = 2; i < words.size(); ++i) {
                size_t eq = words[i].find('=');
                std::string key = words[i].substr(0, eq);
                if (eq == std::string::npos || (key != "number" && key != "name"))
                    return fail("offer takes number=TEXT and name=TEXT, not '" + words[i] + "'");
                (key == "number" ? ev.number : ev.name) = words[i].substr(eq + 1);
            }
        } else if (kind == "ring") {
            ev.kind = SimScenarioEvent::Kind::Ring;
            if (words.size() > 2) {
                ev.count = std::atoi(words[2].c_str());
                if (ev.count < 1 || ev.count > 1000)
                    return fail("bad ring count '" + words[2] + "'");
            }
        } else if (kind == "callinfo") {
            ev.kind = SimScenarioEvent::Kind::CallInfo;
        } else if (kind == "audio") {
            if (words.size() != 3)
                return fail("audio takes one file name");
            ev.kind = SimScenarioEvent::Kind::Audio;
            std::filesystem::path p(words[2]);
            ev.text = p.is_absolute() ? p.string() : (std::filesystem::path(baseDir) / p).string();
        } else if (kind == "digits") {
            if (words.size() != 3 || words[2].find_first_not_of("0123456789*#ABCD") != std::string::npos)
                return fail("digits takes one word of 0-9 * # A-D");
            ev.kind = SimScenarioEvent::Kind::Digits;
            ev.text = words[2];
        } else if (kind == "hangup") {
            ev.kind = SimScenarioEvent::Kind::HangUp;
        } else if (kind == "answered") {
            ev.kind = SimScenarioEvent::Kind::RemoteAnswer;
        } else {
            return fail("unknown event '" + kind + "'");
        }
        events.push_back(ev);
    }
    return true;
}

bool loadScenario(const std::string& path, std::vector<SimScenarioEvent>& events, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read scenario " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return parseScenario(text.str(), std::filesystem::path(path).parent_path().string(), path, events, error);
}

} // namespace kalvo::sim
