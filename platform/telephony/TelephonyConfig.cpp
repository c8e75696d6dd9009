// Telephony configuration parsing and the default file.
#include "TelephonyConfig.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kalvo::telephony {

namespace {

std::string trim(const std::string& s)
{
    const char* ws = " \t\r\n";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

// "Line12" -> 12; -1 when the name is not a line section.
long lineNumber(const std::string& section)
{
    if (section.size() < 5 || section.compare(0, 4, "Line") != 0)
        return -1;
    long n = 0;
    for (size_t i = 4; i < section.size(); ++i) {
        if (section[i] < '0' || section[i] > '9' || n > 100000)
            return -1;
        n = n * 10 + (section[i] - '0');
    }
    return n;
}

} // namespace

std::string TelephonyConfig::defaultText()
{
    return "# Kalvo telephony lines: one [LineN] section per line, in device order.\n"
           "# provider = sip (a SIP line) or sim (a simulated line for tests); see the README.\n"
           "\n"
           "[Line0]\n"
           "name = SIP Line\n"
           "provider = sip\n"
           "listen = 0.0.0.0:5060\n"
           "ring_interval = 6\n"
           "\n"
           "[location]\n"
           "country_code = 1\n"
           "area_code =\n";
}

TelephonyConfig TelephonyConfig::load(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        std::filesystem::path p(path);
        if (p.has_parent_path())
            std::filesystem::create_directories(p.parent_path(), ec);
        std::ofstream out(path);
        out << defaultText();
        if (!out) {
            TelephonyConfig config = parse(defaultText(), path);
            config.m_problems.push_back(path +
                                        ": cannot create the default configuration: " + std::strerror(errno));
            return config;
        }
    }
    std::ifstream in(path);
    if (!in) {
        TelephonyConfig config;
        config.m_problems.push_back(path + ": cannot read: " + std::strerror(errno));
        return config;
    }
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str(), path);
}

TelephonyConfig TelephonyConfig::parse(const std::string& text, const std::string& path)
{
    TelephonyConfig config;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    enum class Section { None, Line, Location, Unknown } section = Section::None;
    LineConfig* line = nullptr;
    auto where = [&] { return path + ":" + std::to_string(lineNo) + ": "; };

    while (std::getline(in, raw)) {
        ++lineNo;
        std::string s = trim(raw);
        if (s.empty() || s[0] == '#' || s[0] == ';')
            continue;
        if (s.front() == '[') {
            if (s.back() != ']') {
                config.m_problems.push_back(where() + "malformed section header '" + s + "'");
                section = Section::Unknown;
                continue;
            }
            std::string name = trim(s.substr(1, s.size() - 2));
            long n = lineNumber(name);
            line = nullptr;
            if (n >= 0) {
                auto dup = std::find_if(config.m_lines.begin(), config.m_lines.end(),
                                        [&](const LineConfig& l) { return l.deviceId == DWORD(n); });
                if (dup != config.m_lines.end()) {
                    config.m_problems.push_back(where() + "section [" + name + "] appears twice; ignored");
                    section = Section::Unknown;
                    continue;
                }
                section = Section::Line;
                config.m_lines.push_back(LineConfig{DWORD(n), {}, {}, {}, path});
                line = &config.m_lines.back();
            } else if (name == "location") {
                section = Section::Location;
                config.m_hasLocation = true;
            } else {
                config.m_problems.push_back(where() + "unknown section [" + name + "]");
                section = Section::Unknown;
            }
            continue;
        }
        size_t eq = s.find('=');
        if (eq == std::string::npos) {
            config.m_problems.push_back(where() + "expected key = value, found '" + s + "'");
            continue;
        }
        std::string key = trim(s.substr(0, eq));
        std::string value = trim(s.substr(eq + 1));
        switch (section) {
        case Section::None:
            config.m_problems.push_back(where() + "key '" + key + "' outside any section");
            break;
        case Section::Unknown:
            break;
        case Section::Location:
            if (key == "country_code")
                config.m_countryCode = value;
            else if (key == "area_code")
                config.m_areaCode = value;
            else
                config.m_problems.push_back(where() + "unknown key '" + key + "' in [location]");
            break;
        case Section::Line:
            if (key == "name")
                line->name = value;
            else if (key == "provider")
                line->provider = value;
            else if (line->keys.count(key))
                config.m_problems.push_back(where() + "key '" + key + "' repeated; the last one counts");
            if (key != "name" && key != "provider")
                line->keys[key] = value;
            break;
        }
    }
    std::sort(config.m_lines.begin(), config.m_lines.end(),
              [](const LineConfig& a, const LineConfig& b) { return a.deviceId < b.deviceId; });
    return config;
}

} // namespace kalvo::telephony
