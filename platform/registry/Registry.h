/* Registry stand-in: the ANSI registry functions the program and the line control call, with
 * their result codes and value types, over one regedit-format text file per root. */
#ifndef KALVO_PLATFORM_REGISTRY_H
#define KALVO_PLATFORM_REGISTRY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t HKEY;
typedef HKEY* PHKEY;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint8_t BYTE;

#define HKEY_CLASSES_ROOT ((HKEY)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)0x80000002u)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_KEY_HAS_CHILDREN 1020L
#define ERROR_BADDB 1009L
#define ERROR_CANTWRITE 1013L

/* Opens an existing key below hKey (a root or an open key). An empty or NULL subKey opens hKey
 * itself again. @return ERROR_SUCCESS and *result, or ERROR_FILE_NOT_FOUND when the key is absent. */
LONG RegOpenKeyA(HKEY hKey, const char* subKey, PHKEY result);

/* Opens subKey below hKey, creating it and any missing parents. @return ERROR_SUCCESS or an error. */
LONG RegCreateKeyA(HKEY hKey, const char* subKey, PHKEY result);

/* Reads a value (NULL or "" names the default value). With data NULL only *cbData (the size) and
 * *type are returned. @return ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, or ERROR_MORE_DATA with *cbData
 * set to the size needed when the buffer is too small. */
LONG RegQueryValueExA(HKEY hKey, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* cbData);

/* Stores a value: type and the cbData bytes of data exactly as given. @return ERROR_SUCCESS or an error. */
LONG RegSetValueExA(HKEY hKey, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD cbData);

/* Removes a value. @return ERROR_SUCCESS or ERROR_FILE_NOT_FOUND. */
LONG RegDeleteValueA(HKEY hKey, const char* valueName);

/* Removes subKey below hKey, which must have no sub-keys. @return ERROR_SUCCESS, ERROR_FILE_NOT_FOUND
 * or ERROR_KEY_HAS_CHILDREN. */
LONG RegDeleteKeyA(HKEY hKey, const char* subKey);

/* Names the value at index (0-based) of an open key, with its type and data like RegQueryValueExA.
 * @return ERROR_SUCCESS, ERROR_NO_MORE_ITEMS past the last value, or ERROR_MORE_DATA. */
LONG RegEnumValueA(HKEY hKey, DWORD index, char* valueName, DWORD* cchValueName, DWORD* reserved, DWORD* type,
                   BYTE* data, DWORD* cbData);

/* Names the sub-key at index (0-based) of an open key. @return ERROR_SUCCESS or ERROR_NO_MORE_ITEMS. */
LONG RegEnumKeyA(HKEY hKey, DWORD index, char* name, DWORD cchName);

/* Every change is on disk when its call returns, so this only checks the handle. */
LONG RegFlushKey(HKEY hKey);

/* Releases a handle from RegOpenKeyA or RegCreateKeyA; closing a root is a no-op. */
LONG RegCloseKey(HKEY hKey);

#ifdef __cplusplus
}
#endif

#endif
