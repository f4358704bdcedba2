// ValidatePosition on arbitrary text: one of its five results, and an "Ok" box that reads back
// within the kind's range.
#include "mapdef/MapCode.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size == 0) return 0;
    const bool isLongitude = data[0] & 1;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string box = text, partner = "p";
    const std::string result = MapCode::ValidatePosition(box, partner, isLongitude);
    const std::string kind = isLongitude ? "longitude" : "latitude";
    if (result == "Ok") {
        const float m = MapCode::CoordToMinutes(box); // must not throw
        if (std::fabs(m) > (isLongitude ? 10800 : 5400)) std::abort();
        if (partner != "p") std::abort();
    } else if (result == kind || result == "") {
        if (box != text) std::abort();
    } else if (result != "True") {
        std::abort();
    }
    return 0;
}
