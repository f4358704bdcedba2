// ReadPlace on arbitrary text: it never throws, and what it reads is a place on the earth that
// it can describe, or it says why not.
#include "mapdef/Place.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const MapCode::Place p =
        MapCode::ReadPlace(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!p.ok) {
        if (p.error.empty()) std::abort();
        return 0;
    }
    if (!(std::fabs(p.latitude) <= 90 * 60 && std::fabs(p.longitude) <= 180 * 60)) std::abort();
    if (MapCode::DescribePlace(p).empty()) std::abort();
    return 0;
}
