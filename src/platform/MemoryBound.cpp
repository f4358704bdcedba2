#include "platform/MemoryBound.h"

#include "platform/Env.h"
#include "platform/System.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace Platform {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr const char* kSetting = "VARNET_PICTURE_LIMIT_MB";

std::uint64_t Default() {
    return std::max<std::uint64_t>(256 * MiB, PhysicalMemoryBytes() / 4);
}

} // namespace

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(std::size_t(at), ",");
    return digits;
}

MemoryBound ReadMemoryBound() {
    const std::string set = GetEnv(kSetting);
    if (set.empty()) return {Default(), {}};
    char* end = nullptr;
    const unsigned long long mb = std::strtoull(set.c_str(), &end, 10);
    const bool number =
        end && *end == '\0' && set.find_first_not_of("0123456789") == std::string::npos;
    if (!number || mb == 0)
        return {Default(), "is not a positive number of MiB; the default of " +
                               Grouped(Default() / MiB) + " MiB is used"};
    const std::uint64_t machine = PhysicalMemoryBytes();
    if (machine > 0 && (mb >= machine / MiB || mb >= (1ull << 40)))
        return {machine,
                "is more than this machine's memory; " + Grouped(machine / MiB) + " MiB is used"};
    return {mb * MiB, {}};
}

std::uint64_t PictureMemoryBound() {
    const MemoryBound bound = ReadMemoryBound();
    if (bound.note.empty()) return bound.bytes;
    static std::mutex mutex;
    static std::string told; // the setting last said
    const std::string set = GetEnv(kSetting);
    std::lock_guard lock(mutex);
    if (told != set) {
        told = set;
        std::fprintf(stderr, "varnet: %s=%s %s\n", kSetting, set.c_str(), bound.note.c_str());
    }
    return bound.bytes;
}

} // namespace Platform
