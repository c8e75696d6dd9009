// Reads the telephony configuration: one [LineN] section per line and the [location] section.
#pragma once

#include "LineProvider.h"

#include <string>
#include <vector>

namespace kalvo::telephony {

class TelephonyConfig
{
public:
    // Reads path; when it does not exist, creates it with the default SIP line first.
    static TelephonyConfig load(const std::string& path);

    // Parses text as if read from path (no file access).
    static TelephonyConfig parse(const std::string& text, const std::string& path);

    // The text of a new configuration file.
    static std::string defaultText();

    // The [LineN] sections in order of N (deviceId holds N).
    const std::vector<LineConfig>& lines() const { return m_lines; }

    // Country and area code of [location]; hasLocation() is false without that section.
    bool hasLocation() const { return m_hasLocation; }
    const std::string& countryCode() const { return m_countryCode; }
    const std::string& areaCode() const { return m_areaCode; }

    // Syntax problems, unknown sections and keys of [location], one message each.
    const std::vector<std::string>& problems() const { return m_problems; }

private:
    std::vector<LineConfig> m_lines;
    bool m_hasLocation = false;
    std::string m_countryCode;
    std::string m_areaCode;
    std::vector<std::string> m_problems;
};

} // namespace kalvo::telephony
