#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

namespace MapCode {
namespace {

struct Kind {
    char positive, negative;
    int padding, largest;
    const char* name;
};
constexpr Kind kLatitude{'N', 'S', 2, 90, "latitude"};
constexpr Kind kLongitude{'E', 'W', 3, 180, "longitude"};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Steps after the grid reference test; any error ends it with the kind's name.
std::string CheckCoordinate(std::string s, std::string& box, const Kind& kind) {
    const char h = s.back();
    if (h != kind.positive && h != kind.negative) return kind.name;
    s.pop_back();
    if (s.empty()) return kind.name;

    const std::size_t p1 = s.find('.');
    // Only digits and points, and spaces after the first point (where the lenient rule skips
    // them): anything else would be read as a different number, or saved unreadable.
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (IsDigit(c) || c == '.') continue;
        if (c == ' ' && p1 != std::string::npos && i > p1) continue;
        return kind.name;
    }
    const std::size_t p2 =
        (p1 != std::string::npos && p1 + 1 < s.size()) ? s.find('.', p1 + 1) : std::string::npos;

    int degrees, minutes = 0, hundredths = 0;
    if (p1 == std::string::npos) {
        degrees = RoundToInt16(LenientNumber(s));
    } else {
        degrees = RoundToInt16(LenientNumber(s.substr(0, p1)));
        if (p2 == std::string::npos) {
            minutes = RoundToInt16(LenientNumber(s.substr(p1 + 1)));
        } else {
            minutes = RoundToInt16(LenientNumber(s.substr(p1 + 1, p2 - p1 - 1)));
            hundredths = RoundToInt16(LenientNumber(s.substr(p2 + 1)));
        }
    }
    if (degrees < 0 || degrees > kind.largest) return kind.name;
    if (degrees == kind.largest && (minutes != 0 || hundredths != 0)) return kind.name;
    if (minutes < 0 || minutes > 59) return kind.name;
    if (hundredths < 0 || hundredths > 99) return kind.name;

    // A text typed in the canonical layout is kept as typed; anything else is rebuilt.
    const std::size_t length = static_cast<std::size_t>(kind.padding) + 6;
    bool canonical = s.size() == length;
    for (std::size_t i = 0; canonical && i < s.size(); ++i) {
        const bool pointHere = i == length - 6 || i == length - 3;
        canonical = pointHere ? s[i] == '.' : IsDigit(s[i]);
    }
    if (!canonical)
        s = ZeroPadded(degrees, kind.padding) + "." + ZeroPadded(minutes, 2) + "." +
            ZeroPadded(hundredths, 2);
    box = s + h;
    return "Ok";
}

} // namespace

std::string ValidatePosition(std::string& box, std::string& partner, bool isLongitude) {
    std::string s;
    try {
        s = TrimSpaces(box);
        if (s.empty()) return "True";
        double northing = 0, easting = 0;
        if (GridRefToEastNorth(s, northing, easting)) {
            double latitude = 0, longitude = 0;
            EastNorthToLatLon(easting, northing, latitude, longitude);
            std::string latitudeText, longitudeText;
            FormatPosition(ToSingle(latitude * 60), ToSingle(longitude * 60), latitudeText,
                           longitudeText);
            box = isLongitude ? longitudeText : latitudeText;
            partner = isLongitude ? latitudeText : longitudeText;
            return "True";
        }
    } catch (...) {
        return "";
    }
    const Kind& kind = isLongitude ? kLongitude : kLatitude;
    try {
        return CheckCoordinate(s, box, kind);
    } catch (...) {
        return kind.name;
    }
}

} // namespace MapCode
