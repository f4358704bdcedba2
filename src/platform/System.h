#pragma once
// Facts about the machine.

#include <cstdint>

namespace Platform {

// The machine's physical memory in bytes (0 when it cannot be told).
std::uint64_t PhysicalMemoryBytes();

} // namespace Platform
