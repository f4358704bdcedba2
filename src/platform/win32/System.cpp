#include "platform/System.h"

#include <windows.h>

namespace Platform {

std::uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return ::GlobalMemoryStatusEx(&status) ? std::uint64_t(status.ullTotalPhys) : 0;
}

} // namespace Platform
