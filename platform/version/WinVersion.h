/* The operating-system version record. This desktop answers as NT 5.1, so the program takes its
 * modern-desktop branches (flat toolbars, animated caller window). */
#ifndef KALVO_PLATFORM_WINVERSION_H
#define KALVO_PLATFORM_WINVERSION_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct OSVERSIONINFOA
{
    uint32_t dwOSVersionInfoSize; /* the caller sets 148 */
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];
} OSVERSIONINFOA;

/* Fills the record. @return non-zero on success, 0 when dwOSVersionInfoSize is not 148. */
int GetVersionExA(OSVERSIONINFOA* info);

#ifdef __cplusplus
}
#endif

#endif
