// The fixed-size buffers the control passes to the telephony API: a fixed part followed by a
// 2001-byte area (indices 0 to 2000) for variable data. The control never re-queries with more room.
#pragma once

#include "Telephony.h"

#include <cstring>
#include <string>

namespace korvan {

inline constexpr size_t kVariableArea = 2001;

// A zero-filled buffer of Fixed's size plus the variable area, dwTotalSize set.
template <typename Fixed, size_t Area> class TapiBuffer
{
public:
    TapiBuffer()
    {
        std::memset(m_bytes, 0, sizeof m_bytes);
        get()->dwTotalSize = static_cast<DWORD>(sizeof m_bytes);
    }
    Fixed* get() { return reinterpret_cast<Fixed*>(m_bytes); }
    static constexpr size_t totalSize() { return sizeof(Fixed) + Area; }

    // Text from the variable area: starts at offset minus the fixed size, takes at most size + 1
    // bytes, stops before the first zero byte and never reads past the area. An offset inside the
    // fixed part (the API leaves a field that did not fit at offset 0) gives the empty text.
    std::string text(DWORD offset, DWORD size) const
    {
        std::string result;
        if (offset < sizeof(Fixed))
            return result;
        const size_t start = offset - sizeof(Fixed);
        const size_t count = static_cast<size_t>(size) + 1;
        for (size_t i = start; i < Area && i - start < count; ++i) {
            const char c = static_cast<char>(m_bytes[sizeof(Fixed) + i]);
            if (c == '\0')
                break;
            result.push_back(c);
        }
        return result;
    }

    // The 32-bit value at offset (within the buffer), or fallback when it does not fit.
    DWORD dwordAt(DWORD offset, DWORD fallback) const
    {
        if (offset > sizeof m_bytes - sizeof(DWORD))
            return fallback;
        DWORD value;
        std::memcpy(&value, m_bytes + offset, sizeof value);
        return value;
    }

private:
    alignas(8) unsigned char m_bytes[sizeof(Fixed) + Area];
};

// The one-character text of a character code (UTF-8, as every text of the control).
inline std::string utf8OfCharCode(char16_t code)
{
    std::string text;
    if (code < 0x80) {
        text.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (code >> 6)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xE0 | (code >> 12)));
        text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
    return text;
}

using DevCapsBuffer = TapiBuffer<LINEDEVCAPS, kVariableArea>;     // 2241 bytes
using CallInfoBuffer = TapiBuffer<LINECALLINFO, kVariableArea>;   // 2297 bytes
using VarStringBuffer = TapiBuffer<VARSTRING, kVariableArea>;     // 2025 bytes
using DevStatusBuffer = TapiBuffer<LINEDEVSTATUS, kVariableArea>; // 2077 bytes
using AddressCapsBuffer = TapiBuffer<LINEADDRESSCAPS, 0>;         // 180 bytes
using PhoneCapsBuffer = TapiBuffer<PHONECAPS, 0>;                 // 144 bytes

static_assert(DevCapsBuffer::totalSize() == 2241);
static_assert(CallInfoBuffer::totalSize() == 2297);
static_assert(VarStringBuffer::totalSize() == 2025);
static_assert(AddressCapsBuffer::totalSize() == 180);
static_assert(PhoneCapsBuffer::totalSize() == 144);

} // namespace korvan
