#pragma once
// The machine-wide registry, read only, stood in for by a text file in the format registry
// exports use (REGEDIT4). Its place is $VARNET_REGISTRY_FILE, else /etc/varnet/registry.reg;
// a missing file is an empty registry. The calls have the shape of the system's own.
//
//   REGEDIT4
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO]
//   "PATH"="C:\\Program Files\\msinfo32.exe"
//   "Count"=dword:0000002a
//   "Raw"=hex(1):41,42,00
//
// A key is opened for writing only when the user may write the file: asking for write rights
// on a file the user can only read is refused, as on the host's systems.

#include <cstdint>
#include <string>

namespace Platform {

using HKEY = std::uint32_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_INVALID_PARAMETER = 87;
constexpr long ERROR_MORE_DATA = 234;

constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_MULTI_SZ = 7;

constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t KEY_NOTIFY = 0x0010;
constexpr std::uint32_t KEY_CREATE_LINK = 0x0020;
constexpr std::uint32_t KEY_READ = 0x20019;
constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

// The registry file in use.
std::string RegistryFile();

long RegOpenKeyExA(HKEY root, const char* subKey, std::uint32_t options, std::uint32_t samDesired,
                   HKEY* result);
// Copies the value's data into `data` (which holds *dataSize bytes) and sets *dataSize to the
// data's length. A buffer too small gives ERROR_MORE_DATA with *dataSize set to the length
// needed. Strings are stored with their terminating zero.
long RegQueryValueExA(HKEY key, const char* valueName, std::uint32_t* reserved, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* dataSize);
long RegCloseKey(HKEY key);

} // namespace Platform
