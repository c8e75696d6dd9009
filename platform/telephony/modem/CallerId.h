// Caller identification as a voice modem reports it between the rings: formatted lines
// (DATE, TIME, NMBR, NAME) or the raw message as hex (MESG), single- or multiple-data-message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kalvo::modem {

struct CallerId
{
    std::string date; // MMDD
    std::string time; // HHMM
    std::optional<std::string> number;
    std::optional<std::string> name;
    // Why the number or name is missing: 'P' private (withheld), 'O' out of area, 0 none given.
    char numberAbsence = 0;
    char nameAbsence = 0;

    bool empty() const
    {
        return date.empty() && time.empty() && !number && !name && !numberAbsence && !nameAbsence;
    }
    // Why a part is missing, 'P', 'O' or 0, for the caller as a whole: a missing name's reason
    // (or, without one, the number's), else the number's. A withheld number withholds the name.
    char absence() const
    {
        if (!name)
            return nameAbsence ? nameAbsence : numberAbsence;
        return numberAbsence;
    }
};

// Decodes a raw caller-ID message (type, length, body, checksum). @return false when the checksum
// or the layout is wrong; out is then unchanged.
bool decodeCallerIdMessage(const std::vector<uint8_t>& message, CallerId& out);

// Collects the caller-ID lines of one call.
class CallerIdParser
{
public:
    // Takes one line from the modem. @return true when it was a caller-ID line (taken or, for a
    // damaged message, dropped), false when the line means something else.
    bool takeLine(const std::string& line);
    const CallerId& result() const { return m_result; }
    void clear() { m_result = CallerId(); }

private:
    CallerId m_result;
};

// Bytes of a hex text ("80 1A 01 ..." or "801A01..."). @return false on anything but hex digits and blanks.
bool parseHex(const std::string& text, std::vector<uint8_t>& out);

} // namespace kalvo::modem
