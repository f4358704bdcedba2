// Grid references: arbitrary text is either refused or converts to a point near Great Britain.
#include "mapdef/MapCode.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    double northing = 0, easting = 0;
    if (!MapCode::GridRefToEastNorth(text, northing, easting)) return 0;
    double lat = 0, lon = 0;
    MapCode::EastNorthToLatLon(easting, northing, lat, lon); // grid squares never fail
    if (!(lat > 30 && lat < 80 && lon > -40 && lon < 40)) std::abort();
    return 0;
}
