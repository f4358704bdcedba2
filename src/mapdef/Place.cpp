#include "mapdef/Place.h"

#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace MapCode {
namespace {

constexpr float kMaxLatitude = 90 * 60, kMaxLongitude = 180 * 60; // minutes of arc
constexpr double kGridEast = 700000, kGridNorth = 1300000;        // the grid's extent, metres

const char* const kExamples = "a latitude and longitude (51.30.25N,000.07.66W), decimal degrees "
                              "(51.5072, -0.1276) or a National Grid reference (TQ 290 800)";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

Place Fail(std::string why) {
    Place p;
    p.error = std::move(why);
    return p;
}

Place Found(PlaceForm form, float latitude, float longitude) {
    Place p;
    p.form = form;
    if (std::fabs(latitude) > kMaxLatitude)
        return Fail("a latitude is at most 90 degrees north or south");
    if (std::fabs(longitude) > kMaxLongitude)
        return Fail("a longitude is at most 180 degrees east or west");
    p.ok = true;
    p.latitude = latitude == 0 ? 0.0f : latitude; // no -0 to print as south
    p.longitude = longitude == 0 ? 0.0f : longitude;
    return p;
}

// Two letters then digits only (spaces aside): meant as a grid reference.
bool LooksLikeGridRef(const std::string& compact) {
    return compact.size() > 2 && IsLetter(compact[0]) && IsLetter(compact[1]) &&
           std::all_of(compact.begin() + 2, compact.end(), IsDigit);
}

Place GridReference(const std::string& text, const std::string& compact) {
    double northing = 0, easting = 0;
    if (!GridRefToEastNorth(text, northing, easting))
        return Fail(compact + " is not a National Grid reference: two letters and 4 or 6 digits");
    if (!(easting >= 0 && easting < kGridEast && northing >= 0 && northing < kGridNorth))
        return Fail(compact.substr(0, 2) + " is not one of the National Grid's squares");
    // As the editor converts and writes it, and the reader reads it back.
    double latitude = 0, longitude = 0;
    EastNorthToLatLon(easting, northing, latitude, longitude);
    std::string latitudeText, longitudeText;
    FormatPosition(ToSingle(latitude * 60), ToSingle(longitude * 60), latitudeText, longitudeText);
    Place p = Found(PlaceForm::GridReference, CoordToMinutes(latitudeText),
                    CoordToMinutes(longitudeText));
    p.gridRef = EastNorthToGridRef(easting, northing);
    return p;
}

Place LatitudeLongitude(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos)
        return Fail("a latitude and a longitude are separated by a comma "
                    "(51.30.25N,000.07.66W)");
    std::string halves[2] = {TrimSpaces(text.substr(0, comma)), TrimSpaces(text.substr(comma + 1))};
    int latitudeHalf = -1, longitudeHalf = -1;
    for (int i = 0; i < 2; ++i) {
        const std::string& h = halves[i];
        const char letter = h.empty() ? 0 : h.back();
        if (letter != 'N' && letter != 'S' && letter != 'E' && letter != 'W')
            return Fail((h.empty() ? std::string("nothing") : "\"" + h + "\"") +
                        " is neither a latitude ending in N or S nor a longitude ending in E "
                        "or W");
        if (std::none_of(h.begin(), h.end(), IsDigit))
            return Fail("\"" + h + "\" holds no degrees");
        int& half = letter == 'N' || letter == 'S' ? latitudeHalf : longitudeHalf;
        if (half >= 0)
            return Fail("\"" + halves[0] + "\" and \"" + halves[1] + "\" are both " +
                        (&half == &latitudeHalf ? "latitudes" : "longitudes"));
        half = i;
    }
    float minutes[2] = {};
    for (int i = 0; i < 2; ++i) {
        try {
            minutes[i] = CoordToMinutes(halves[i]);
        } catch (const CoreError&) {
            return Fail("\"" + halves[i] +
                        "\" is not a coordinate: degrees, then minutes and hundredths of a "
                        "minute after points (51.30.25N)");
        }
    }
    return Found(PlaceForm::LatitudeLongitude, minutes[latitudeHalf], minutes[longitudeHalf]);
}

Place DecimalDegrees(const std::string& text) {
    std::vector<std::string> parts;
    if (const std::size_t comma = text.find(','); comma != std::string::npos) {
        parts = {text.substr(0, comma), text.substr(comma + 1)};
    } else {
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t end = std::min(text.find(' ', i), text.size());
            if (end > i) parts.push_back(text.substr(i, end - i));
            i = end + 1;
        }
    }
    if (parts.size() != 2)
        return Fail("decimal degrees are two numbers, the latitude then the longitude "
                    "(51.5072, -0.1276)");
    double degrees[2] = {};
    for (int i = 0; i < 2; ++i) {
        const std::string part = TrimSpaces(parts[std::size_t(i)]);
        try {
            degrees[i] = StrictNumber(part);
        } catch (const CoreError&) {
            return Fail((part.empty() ? std::string("nothing") : "\"" + part + "\"") +
                        " is not a number of degrees");
        }
    }
    if (std::fabs(degrees[0]) > 90) return Fail("a latitude is at most 90 degrees north or south");
    if (std::fabs(degrees[1]) > 180) return Fail("a longitude is at most 180 degrees east or west");
    return Found(PlaceForm::DecimalDegrees, ToSingle(degrees[0] * 60), ToSingle(degrees[1] * 60));
}

} // namespace

Place ReadPlace(std::string_view typed) {
    // Letters in either case, as the definition reader takes corner lines; tabs as spaces.
    std::string text;
    for (char c : typed) text += c == '\t' ? ' ' : (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    text = TrimSpaces(text);
    if (text.empty()) return Fail(std::string("type a place: ") + kExamples);
    std::string compact;
    for (char c : text)
        if (c != ' ') compact += c;
    try {
        if (LooksLikeGridRef(compact)) return GridReference(text, compact);
        if (std::any_of(text.begin(), text.end(),
                        [](char c) { return c == 'N' || c == 'S' || c == 'E' || c == 'W'; }))
            return LatitudeLongitude(text);
        return DecimalDegrees(text);
    } catch (const std::exception&) {
        // Numbers beyond single precision, a conversion that does not settle.
        return Fail("\"" + std::string(typed) + "\" is not a place: " + kExamples);
    }
}

std::string DescribePlace(const Place& place) {
    if (!place.ok) return {};
    std::string position;
    try {
        position = PositionText(place.latitude, place.longitude);
    } catch (const std::exception&) {
        return {};
    }
    switch (place.form) {
    case PlaceForm::GridReference:
        return "National Grid reference " + place.gridRef + ": " +
               position.substr(0, position.find("  "));
    case PlaceForm::DecimalDegrees:
        return "Decimal degrees: " + position;
    case PlaceForm::LatitudeLongitude:
        break;
    }
    return "Latitude and longitude: " + position;
}

} // namespace MapCode
