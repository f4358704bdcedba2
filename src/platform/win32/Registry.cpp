// The machine's registry itself. The layer hands out its own small key numbers, since the
// system's key handles do not fit them.
#include "platform/Registry.h"

#include <windows.h>

#include <map>
#include <mutex>

namespace Platform {
namespace {

std::mutex keysLock;
std::map<std::uint32_t, ::HKEY> keys;
std::uint32_t nextKey = 1; // below the predefined keys' numbers (0x80000000 and up)

::HKEY ToSystem(Platform::HKEY key) {
    if (key >= 0x80000000u) return reinterpret_cast<::HKEY>(static_cast<ULONG_PTR>(key)); // HKEY_*
    const std::lock_guard lock(keysLock);
    const auto it = keys.find(key);
    return it == keys.end() ? nullptr : it->second;
}

} // namespace

std::string RegistryFile() {
    return {}; // the registry is the system's own
}

long RegOpenKeyExA(Platform::HKEY root, const char* subKey, std::uint32_t options,
                   std::uint32_t samDesired, Platform::HKEY* result) {
    const ::HKEY parent = ToSystem(root);
    if (!parent || !result) return ERROR_INVALID_HANDLE;
    ::HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExA(parent, subKey, options, samDesired, &opened);
    if (status != ERROR_SUCCESS) return status;
    const std::lock_guard lock(keysLock);
    keys[nextKey] = opened;
    *result = nextKey++;
    return ERROR_SUCCESS;
}

long RegQueryValueExA(Platform::HKEY key, const char* valueName, std::uint32_t* reserved,
                      std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    const ::HKEY k = ToSystem(key);
    if (!k) return ERROR_INVALID_HANDLE;
    DWORD t = 0, size = dataSize ? DWORD(*dataSize) : 0;
    const LONG status = ::RegQueryValueExA(k, valueName, reinterpret_cast<LPDWORD>(reserved), &t,
                                           data, dataSize ? &size : nullptr);
    if (type) *type = t;
    if (dataSize) *dataSize = size;
    return status;
}

long RegCloseKey(Platform::HKEY key) {
    if (key >= 0x80000000u) return ERROR_SUCCESS;
    ::HKEY k = nullptr;
    {
        const std::lock_guard lock(keysLock);
        const auto it = keys.find(key);
        if (it == keys.end()) return ERROR_INVALID_HANDLE;
        k = it->second;
        keys.erase(it);
    }
    return ::RegCloseKey(k);
}

} // namespace Platform
