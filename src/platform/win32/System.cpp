#include "platform/System.h"

#include <windows.h>

namespace Platform {

std::uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return ::GlobalMemoryStatusEx(&status) ? std::uint64_t(status.ullTotalPhys) : 0;
}

std::uint64_t MappedDataBytes() {
    return 0; // no data segment limit is set on Windows
}

} // namespace Platform
