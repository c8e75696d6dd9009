// Changes the keys of one [LineN] section of the telephony configuration in place: every other
// line, section and comment stays as written, and the file is replaced atomically.
#pragma once

#include <map>
#include <string>

namespace kalvo::telephony {

class TelephonyConfigWriter
{
public:
    // Sets each key of values in section [Line<lineNumber>] of text: an existing key line gets the
    // new value, a missing key is added at the end of the section, and a key whose value is empty is
    // removed. @return the new text; error is set (and text returned unchanged) when there is no
    // such section.
    static std::string apply(const std::string& text, unsigned lineNumber,
                             const std::map<std::string, std::string>& values, std::string& error);

    // Reads path, applies values and writes the result to a temporary file beside it, flushes it to
    // disk and renames it over path. @return false with error set on any failure (path unchanged).
    static bool update(const std::string& path, unsigned lineNumber,
                       const std::map<std::string, std::string>& values, std::string& error);
};

} // namespace kalvo::telephony
