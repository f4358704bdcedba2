#pragma once
// Facts about the machine.

#include <cstdint>

namespace Platform {

// The machine's physical memory in bytes (0 when it cannot be told).
std::uint64_t PhysicalMemoryBytes();

// The data this process has mapped, in bytes: what a limit on its data segment counts (0 when
// it cannot be told).
std::uint64_t MappedDataBytes();

} // namespace Platform
