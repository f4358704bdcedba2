#pragma once
// Facts about the machine.

#include <cstddef>
#include <cstdint>

namespace Platform {

// The machine's physical memory in bytes (0 when it cannot be told).
std::uint64_t PhysicalMemoryBytes();

// The data this process has mapped, in bytes: what a limit on its data segment counts (0 when
// it cannot be told).
std::uint64_t MappedDataBytes();

// Zeroed memory of its own pages, on large pages where the system gives them (Linux's
// transparent huge pages): a picture drawn many times a second misses the processor's cache of
// page addresses once every small page it reads, which costs a virtual machine dearly.
class LargePages {
public:
    // Throws std::bad_alloc when the memory cannot be had.
    explicit LargePages(std::size_t bytes);
    ~LargePages();
    LargePages(const LargePages&) = delete;
    LargePages& operator=(const LargePages&) = delete;
    unsigned char* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    // The size of a large page: a block a whole number of them long may lie on them alone.
    static constexpr std::size_t kLargePage = std::size_t(2) << 20;

private:
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace Platform
