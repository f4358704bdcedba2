// Areas for the device exports: read from a command line, and around a place.
#include "georef/Georef.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace Georef {

Area AroundPlace(double latitude, double longitude, double km, Datum datum) {
    // The ellipsoid's semi-axes, metres.
    const double a = datum == Datum::WGS84 ? 6378137.0 : 6377563.396;
    const double b = datum == Datum::WGS84 ? a * (1 - 1 / 298.257223563) : 6356256.909;
    const double e2 = 1 - (b * b) / (a * a);
    const double s = std::sin(latitude * std::numbers::pi / 180);
    const double w = std::sqrt(1 - e2 * s * s);
    // The radii of curvature along the meridian and along the prime vertical.
    const double meridian = a * (1 - e2) / (w * w * w), vertical = a / w;
    const double toDegrees = 180 / std::numbers::pi, metres = km * 1000;
    const double dLat = metres / meridian * toDegrees;
    const double dLon =
        metres / (vertical * std::cos(latitude * std::numbers::pi / 180)) * toDegrees;
    return {std::min(90.0, latitude + dLat), longitude - dLon, std::max(-90.0, latitude - dLat),
            longitude + dLon};
}

std::optional<Area> ReadArea(const std::string& text, std::string& why) {
    Area area{};
    int end = 0;
    if (std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf%n", &area[0], &area[1], &area[2], &area[3],
                    &end) != 4 ||
        std::size_t(end) != text.size()) {
        why = "the area " + text + " is not NORTH,WEST,SOUTH,EAST in decimal degrees";
        return std::nullopt;
    }
    if (!(area[0] > area[2]) || !(area[3] > area[1]) || area[0] > 90 || area[2] < -90 ||
        area[1] < -180 || area[3] > 180) {
        why = "the area " + text +
              " has its north not above its south or its east not beyond "
              "its west";
        return std::nullopt;
    }
    return area;
}

} // namespace Georef
