/* Telephony API stand-in: the scalar, handle and callback types and the API version numbers. */
#ifndef KALVO_PLATFORM_TELEPHONY_BASE_TYPES_H
#define KALVO_PLATFORM_TELEPHONY_BASE_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The same spellings as the registry stand-in; identical typedefs may be repeated. */
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint8_t BYTE;
typedef uintptr_t DWORD_PTR;
typedef void* HINSTANCE;
typedef void* HWND;

/* Handles are non-zero 32-bit values, unique in the process while they are valid. */
typedef DWORD HLINEAPP;
typedef DWORD HLINE;
typedef DWORD HCALL;
typedef DWORD HPHONEAPP;
typedef DWORD HPHONE;

/* The line and phone callbacks: hDevice is a line, call or phone handle (0 for LINE_REPLY),
 * dwInstance the value given to lineOpen/phoneOpen (pointer-sized), then the three parameters. */
typedef void (*LINECALLBACK)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                             DWORD_PTR dwParam2, DWORD_PTR dwParam3);
typedef void (*PHONECALLBACK)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                              DWORD_PTR dwParam2, DWORD_PTR dwParam3);

#define TAPI_VERSION_1_0 0x00010003u
#define TAPI_VERSION_1_4 0x00010004u
#define TAPI_VERSION_2_0 0x00020000u

#ifdef __cplusplus
}
#endif

#endif
