#pragma once
// The bound on the memory pictures may take, one figure for every program of Varnet: the
// desktop program, the command line and the picture decoder read it alike. Standard library
// only.

#include <cstdint>
#include <string>

namespace Platform {

struct MemoryBound {
    std::uint64_t bytes = 0;
    // Why the setting is not the figure used ("is not a positive number of MiB; ..."), "" when
    // it is or when nothing is set.
    std::string note;
};

// The bound, bytes: VARNET_PICTURE_LIMIT_MB (MiB) when set to a positive whole number, at most
// the machine's memory; otherwise a quarter of the machine's memory, at least 256 MiB. Says
// nothing.
MemoryBound ReadMemoryBound();

// The same bytes; a setting that is not used is said once on standard error
// ("varnet: VARNET_PICTURE_LIMIT_MB=<value> <note>"), again only when the setting changes.
std::uint64_t PictureMemoryBound();

// A whole number with its thousands grouped by commas, as the bound's messages write figures:
// 12345 is "12,345".
std::string Grouped(std::uint64_t n);

} // namespace Platform
