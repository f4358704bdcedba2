// CoordToMinutes on arbitrary text: a number or a CoreError, nothing else.
#include "mapdef/MapCode.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        if (!std::isfinite(MapCode::CoordToMinutes(text))) std::abort();
    } catch (const CoreError&) {
    }
    return 0;
}
