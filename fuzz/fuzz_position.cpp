// ParsePosition on arbitrary text; what it reads formats back and reads again.
#include "mapdef/MapCode.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    float lon = 0, lat = 0;
    try {
        if (!MapCode::ParsePosition(text, lon, lat)) return 0;
    } catch (const CoreError&) {
        return 0;
    }
    std::string latText, lonText;
    try {
        MapCode::FormatPosition(lat, lon, latText, lonText);
    } catch (const CoreError&) {
        return 0; // beyond 546 degrees
    }
    float lon2 = 0, lat2 = 0;
    if (!MapCode::ParsePosition(latText + "," + lonText, lon2, lat2)) std::abort();
    if (std::fabs(lat2 - lat) > 0.006 + std::fabs(lat) * 1e-6) std::abort();
    if (std::fabs(lon2 - lon) > 0.006 + std::fabs(lon) * 1e-6) std::abort();
    return 0;
}
