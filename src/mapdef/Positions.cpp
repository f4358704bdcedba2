#include "mapdef/MapCode.h"

#include <cmath>
#include <cstdio>

namespace MapCode {

std::string PositionText(float latitudeMinutes, float longitudeMinutes) {
    std::string lat, lon;
    FormatPosition(latitudeMinutes, longitudeMinutes, lat, lon);
    std::string text = lat + " " + lon;
    const double latDeg = latitudeMinutes / 60.0, lonDeg = longitudeMinutes / 60.0;
    if (latDeg >= 49.75 && latDeg <= 61.01 && lonDeg >= -9.01 && lonDeg <= 2.01) {
        double easting = 0, northing = 0;
        LatLonToEastNorth(latDeg, lonDeg, easting, northing);
        if (const std::string ref = EastNorthToGridRef(easting, northing); !ref.empty())
            text += "  " + ref;
    }
    return text;
}

std::string DistanceText(double km) {
    char text[48];
    std::snprintf(text, sizeof text, km < 100 ? "%.1f km" : "%.0f km", km);
    return text;
}

} // namespace MapCode
