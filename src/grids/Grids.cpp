// The grids by key and name, and a place written in each.
#include "grids/Grids.h"
#include "grids/Systems.h"

#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

#include <cmath>
#include <cstdio>

namespace Grids {
using namespace Detail;
namespace {

struct Named {
    GridKind kind;
    const char* key;
    const char* name;
};
constexpr Named kNames[] = {
    {GridKind::LatLon, "latlon", "Latitude/Longitude"},
    {GridKind::Decimal, "decimal", "Decimal degrees"},
    {GridKind::Bng, "bng", "British National Grid"},
    {GridKind::Irish, "irish", "Irish Grid"},
    {GridKind::Itm, "itm", "Irish Transverse Mercator"},
    {GridKind::Utm, "utm", "UTM"},
    {GridKind::Mgrs, "mgrs", "MGRS"},
};

// A place a hair below a line of its grid still names the square above, so that a text read and
// written again stays as it was: within a micrometre through a projection alone, within 2 mm
// through a datum shift or the core's inverse (Projection::Exact).
constexpr double kBelowLineExact = 1e-6, kBelowLine = 2e-3; // metres

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return lower;
}

// The number to `places` decimals, rounded, never "-0.000".
std::string Fixed(double value, int places) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    std::string written = text;
    if (written[0] == '-' && written.find_first_not_of("-0.") == std::string::npos)
        written.erase(0, 1);
    return written;
}

// The metres of the square of one metre that holds a value.
long long Cut(double metres, bool exact) {
    return static_cast<long long>(std::floor(metres + (exact ? kBelowLineExact : kBelowLine)));
}

std::string Within100Km(long long metres) {
    return MapCode::ZeroPadded(metres % 100000, 5);
}

// The text of a place in a metric or EPSG grid, from its unrounded coordinates.
std::string GridText(Grid grid, const GridPoint& p, char band, const Projection& projection) {
    if (grid.kind == GridKind::Epsg)
        return "EPSG:" + std::to_string(grid.epsg) + " " +
               (projection.Info().geographic ? Fixed(p.x, 7) + " " + Fixed(p.y, 7)
                                             : Fixed(p.x, 3) + " " + Fixed(p.y, 3));
    const long long e = Cut(p.x, projection.Exact()), n = Cut(p.y, projection.Exact());
    const std::string en = std::to_string(e) + " " + std::to_string(n);
    switch (grid.kind) {
    case GridKind::Bng:
        return BngLetters(double(e), double(n)) + " " + Within100Km(e) + " " + Within100Km(n);
    case GridKind::Irish:
        return IrishLetter(double(e), double(n)) + " " + Within100Km(e) + " " + Within100Km(n);
    case GridKind::Itm:
        return "ITM " + en;
    case GridKind::Utm:
        return std::to_string(p.zone) + band + " " + en;
    default:
        break;
    }
    return std::to_string(p.zone) + band + " " + MgrsLetters(p.zone, double(e), double(n)) + " " +
           Within100Km(e) + " " + Within100Km(n);
}

// "51.30.43N 000.07.66W". CoreError beyond what a coordinate text holds.
std::string LatLonText(double latitude, double longitude) {
    std::string lat, lon;
    MapCode::FormatPosition(float(latitude * 60), float(longitude * 60), lat, lon);
    return lat + " " + lon;
}

// A place in a grid, without saying which others cover it when this one does not.
Written Attempt(double latitude, double longitude, Grid grid, Datum datum) {
    Written w;
    w.point = {longitude, latitude};
    if (grid.kind == GridKind::LatLon || grid.kind == GridKind::Decimal) {
        w.text = grid.kind == GridKind::Decimal ? Fixed(latitude, 7) + " " + Fixed(longitude, 7)
                                                : LatLonText(latitude, longitude);
        w.outcome = Outcome::Written;
        return w;
    }
    char band = 0;
    w.outcome = Outcome::Outside;
    if (grid.kind == GridKind::Utm || grid.kind == GridKind::Mgrs) {
        // The zone and band of the place on WGS 84, every zone's own datum.
        double x = longitude, y = latitude;
        Projection(grid, datum, 1).LibraryToOwn(&x, &y, 1);
        if (!(band = UtmBand(y))) return w;
        w.point = {0, 0, UtmZone(y, x), y < 0};
    }
    const Projection projection(grid, datum, w.point.zone, w.point.south);
    double x = longitude, y = latitude;
    projection.LibraryToOwn(&x, &y, 1);
    if (!projection.InArea(x, y)) return w;
    x = longitude, y = latitude;
    projection.Forward(&x, &y, 1);
    if (std::isnan(x)) {
        w.outcome = Outcome::Failed;
        w.why = "PROJ cannot convert " + LatLonText(latitude, longitude) + " to " + NameOf(grid);
        return w;
    }
    w.point.x = x, w.point.y = y;
    if (grid.kind == GridKind::Bng && BngLetters(x, y).empty()) return w;
    if (grid.kind == GridKind::Irish && IrishLetter(x, y).empty()) return w;
    w.text = GridText(grid, w.point, band, projection);
    w.outcome = Outcome::Written;
    return w;
}

