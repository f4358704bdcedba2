#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

#include <cmath>

namespace MapCode {

float CoordToMinutes(const std::string& coord) {
    if (coord.empty())
        throw CoreError(ErrorKind::InvalidArgument, "Invalid procedure call or argument");
    const char h = coord.back();
    if (h != 'N' && h != 'S' && h != 'E' && h != 'W') return 0;
    const std::string_view body = std::string_view(coord).substr(0, coord.size() - 1);
    const std::size_t point = body.find('.');
    double value;
    if (point == std::string::npos)
        value = LenientNumber(body) * 60;
    else // the part after the first point is decimal minutes (30.50 reads as 30.5)
        value = 60 * StrictNumber(body.substr(0, point)) + LenientNumber(body.substr(point + 1));
    float minutes = ToSingle(value);
    if (h == 'S' || h == 'W') minutes = -minutes;
    return minutes == 0 ? 0.0f : minutes;
}

bool ParsePosition(const std::string& position, float& longitude, float& latitude) {
    const std::size_t comma = position.find(',');
    if (comma == std::string::npos) return false;
    const std::string first = TrimSpaces(position.substr(0, comma));
    const std::string second = TrimSpaces(position.substr(comma + 1));
    const bool firstIsLatitude = !first.empty() && (first.back() == 'N' || first.back() == 'S');
    longitude = CoordToMinutes(firstIsLatitude ? second : first);
    latitude = CoordToMinutes(firstIsLatitude ? first : second);
    return true;
}

namespace {

std::string FormatOne(float value, bool isLongitude) {
    if (!std::isfinite(value)) throw CoreError(ErrorKind::Overflow, "Overflow");
    const char h = value >= 0 ? (isLongitude ? 'E' : 'N') : (isLongitude ? 'W' : 'S');
    const float a = std::fabs(value);
    const double whole = std::floor(a);
    if (whole > 2147483647.0) throw CoreError(ErrorKind::Overflow, "Overflow");
    long long degrees = static_cast<long long>(whole) / 60;
    // The degrees times 60 are a 16-bit product.
    if (degrees * 60 > 32767) throw CoreError(ErrorKind::Overflow, "Overflow");
    const float minutes = a - static_cast<float>(degrees * 60);
    // Hundredths of a minute, half-way rounding away from zero. A float times 100 is exact
    // in a double, so "half-way" means exactly half-way.
    auto hundredths =
        static_cast<long long>(std::floor(static_cast<double>(minutes) * 100.0 + 0.5));
    if (hundredths >= 6000) { // 59.995 and up: carry, so the text stays a valid coordinate
        ++degrees;
        hundredths -= 6000;
    }
    return ZeroPadded(degrees, isLongitude ? 3 : 2) + "." + ZeroPadded(hundredths / 100, 2) + "." +
           ZeroPadded(hundredths % 100, 2) + h;
}

} // namespace

void FormatPosition(float latitude, float longitude, std::string& latitudeText,
                    std::string& longitudeText) {
    latitudeText = FormatOne(latitude, false);
    longitudeText = FormatOne(longitude, true);
}

} // namespace MapCode
