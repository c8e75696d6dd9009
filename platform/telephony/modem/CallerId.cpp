// Caller-ID parsing: formatted lines and raw single/multiple-data messages.
#include "CallerId.h"

#include <cctype>

namespace kalvo::modem {

namespace {

constexpr uint8_t kSingleDataMessage = 0x04;
constexpr uint8_t kMultipleDataMessage = 0x80;
// Parameter types of the multiple-data message.
constexpr uint8_t kParamDateTime = 0x01;
constexpr uint8_t kParamNumber = 0x02;
constexpr uint8_t kParamNumberAbsent = 0x04;
constexpr uint8_t kParamName = 0x07;
constexpr uint8_t kParamNameAbsent = 0x08;

std::string trim(const std::string& text)
{
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    size_t e = text.find_last_not_of(" \t\r\n");
    return text.substr(b, e - b + 1);
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A single "O" or "P" stands for a number or name that is not given.
bool isAbsence(const std::string& value)
{
    return value == "O" || value == "P";
}

void takeDateTime(const std::string& digits, CallerId& out)
{
    if (digits.size() >= 8) {
        out.date = digits.substr(0, 4);
        out.time = digits.substr(4, 4);
    }
}

bool decodeSingle(const uint8_t* body, size_t length, CallerId& out)
{
    if (length < 8)
        return false;
    std::string text(reinterpret_cast<const char*>(body), length);
    takeDateTime(text.substr(0, 8), out);
    std::string number = text.substr(8);
    if (isAbsence(number))
        out.numberAbsence = number[0];
    else if (!number.empty())
        out.number = number;
    return true;
}

bool decodeMultiple(const uint8_t* body, size_t length, CallerId& out)
{
    size_t at = 0;
    while (at < length) {
        if (at + 2 > length)
            return false;
        const uint8_t type = body[at];
        const size_t size = body[at + 1];
        at += 2;
        if (at + size > length)
            return false;
        std::string value(reinterpret_cast<const char*>(body + at), size);
        at += size;
        switch (type) {
        case kParamDateTime:
            takeDateTime(value, out);
            break;
        case kParamNumber:
            out.number = value;
            break;
        case kParamNumberAbsent:
            if (!value.empty())
                out.numberAbsence = value[0];
            break;
        case kParamName:
            out.name = value;
            break;
        case kParamNameAbsent:
            if (!value.empty())
                out.nameAbsence = value[0];
            break;
        default: // parameters we do not show (call type, redirection ...)
            break;
        }
    }
    return true;
}

} // namespace

bool parseHex(const std::string& text, std::vector<uint8_t>& out)
{
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        const int nibble = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(uint8_t(high << 4 | nibble));
            high = -1;
        }
    }
    if (high >= 0)
        return false;
    out = std::move(bytes);
    return true;
}

bool decodeCallerIdMessage(const std::vector<uint8_t>& message, CallerId& out)
{
    if (message.size() < 3)
        return false;
    const size_t length = message[1];
    if (message.size() < length + 3)
        return false;
    // Every byte from the type to the checksum adds up to zero (mod 256).
    uint8_t sum = 0;
    for (size_t i = 0; i < length + 3; ++i)
        sum = uint8_t(sum + message[i]);
    if (sum != 0)
        return false;
    CallerId parsed;
    bool ok = false;
    if (message[0] == kSingleDataMessage)
        ok = decodeSingle(message.data() + 2, length, parsed);
    else if (message[0] == kMultipleDataMessage)
        ok = decodeMultiple(message.data() + 2, length, parsed);
    if (ok)
        out = std::move(parsed);
    return ok;
}

bool CallerIdParser::takeLine(const std::string& line)
{
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    const std::string key = upper(trim(line.substr(0, eq)));
    const std::string value = trim(line.substr(eq + 1));
    if (key == "DATE") {
        m_result.date = value;
    } else if (key == "TIME") {
        m_result.time = value;
    } else if (key == "NMBR" || key == "DDN_NMBR") {
        if (isAbsence(value))
            m_result.numberAbsence = value[0];
        else
            m_result.number = value;
    } else if (key == "NAME") {
        if (isAbsence(value))
            m_result.nameAbsence = value[0];
        else
            m_result.name = value;
    } else if (key == "MESG") {
        std::vector<uint8_t> bytes;
        CallerId decoded;
        // A damaged message is dropped; the caller stays as far as known.
        if (parseHex(value, bytes) && decodeCallerIdMessage(bytes, decoded))
            m_result = decoded;
    } else {
        return false;
    }
    return true;
}

} // namespace kalvo::modem
