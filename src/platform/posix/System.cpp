#include "platform/System.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <new>

namespace Platform {

std::uint64_t PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? std::uint64_t(pages) * std::uint64_t(size) : 0;
}

std::uint64_t MappedDataBytes() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmData: %llu kB", &kib) == 1) break;
    std::fclose(f);
    return kib * 1024;
}

LargePages::LargePages(std::size_t bytes) : size_(bytes ? bytes : 1) {
    // A large page's worth more, to start on a large page's edge.
    const std::size_t mapped = size_ + kLargePage;
    void* map = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::bad_alloc();
    auto* start = static_cast<unsigned char*>(map);
    const std::size_t skip =
        (kLargePage - reinterpret_cast<std::uintptr_t>(start) % kLargePage) % kLargePage;
    if (skip) ::munmap(start, skip);
    ::munmap(start + skip + size_, mapped - skip - size_);
    data_ = start + skip;
    ::madvise(data_, size_, MADV_HUGEPAGE); // a hint: small pages where none are to be had
}

LargePages::~LargePages() {
    ::munmap(data_, size_);
}

} // namespace Platform
