// A place read from any of its written forms: the form told by the text's shape, then read by
// that form's own rules, each refusal naming the text and what was expected.
#include "grids/Grids.h"
#include "grids/Systems.h"

#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

#include <algorithm>
#include <cmath>

namespace Grids {
using namespace Detail;
namespace {

constexpr double kHalfHundredth = 0.005 / 60; // half a hundredth of a minute, in degrees

// A text being read: upper case, tabs as spaces, trimmed; its words, and the text without spaces.
struct Text {
    std::string text, compact;
    std::vector<std::string> words;
};

// The square a grid text names: its south-west corner and its side, in the grid's units.
struct Square {
    double x = 0, y = 0, side = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return c >= 'A' && c <= 'Z';
}
bool IsHemisphere(char c) {
    return c == 'N' || c == 'S' || c == 'E' || c == 'W';
}

std::vector<std::string> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : text) {
        if (separators.find(c) == std::string_view::npos) {
            part += c;
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

Text Prepare(std::string_view typed) {
    Text t;
    for (const char c : typed)
        t.text += c == '\t' ? ' ' : (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    t.text = MapCode::TrimSpaces(t.text);
    t.words = Split(t.text, " ");
    for (const char c : t.text)
        if (c != ' ') t.compact += c;
    return t;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

Place Fail(std::string why) {
    Place p;
    p.error = std::move(why);
    return p;
}

// The side of the square a number names: 1 for whole units, 0.01 for hundredths.
double SideOf(const std::string& number) {
    const std::size_t point = number.find('.');
    return point == std::string::npos ? 1 : std::pow(10.0, -double(number.size() - point - 1));
}

// The place of a grid text's coordinates, converted into the library's datum.
Place Located(const Projection& projection, Grid form, std::string text, GridPoint point,
              const std::string& refused) {
    double x = point.x, y = point.y;
    projection.Inverse(&x, &y, 1);
    if (std::isnan(x)) return Fail(refused + "PROJ cannot convert it");
    Place p;
    p.ok = true;
    p.form = form;
    p.text = std::move(text);
    p.latitude = y, p.longitude = x;
    p.point = point;
    return p;
}

// Whether a grid text's coordinates lie in its grid's area.
bool InArea(const Projection& projection, double x, double y) {
    projection.ToOwn(&x, &y, 1);
    return projection.InArea(x, y);
}

// --- Lettered grids: the National Grid and the Irish Grid -------------------------------------

// The digits after a lettered square's letters: two halves of 1 to 5 digits, in metres within
// the square; false for another count.
bool Halves(const std::string& digits, double& east, double& north, double& side) {
    if (digits.empty() || digits.size() % 2 || digits.size() > 10) return false;
    const std::size_t half = digits.size() / 2;
    side = std::pow(10.0, double(5 - half));
    east = std::stod(digits.substr(0, half)) * side;
    north = std::stod(digits.substr(half)) * side;
    return true;
}

// The editor's reading of 4 and 6 digits: the centre of a 1 km square or a 100 m square's corner,
// rounded to the hundredths of a minute its corners are written in.
void AsTheEditorReads(Place& p) {
    std::string latitude, longitude;
    MapCode::FormatPosition(MapCode::ToSingle(p.latitude * 60), MapCode::ToSingle(p.longitude * 60),
                            latitude, longitude);
    p.latitude = MapCode::CoordToMinutes(latitude) / 60.0;
    p.longitude = MapCode::CoordToMinutes(longitude) / 60.0;
}

Place ReadBng(const Text& t, Datum datum, Square& square) {
    const std::string& c = t.compact;
    const std::string letters = c.substr(0, 2), digits = c.substr(2);
    double east = 0, north = 0;
    if (!Halves(digits, east, north, square.side))
        return Fail(c +
                    " is not a National Grid reference: two letters and 2, 4, 6, 8 or 10 digits");
    if (!BngOrigin(letters, square.x, square.y))
        return Fail(letters + " is not one of the National Grid's squares");
    square.x += east, square.y += north;
    GridPoint point{square.x, square.y};
    const bool editors = digits.size() == 4 || digits.size() == 6;
    if (editors) MapCode::GridRefToEastNorth(c, point.y, point.x);
    const Projection projection({GridKind::Bng, 0}, datum);
    if (!InArea(projection, point.x, point.y))
        return Fail(c + " is not a National Grid reference here: it lies outside the grid's area, "
                        "49.75 to 61.01 N and 9.01 W to 2.01 E");
    Place p = Located(projection, {GridKind::Bng, 0},
                      editors ? MapCode::EastNorthToGridRef(point.x, point.y)
                              : letters + " " + digits.substr(0, digits.size() / 2) + " " +
                                    digits.substr(digits.size() / 2),
                      point, c + " is not a National Grid reference here: ");
    if (p.ok && editors) AsTheEditorReads(p);
    return p;
}

Place ReadIrish(const Text& t, Datum datum, Square& square) {
    const std::string& c = t.compact;
    const std::string refused = Quoted(t.text) + " is not an Irish Grid reference: ";
    double east = 0, north = 0;
    if (!Halves(c.substr(1), east, north, square.side))
        return Fail(refused + "one letter and 2, 4, 6, 8 or 10 digits (O 15000 34000)");
    if (!IrishOrigin(c[0], square.x, square.y))
        return Fail(refused + c.substr(0, 1) + " is not one of the Irish Grid's squares");
    square.x += east, square.y += north;
    const Projection projection({GridKind::Irish, 0}, datum);
    if (!InArea(projection, square.x, square.y))
        return Fail(refused + "it lies outside the Irish Grid's area");
    const std::size_t half = (c.size() - 1) / 2;
    return Located(projection, {GridKind::Irish, 0},
                   c.substr(0, 1) + " " + c.substr(1, half) + " " + c.substr(1 + half),
                   {square.x, square.y}, refused);
}

// --- Metric grids: ITM, UTM, MGRS and EPSG systems ------------------------------------------

// Two numbers, separated by spaces or a comma; false when the words are not two numbers.
bool TwoNumbers(std::string_view words, double& x, double& y, double& side) {
    const std::vector<std::string> numbers = Split(words, " ,");
    if (numbers.size() != 2) return false;
    try {
        x = MapCode::StrictNumber(numbers[0]);
        y = MapCode::StrictNumber(numbers[1]);
    } catch (const CoreError&) {
        return false;
    }
    side = std::min(SideOf(numbers[0]), SideOf(numbers[1]));
    return std::isfinite(x) && std::isfinite(y);
}

Place ReadItm(const Text& t, Datum datum, Square& square) {
    const std::string refused = Quoted(t.text) + " is not an ITM position: ";
    if (!TwoNumbers(std::string_view(t.text).substr(3), square.x, square.y, square.side))
        return Fail(refused + "ITM, an easting and a northing in metres (ITM 715830 734697)");
    const Projection projection({GridKind::Itm, 0}, datum);
    if (!InArea(projection, square.x, square.y))
        return Fail(refused + "it lies outside the area of Irish Transverse Mercator");
    return Located(projection, {GridKind::Itm, 0}, t.text, {square.x, square.y}, refused);
}

Place ReadEpsg(const Text& t, Datum datum, Square& square) {
    const std::size_t end = std::min(t.text.find(' '), t.text.size());
    const std::string code = t.text.substr(5, end - 5);
    std::string why;
    const auto grid = GridOfKey("EPSG:" + code, why);
    if (!grid) return Fail(Quoted(t.text) + " is not a place: " + why);
    const std::string refused = Quoted(t.text) + " is not a place in EPSG:" + code + ": ";
    if (!TwoNumbers(std::string_view(t.text).substr(end), square.x, square.y, square.side))
        return Fail(refused + "EPSG:CODE, then X and Y (EPSG:27700 529925.312 180408.746)");
    const Projection projection(*grid, datum);
    if (!InArea(projection, square.x, square.y))
        return Fail(refused + "it lies outside the system's area (" + projection.Info().name + ")");
    return Located(projection, *grid, t.text, {square.x, square.y}, refused);
}

// A zone of 1 to 60 and a band letter; false with why.
bool ZoneAndBand(int zone, char band, double& bandSouth, double& bandNorth, std::string& why) {
    if (zone < 1 || zone > 60)
        why = "the zone must be 1 to 60";
    else if (!BandEdges(band, bandSouth, bandNorth))
        why = std::string("the latitude band must be a letter from C to X, without I and O, not ") +
              band;
    else
        return true;
    return false;
}

Place ReadUtm(const Text& t, Datum datum, Square& square) {
    const std::string refused = Quoted(t.text) + " is not a UTM position: ";
    const std::string& zoneBand = t.words[0];
    const int zone = std::stoi(zoneBand);
    const char band = zoneBand.back();
    double bandSouth = 0, bandNorth = 0;
    std::string why;
    if (!TwoNumbers(std::string_view(t.text).substr(zoneBand.size()), square.x, square.y,
                    square.side))
        return Fail(refused + "a zone with its latitude band, an easting and a northing in metres "
                              "(30U 699316 5710164)");
    if (!ZoneAndBand(zone, band, bandSouth, bandNorth, why)) return Fail(refused + why);
    if (!(square.x >= 100000 && square.x <= 900000))
        return Fail(refused + "the easting must lie between 100000 and 900000");
    if (!(square.y >= 0 && square.y <= 10000000))
        return Fail(refused + "the northing must lie between 0 and 10000000");
    const GridPoint point{square.x, square.y, zone, band < 'N'};
    const Projection projection({GridKind::Utm, 0}, datum, zone, point.south);
    // The latitudes of the square's southern and northern edges must meet the band (and so the
    // grid's area).
    double x[2] = {square.x, square.x}, y[2] = {square.y, square.y + square.side};
    projection.ToOwn(x, y, 2);
    if (std::isnan(y[0]) || std::isnan(y[1])) return Fail(refused + "PROJ cannot convert it");
    if (!(y[1] >= bandSouth && y[0] < bandNorth)) {
        if (const char in = UtmBand(y[0]))
            return Fail(refused + "its northing lies in band " + in + ", not in band " + band);
        return Fail(refused + "it lies " + (y[0] >= 84 ? "north of 84 N" : "south of 80 S") +
                    ", where UTM stops");
    }
    return Located(projection, {GridKind::Utm, 0}, t.text, point, refused);
}

// The northing of an MGRS square: its row letter repeats every 2000 km, and its band says
// which repetition (the square must meet the band, and so the grid's area). False when none
// meets the band.
bool MgrsNorthing(const Projection& projection, double rowNorthing, const Square& square,
                  double bandSouth, double bandNorth, double& northing) {
    constexpr int kRepeats = 5; // 2000 km each, to 10000 km
    double x[kRepeats * 4], y[kRepeats * 4];
    for (int k = 0; k < kRepeats; ++k)
        for (int corner = 0; corner < 4; ++corner) {
            x[k * 4 + corner] = square.x + (corner % 2) * square.side;
            y[k * 4 + corner] = rowNorthing + k * 2e6 + (corner / 2) * square.side;
        }
    projection.ToOwn(x, y, kRepeats * 4);
    for (int k = 0; k < kRepeats; ++k) {
        const double* corners = y + k * 4;
        if (std::any_of(corners, corners + 4, [](double v) { return std::isnan(v); })) continue;
        if (*std::max_element(corners, corners + 4) >= bandSouth &&
            *std::min_element(corners, corners + 4) < bandNorth) {
            northing = rowNorthing + k * 2e6;
            return true;
        }
    }
    return false;
}

Place ReadMgrs(const Text& t, Datum datum, Square& square) {
    const std::string& c = t.compact;
    const std::string refused = Quoted(t.text) + " is not an MGRS reference: ";
    const std::size_t letters = IsDigit(c[1]) ? 2 : 1;
    const int zone = std::stoi(c.substr(0, letters));
    const char band = c[letters];
    const std::string square100 = c.substr(letters + 1, 2), digits = c.substr(letters + 3);
    double bandSouth = 0, bandNorth = 0, east = 0, north = 0;
    std::string why;
    if (!ZoneAndBand(zone, band, bandSouth, bandNorth, why)) return Fail(refused + why);
    if (!digits.empty() && !Halves(digits, east, north, square.side))
        return Fail(refused + "the digits come in two halves of equal length, 1 to 5 each");
    if (digits.empty()) square.side = 100000;
    const double column = MgrsColumn(zone, square100[0]), row = MgrsRow(zone, square100[1]);
    if (column < 0 || row < 0)
        return Fail(refused + "the 100 km square " + square100 + " does not exist in zone " +
                    std::to_string(zone));
    const Projection projection({GridKind::Mgrs, 0}, datum, zone, band < 'N');
    square.x = column + east;
    if (!MgrsNorthing(projection, row + north, square, bandSouth, bandNorth, square.y))
        return Fail(refused + "the 100 km square " + square100 + " does not lie in band " + band +
                    " of zone " + std::to_string(zone));
    const std::size_t half = digits.size() / 2;
    const std::string text =
        c.substr(0, letters + 1) + " " + square100 +
        (digits.empty() ? "" : " " + digits.substr(0, half) + " " + digits.substr(half));
    return Located(projection, {GridKind::Mgrs, 0}, text, {square.x, square.y, zone, band < 'N'},
                   refused);
}

// --- Telling the forms apart -------------------------------------------------------------------

// A zone of one or two digits and a letter: "30U".
bool IsZoneBand(const std::string& word) {
    return (word.size() == 2 || word.size() == 3) && IsLetter(word.back()) &&
           std::all_of(word.begin(), word.end() - 1, IsDigit);
}

// Letters, then digits only: the count of letters, or -1.
int LeadingLetters(const std::string& compact) {
    const auto digit = std::find_if_not(compact.begin(), compact.end(), IsLetter);
    if (digit == compact.begin() || !std::all_of(digit, compact.end(), IsDigit)) return -1;
    return int(digit - compact.begin());
}

// A grid text of any grid but latitude and longitude; `recognised` false when the text has the
// shape of none.
Place ReadGridText(const Text& t, Datum datum, Square& square, bool& recognised) {
    const std::string& c = t.compact;
    recognised = true;
    if (c.rfind("EPSG:", 0) == 0) return ReadEpsg(t, datum, square);
    if (c.rfind("ITM", 0) == 0 && (c.size() == 3 || !IsLetter(c[3])))
        return ReadItm(t, datum, square);
    auto hasLetter = [](const std::string& w) { return std::any_of(w.begin(), w.end(), IsLetter); };
    if (t.words.size() > 1 && IsZoneBand(t.words[0]) &&
        std::none_of(t.words.begin() + 1, t.words.end(), hasLetter))
        return ReadUtm(t, datum, square);
    const std::size_t zoneDigits = c.size() > 1 && IsDigit(c[0]) ? (IsDigit(c[1]) ? 2 : 1) : 0;
    if (zoneDigits && LeadingLetters(c.substr(zoneDigits)) == 3) return ReadMgrs(t, datum, square);
    if (LeadingLetters(c) == 2) return ReadBng(t, datum, square);
    if (LeadingLetters(c) == 1) return ReadIrish(t, datum, square);
    recognised = false;
    return {};
}

// --- Latitude and longitude -----------------------------------------------------------------

// Where a latitude and a longitude end: after the second hemisphere letter that ends a word;
// the whole text when there is none.
std::size_t PairEnd(const std::string& text) {
    int found = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool ends = i + 1 == text.size() || text[i + 1] == ' ' || text[i + 1] == ',';
        if (IsHemisphere(text[i]) && ends && ++found == 2) return i + 1;
    }
    return text.size();
}

// A coordinate text to minutes of arc as the core reads it (MapCode::CoordToMinutes, whose
// errors pass), but in double precision.
double Minutes(const std::string& coordinate) {
    MapCode::CoordToMinutes(coordinate);
    const std::string_view body = std::string_view(coordinate).substr(0, coordinate.size() - 1);
    const std::size_t point = body.find('.');
    const double minutes = point == std::string::npos
                               ? MapCode::LenientNumber(body) * 60
                               : 60 * MapCode::StrictNumber(body.substr(0, point)) +
                                     MapCode::LenientNumber(body.substr(point + 1));
    const char h = coordinate.back();
    return h == 'S' || h == 'W' ? -minutes : minutes;
}

Place Position(Grid form, double latitude, double longitude, std::string text) {
    if (!(std::fabs(latitude) <= 90))
        return Fail("a latitude is at most 90 degrees north or south");
    if (!(std::fabs(longitude) <= 180))
        return Fail("a longitude is at most 180 degrees east or west");
    Place p;
    p.ok = true;
    p.form = form;
    p.text = std::move(text);
    p.latitude = latitude == 0 ? 0.0 : latitude; // no -0 to print as south
    p.longitude = longitude == 0 ? 0.0 : longitude;
    p.point = {p.longitude, p.latitude};
    return p;
}

// The two halves of a latitude and longitude, either first; no error when there are not two.
Place ReadPair(const std::string& pair) {
    std::vector<std::string> halves;
    if (const std::size_t comma = pair.find(','); comma != std::string::npos)
        halves = {MapCode::TrimSpaces(pair.substr(0, comma)),
                  MapCode::TrimSpaces(pair.substr(comma + 1))};
    else
        halves = Split(pair, " ");
    if (halves.size() != 2) return Fail({});
    int latitudeHalf = -1, longitudeHalf = -1;
    for (int i = 0; i < 2; ++i) {
        const std::string& h = halves[std::size_t(i)];
        const char letter = h.empty() ? 0 : h.back();
        if (!IsHemisphere(letter))
            return Fail((h.empty() ? std::string("nothing") : Quoted(h)) +
                        " is neither a latitude ending in N or S nor a longitude ending in E or W");
        if (std::none_of(h.begin(), h.end(), IsDigit)) return Fail(Quoted(h) + " holds no degrees");
        int& half = letter == 'N' || letter == 'S' ? latitudeHalf : longitudeHalf;
        if (half >= 0)
            return Fail(Quoted(halves[0]) + " and " + Quoted(halves[1]) + " are both " +
                        (&half == &latitudeHalf ? "latitudes" : "longitudes"));
        half = i;
    }
    double minutes[2] = {};
    for (int i = 0; i < 2; ++i) {
        try {
            minutes[i] = Minutes(halves[std::size_t(i)]);
        } catch (const CoreError&) {
            return Fail(Quoted(halves[std::size_t(i)]) +
                        " is not a coordinate: degrees, then minutes and hundredths of a minute "
                        "after points (51.30.25N)");
        }
    }
    return Position({GridKind::LatLon, 0}, minutes[latitudeHalf] / 60, minutes[longitudeHalf] / 60,
                    pair);
}

// Whether a position and the grid text after it agree: the position's cell, widened by half a
// hundredth of a minute each way, meets the text's square.
bool Agree(const Place& position, const Place& reference, const Square& square, Datum datum) {
    double x[4], y[4];
    for (int corner = 0; corner < 4; ++corner) {
        x[corner] = position.longitude + (corner % 2 ? kHalfHundredth : -kHalfHundredth);
        y[corner] = position.latitude + (corner / 2 ? kHalfHundredth : -kHalfHundredth);
    }
    Projection(reference.form, datum, reference.point.zone, reference.point.south).Forward(x, y, 4);
    return *std::max_element(x, x + 4) >= square.x &&
           *std::min_element(x, x + 4) <= square.x + square.side &&
           *std::max_element(y, y + 4) >= square.y &&
           *std::min_element(y, y + 4) <= square.y + square.side;
}

// A latitude and longitude, and the grid text after it if any; `typed` is the text as given.
Place ReadLatLon(const std::string& text, const std::string& typed, Datum datum) {
    const std::size_t end = PairEnd(text);
    const std::string pair = text.substr(0, end), tail = MapCode::TrimSpaces(text.substr(end));
    const Place position = ReadPair(pair);
    if (!position.ok && position.error.empty())
        return Fail(Quoted(typed) + " is not a place: type " + PlaceForms());
    // The Position panel writes a grid text after the position, or that the grid has none here.
    if (!position.ok || tail.empty() || tail.rfind("(OUTSIDE ", 0) == 0) return position;
    const Text t = Prepare(tail);
    Square square;
    bool recognised = false;
    const Place reference = ReadGridText(t, datum, square, recognised);
    if (!recognised) return Fail(Quoted(tail) + " after the position is not a grid reference");
    if (!reference.ok) return reference;
    if (!Agree(position, reference, square, datum))
        return Fail(Quoted(pair) + " and " + Quoted(tail) +
                    " disagree: the position lies outside the square of " + Quoted(tail));
    return position;
}

Place ReadDecimal(const std::string& text) {
    std::vector<std::string> parts;
    if (const std::size_t comma = text.find(','); comma != std::string::npos)
        parts = {text.substr(0, comma), text.substr(comma + 1)};
    else
        parts = Split(text, " ");
    if (parts.size() != 2)
        return Fail("decimal degrees are two numbers, the latitude then the longitude "
                    "(51.5072, -0.1276)");
    double degrees[2] = {};
    for (int i = 0; i < 2; ++i) {
        const std::string part = MapCode::TrimSpaces(parts[std::size_t(i)]);
        try {
            degrees[i] = MapCode::StrictNumber(part);
        } catch (const CoreError&) {
            return Fail((part.empty() ? std::string("nothing") : Quoted(part)) +
                        " is not a number of degrees");
        }
    }
    return Position({GridKind::Decimal, 0}, degrees[0], degrees[1], text);
}

} // namespace

std::string PlaceForms() {
    return "a latitude and longitude (51.30.43N 000.07.66W), decimal degrees "
           "(51.5071667 -0.1276667), a National Grid reference (TQ 29925 80408), an Irish Grid "
           "reference (O 15000 34000), Irish Transverse Mercator (ITM 715830 734697), UTM "
           "(30U 699316 5710164), MGRS (30U XC 99316 10164) or an EPSG system's X and Y "
           "(EPSG:27700 529925.312 180408.746)";
}

Place ReadPlace(std::string_view typed, Datum datum) {
    const Text t = Prepare(typed);
    const std::string given = MapCode::TrimSpaces(typed);
    if (t.text.empty()) return Fail("type a place: " + PlaceForms());
    try {
        Square square;
        bool recognised = false;
        Place p = ReadGridText(t, datum, square, recognised);
        if (recognised) return p;
        if (std::any_of(t.text.begin(), t.text.end(), IsHemisphere))
            return ReadLatLon(t.text, given, datum);
        return ReadDecimal(t.text);
    } catch (const ProjFailure& e) {
        return Fail(Quoted(t.text) + " cannot be read: " + e.what());
    } catch (const std::exception&) { // numbers beyond what the forms hold
        return Fail(Quoted(given) + " is not a place: type " + PlaceForms());
    }
}

} // namespace Grids
