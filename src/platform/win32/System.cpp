#include "platform/System.h"

#include <windows.h>

#include <new>

namespace Platform {

std::uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return ::GlobalMemoryStatusEx(&status) ? std::uint64_t(status.ullTotalPhys) : 0;
}

std::uint64_t MappedDataBytes() {
    return 0; // no data segment limit is set on Windows
}

// Windows gives large pages only to a user granted the right to lock memory: small ones here.
LargePages::LargePages(std::size_t bytes) : size_(bytes ? bytes : 1) {
    data_ = static_cast<unsigned char*>(
        ::VirtualAlloc(nullptr, size_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!data_) throw std::bad_alloc();
}

LargePages::~LargePages() {
    ::VirtualFree(data_, 0, MEM_RELEASE);
}

} // namespace Platform
