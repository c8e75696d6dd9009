// Fills the variable part of a telephony structure by the Windows rules: never past dwTotalSize,
// fields that do not fit are left out, dwNeededSize counts everything.
#pragma once

#include "TelephonyTypes.h"

#include <string>

namespace kalvo::telephony {

class VarStructWriter
{
public:
    // base points at a structure whose first three fields are dwTotalSize, dwNeededSize, dwUsedSize
    // and whose fixed part of fixedSize bytes the caller has room for (checked before).
    VarStructWriter(void* base, DWORD fixedSize);

    // Appends size bytes and sets sizeField/offsetField, or leaves both 0 when they do not fit.
    void add(const void* data, DWORD size, DWORD& sizeField, DWORD& offsetField);

    // Appends text with its terminating zero byte.
    void addString(const std::string& text, DWORD& sizeField, DWORD& offsetField);

    // Writes dwNeededSize and dwUsedSize.
    void finish();

    // Zeroes the fixed part after dwTotalSize; call before filling it.
    static void clearFixedPart(void* base, DWORD fixedSize);

private:
    unsigned char* m_base;
    DWORD m_total;
    DWORD m_used;
    DWORD m_needed;
};

} // namespace kalvo::telephony
