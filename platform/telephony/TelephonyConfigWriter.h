// Changes the keys of one [LineN] section of the telephony configuration in place: every other
// line, section and comment stays as written, and the file is replaced atomically.
#pragma once

#include "LineProvider.h"

#include <functional>
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

    // Adds a section [LineN] with name and provider at the end of text, N one past the highest line
    // number (lineNumber is set to it). @return the new text.
    static std::string addLine(const std::string& text, const std::string& name, const std::string& provider,
                               unsigned& lineNumber);
    // Removes section [Line<lineNumber>] with its keys and comments. @return the new text.
    static std::string removeLine(const std::string& text, unsigned lineNumber);

    // Reads the whole file. @return false with error set when it cannot be read.
    static bool read(const std::string& path, std::string& text, std::string& error);
    // Writes text to a temporary file beside path, flushes it and renames it over path.
    // @return false with error set on any failure (path unchanged).
    static bool replace(const std::string& path, const std::string& text, std::string& error);

    // What a line's settings dialog does on OK: puts values into a copy of line (an empty value
    // removes its key), lets check (the provider's own parser) read the copy as the line will, and
    // writes values into path. @return empty when saved, else one sentence for the user.
    static std::string checkAndUpdate(const std::string& path, const LineConfig& line,
                                      const std::map<std::string, std::string>& values,
                                      const std::function<bool(const LineConfig&, std::string&)>& check);
};

} // namespace kalvo::telephony
