// The line and phone tables of the control: one per thread, shared by every control of that thread,
// with the handle lookups the notification routine and the call operations use.
#pragma once

#include "Telephony.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvan {

struct LineEntry
{
    int32_t DeviceId = 0;
    std::string DeviceName; // never filled; reported as CallInf.sDeviceName
    bool Opened = false;
    HLINEAPP hLineApp = 0;
    HCALL hCall = 0;
    HLINE hLine = 0;
    bool Connected = false;
};

struct PhoneEntry
{
    int32_t DeviceId = 0;
    HPHONEAPP hPhoneApp = 0;
    HPHONE hPhone = 0;
};

class LineTable
{
public:
    // The table of the calling thread (empty until LineInitialize builds it).
    static LineTable& forThisThread();

    // Discards every entry and makes indices 0 to lastIndex, all fields zero or empty.
    void recreateLines(int32_t lastIndex);
    void recreatePhones(int32_t lastIndex);

    // The entry of an index; throws IndexError outside the table (also before it is built).
    LineEntry& line(int32_t index);
    PhoneEntry& phone(int32_t index);

    // Line index by line handle: the DeviceId of the last entry whose hLine equals the handle, or 0.
    int32_t indexByLine(HLINE hLine) const;
    // Line index by call handle: the DeviceId of the last entry whose hCall equals the handle, or 0.
    int32_t indexByCall(HCALL hCall) const;
    // Stores hCall into every entry whose hLine equals hLine.
    void setCallByLine(HLINE hLine, HCALL hCall);

    int32_t lineCount() const { return static_cast<int32_t>(m_lines.size()); }

private:
    int32_t lastIndexWhere(const std::function<bool(const LineEntry&)>& match) const;
    std::vector<LineEntry> m_lines;
    std::vector<PhoneEntry> m_phones;
};

// A run-time error of a method (9 "Subscript out of range" ...); turned into DISP_E_EXCEPTION at
// the dispatch interface, never let out of the library.
struct MethodError
{
    int32_t number;
};

// The line handle of a call: hLine of its LINECALLINFO, read into the 2297-byte buffer; 0 when the
// information cannot be read.
HLINE lineOfCall(HCALL hCall);

} // namespace korvan
