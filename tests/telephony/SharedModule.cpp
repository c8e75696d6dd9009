// A shared module that uses the telephony layer, the way the line control library does.
#include "Telephony.h"
#include "WaveDeviceTable.h"

#include <cstring>
#include <vector>

namespace {
void ignore(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
} // namespace

// The wave-out id of line 0 as the module's layer sees it, or 0xFFFFFFFF.
extern "C" DWORD moduleLine0WaveOut()
{
    HLINEAPP app = 0;
    DWORD n = 0;
    DWORD id = 0xFFFFFFFFu;
    if (lineInitialize(&app, nullptr, ignore, "", &n) != 0)
        return id;
    HLINE line = 0;
    std::vector<unsigned char> buf(64);
    auto* vs = reinterpret_cast<VARSTRING*>(buf.data());
    vs->dwTotalSize = 64;
    if (lineOpen(app, 0, &line, TAPI_VERSION_1_4, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr) == 0 &&
        lineGetID(line, 0, 0, LINECALLSELECT_LINE, vs, "wave/out") == 0 && vs->dwStringSize == 4)
        std::memcpy(&id, buf.data() + vs->dwStringOffset, 4);
    lineShutdown(app);
    return id;
}

// The module's wave device table.
extern "C" void* moduleWaveTable()
{
    return &kalvo::wave::WaveDeviceTable::instance();
}