// Why a place is not written in a grid that does not cover it, naming those that do.
std::string OutsideWhy(double latitude, double longitude, Grid grid, Datum datum) {
    std::string others;
    for (const Grid& other : TableGrids()) {
        if (other == grid || other.kind == GridKind::LatLon || other.kind == GridKind::Decimal)
            continue;
        try {
            if (Attempt(latitude, longitude, other, datum).outcome == Outcome::Written)
                others += (others.empty() ? "" : ", ") + NameOf(other);
        } catch (const ProjFailure&) {
        }
    }
    return LatLonText(latitude, longitude) + " is outside the " + NameOf(grid) + "; " +
           (others.empty() ? "only latitude and longitude cover it"
                           : "grids that cover it: " + others);
}

} // namespace

const std::vector<Grid>& TableGrids() {
    static const std::vector<Grid> grids = [] {
        std::vector<Grid> all;
        for (const Named& n : kNames) all.push_back({n.kind, 0});
        return all;
    }();
    return grids;
}

std::string KeyOf(Grid grid) {
    if (grid.kind == GridKind::Epsg) return "epsg:" + std::to_string(grid.epsg);
    for (const Named& n : kNames)
        if (n.kind == grid.kind) return n.key;
    return {};
}

std::string NameOf(Grid grid) {
    if (grid.kind == GridKind::Epsg) return "EPSG:" + std::to_string(grid.epsg);
    for (const Named& n : kNames)
        if (n.kind == grid.kind) return n.name;
    return {};
}

std::optional<Grid> GridOfKey(std::string_view key, std::string& why) {
    const std::string lower = Lower(key);
    for (const Named& n : kNames)
        if (lower == n.key) return Grid{n.kind, 0};
    const std::string digits = lower.rfind("epsg:", 0) == 0 ? lower.substr(5) : "";
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        why = "no grid \"" + std::string(key) +
              "\": the grids are latlon, decimal, bng, irish, itm, utm, mgrs and epsg:CODE";
        return std::nullopt;
    }
    try {
        const CrsInfo info = SystemInfo(std::stoi(digits));
        if (info.usable) return Grid{GridKind::Epsg, std::stoi(digits)};
        why = info.why;
    } catch (const ProjFailure& e) {
        why = e.what();
    }
    return std::nullopt;
}

Written WritePlace(double latitude, double longitude, Grid grid, Datum datum) {
    Written w;
    try {
        if (!(std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180)) {
            w.why = "a place lies within 90 degrees of latitude and 180 of longitude";
            return w;
        }
        w = Attempt(latitude, longitude, grid, datum);
        if (w.outcome == Outcome::Outside) w.why = OutsideWhy(latitude, longitude, grid, datum);
    } catch (const ProjFailure& e) {
        w.outcome = Outcome::Failed;
        w.why = e.what();
    } catch (const std::exception& e) { // a coordinate beyond what a text holds
        w.outcome = Outcome::Failed;
        w.why = e.what();
    }
    return w;
}

std::optional<std::pair<double, double>> PlaceOf(const GridPoint& point, Grid grid, Datum datum,
                                                 std::string& why) {
    try {
        double x = point.x, y = point.y;
        Projection(grid, datum, point.zone, point.south).Inverse(&x, &y, 1);
        if (!std::isnan(x)) return std::pair{y, x};
        why = "PROJ cannot convert the point from " + NameOf(grid);
    } catch (const ProjFailure& e) {
        why = e.what();
    }
    return std::nullopt;
}

std::string PanelText(double latitude, double longitude, Grid grid, Datum datum) {
    try {
        if (grid.kind == GridKind::LatLon && datum == Datum::OSGB36)
            return MapCode::PositionText(float(latitude * 60), float(longitude * 60));
        const std::string position = LatLonText(latitude, longitude);
        // Beside a latitude and longitude, its National Grid reference through PROJ on WGS 84.
        const Grid written = grid.kind == GridKind::LatLon ? Grid{GridKind::Bng, 0} : grid;
        Written w;
        try {
            w = Attempt(latitude, longitude, written, datum);
        } catch (const ProjFailure&) {
            w.outcome = Outcome::Failed;
        }
        if (grid.kind == GridKind::LatLon)
            return w.outcome == Outcome::Written
                       ? position + "  " + MapCode::EastNorthToGridRef(w.point.x, w.point.y)
                       : position;
        if (w.outcome == Outcome::Written) return w.text;
        return position + "  (" +
               (w.outcome == Outcome::Outside ? "outside the " + NameOf(grid)
                                              : NameOf(grid) + " unavailable") +
               ")";
    } catch (const std::exception&) { // a coordinate beyond what a text holds
        return {};
    }
}

std::string DescribePlace(const Place& place, Datum datum) {
    if (!place.ok) return {};
    const std::string position =
        PanelText(place.latitude, place.longitude, {GridKind::LatLon, 0}, datum);
    switch (place.form.kind) {
    case GridKind::LatLon:
        return "Latitude and longitude: " + position;
    case GridKind::Decimal:
        return "Decimal degrees: " + position;
    case GridKind::Bng:
        return "National Grid reference " + place.text + ": " +
               position.substr(0, position.find("  "));
    default:
        break;
    }
    return NameOf(place.form) + ": " + position;
}

} // namespace Grids
