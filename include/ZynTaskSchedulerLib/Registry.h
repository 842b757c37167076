// The machine's settings store: keys and subkeys holding named, typed values, in two trees,
// HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT. Each tree is one human-readable file under the
// registry root folder: the folder named by the environment variable ZYN_REGISTRY, or by default
// /var/lib/zyntask/registry for root and $XDG_STATE_HOME/zyntask/registry (else
// ~/.local/state/zyntask/registry) for other accounts; it is created on the first write.
//
// Values keep their bytes exactly as written. String values (REG_SZ, REG_EXPAND_SZ) are UTF-16LE
// bytes, normally with a terminating zero unit; RegStringData makes such bytes and
// RegStringText reads them back. Key and value names compare case-insensitively (ASCII letters).
//
// Every call may be made from any thread and any process: readers see a tree as it was before
// or after a write, never half of it; writers are serialised across processes, and each write
// reaches the disk before it returns. A handle belongs to its opener until RegCloseKey. The
// calls answer ERROR_SUCCESS or a system error code; they never throw.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZynTaskSchedulerLib/SystemErrors.h"
#include "ZynTaskSchedulerLib/Types.h"

#ifdef _WIN32
#include <windows.h>
#else
// An open key; the value 0 names none.
enum class HKEY : std::uintptr_t {};
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;

// The two trees, always open.
inline constexpr HKEY HKEY_CLASSES_ROOT = HKEY{0x80000000u};
inline constexpr HKEY HKEY_LOCAL_MACHINE = HKEY{0x80000002u};

// Access rights asked for when a key is opened; the calls check the handle's rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_OPTION_VOLATILE = 1;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Value types. Any type number may be stored; these are the ones the library reads.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Opens `lpSubKey` under `hKey`, creating it and every missing key above it. Volatile keys do
// not exist here (ERROR_NOT_SUPPORTED); the class and the security attributes are ignored.
// `lpdwDisposition`, when given, receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                        PHKEY phkResult, LPDWORD lpdwDisposition);
// ERROR_FILE_NOT_FOUND when the key does not exist; ERROR_ACCESS_DENIED when write access is
// asked for and the store cannot be written. A null or empty `lpSubKey` opens `hKey` again.
LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
// ERROR_INVALID_HANDLE for a handle that is not open. Closing a tree handle does nothing.
LSTATUS RegCloseKey(HKEY hKey);

// Reads a value (a null or empty name is the key's default value). With `lpData` null, only
// the type and the size are answered; a buffer smaller than the data gives ERROR_MORE_DATA and
// the needed size in `*lpcbData`.
LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
// Stores `cbData` bytes as written, whatever the type says they should be.
LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);
LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);

// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some), with its values.
LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// The same; `samDesired` chooses a registry view, of which there is only one here.
LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved);
// Deletes `lpSubKey` with everything under it; with a null `lpSubKey`, empties `hKey` (its
// values and subkeys go, the key stays).
LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);

// The name of the subkey at `dwIndex` in case-insensitive name order; ERROR_NO_MORE_ITEMS past
// the last. `*lpcchName` holds the buffer's size in characters and receives the name's length
// without the terminator; ERROR_MORE_DATA when the name does not fit. No class or write time is
// kept: a class buffer receives an empty string, a write time zero.
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      FILETIME* lpftLastWriteTime);
// The value at `dwIndex` in case-insensitive name order: its name as RegEnumKeyExW answers
// names, its type and data as RegQueryValueExW answers them.
LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
#endif

// The bytes of a string value: `text` in UTF-16LE followed by a terminating zero unit.
std::vector<BYTE> RegStringData(std::wstring_view text);
// The text of string-value bytes: accepted when the byte count is even and the last unit is a
// terminating zero, or when there are no bytes at all (the empty string); the text ends at the
// first zero unit. nullopt for anything else, and for bytes that are not UTF-16.
std::optional<std::wstring> RegStringText(const BYTE* data, DWORD size);
