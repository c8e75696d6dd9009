// The per-thread line and phone tables and their handle lookups.
#include "LineTable.h"

#include "TapiBuffers.h"

namespace korvan {

namespace {
constexpr int32_t kSubscriptOutOfRange = 9;
}

LineTable& LineTable::forThisThread()
{
    // Module storage of the control: one table per thread, as the single-threaded control expects.
    thread_local LineTable table;
    return table;
}

void LineTable::recreateLines(int32_t lastIndex)
{
    m_lines.assign(lastIndex < 0 ? 0 : static_cast<size_t>(lastIndex) + 1, LineEntry{});
}

void LineTable::recreatePhones(int32_t lastIndex)
{
    m_phones.assign(lastIndex < 0 ? 0 : static_cast<size_t>(lastIndex) + 1, PhoneEntry{});
}

LineEntry& LineTable::line(int32_t index)
{
    if (index < 0 || index >= lineCount())
        throw MethodError{kSubscriptOutOfRange};
    return m_lines[static_cast<size_t>(index)];
}

PhoneEntry& LineTable::phone(int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_phones.size())
        throw MethodError{kSubscriptOutOfRange};
    return m_phones[static_cast<size_t>(index)];
}

int32_t LineTable::indexByLine(HLINE hLine) const
{
    return lastIndexWhere([hLine](const LineEntry& entry) { return entry.hLine == hLine; });
}

int32_t LineTable::indexByCall(HCALL hCall) const
{
    return lastIndexWhere([hCall](const LineEntry& entry) { return entry.hCall == hCall; });
}

int32_t LineTable::lastIndexWhere(const std::function<bool(const LineEntry&)>& match) const
{
    // The last match wins, as the lookups always have.
    int32_t found = 0;
    for (const LineEntry& entry : m_lines)
        if (match(entry))
            found = entry.DeviceId;
    return found;
}

void LineTable::setCallByLine(HLINE hLine, HCALL hCall)
{
    for (LineEntry& entry : m_lines) {
        if (entry.hLine == hLine)
            entry.hCall = hCall;
    }
}

HLINE lineOfCall(HCALL hCall)
{
    CallInfoBuffer info;
    lineGetCallInfo(hCall, info.get());
    return info.get()->hLine;
}

} // namespace korvan
