// The operating-system version record.
#include "WinVersion.h"

#include <cstring>

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record is 148 bytes");

extern "C" int GetVersionExA(OSVERSIONINFOA* info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return 0;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, "Linux", sizeof info->szCSDVersion - 1);
    return 1;
}
