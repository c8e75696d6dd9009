// The name of the operating-system version the program runs on.
#include "mdlWinVersion.h"

#include "WinVersion.h"

QString WindowsVersionName(const OSVERSIONINFOA& info)
{
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        switch (info.dwMinorVersion) {
        case 0:
            return "Windows 95";
        case 10:
            return "Windows 98";
        case 90:
            return "Windows Mellinnium";
        default:
            return QString();
        }
    }
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        switch (info.dwMajorVersion) {
        case 3:
            return "Windows NT 3.51";
        case 4:
            return "Windows NT 4.0";
        case 5:
            return info.dwMinorVersion == 0 ? "Windows 2000" : "Windows XP";
        default:
            return QString();
        }
    }
    return "Failed";
}

QString WindowsVersionName()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return "Failed";
    return WindowsVersionName(info);
}
