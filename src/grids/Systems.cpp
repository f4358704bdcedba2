#include "grids/Systems.h"

#include "mapdef/MapCode.h"

#include <cmath>
#include <limits>

namespace Grids::Detail {
namespace {

constexpr double kSquare = 100000; // lettered squares are 100 km across
constexpr const char* kBands = "CDEFGHJKLMNPQRSTUVWX";
constexpr const char* kIrishLetters = "ABCDEFGHJKLMNOPQRSTUVWXYZ";            // a 5 x 5 block, no I
constexpr const char* kMgrsColumns[3] = {"STUVWXYZ", "ABCDEFGH", "JKLMNPQR"}; // by zone % 3
constexpr const char* kMgrsRows = "ABCDEFGHJKLMNPQRSTUV";
constexpr int kMgrsEvenRowShift = 5; // even zones' rows start at F

const ModuleTable& Module() {
    std::string why;
    if (const ModuleTable* table = LoadModule(why)) return *table;
    throw ProjFailure(why);
}

void Fail(double& x, double& y) {
    x = y = std::numeric_limits<double>::quiet_NaN();
}

int PositionIn(const char* letters, char letter) {
    for (int i = 0; letters[i]; ++i)
        if (letters[i] == letter) return i;
    return -1;
}

int SystemCode(Grid grid, int zone, bool south) {
    switch (grid.kind) {
    case GridKind::LatLon:
    case GridKind::Decimal:
        return 0;
    case GridKind::Bng:
        return 27700;
    case GridKind::Irish:
        return 29903;
    case GridKind::Itm:
        return 2157;
    case GridKind::Utm:
    case GridKind::Mgrs:
        return UtmCode(zone, south);
    case GridKind::Epsg:
        break;
    }
    return grid.epsg;
}

} // namespace

int LibrarySystem(Datum datum) {
    return datum == Datum::WGS84 ? 4326 : 4277;
}

CrsInfo SystemInfo(int code) {
    return Module().describe(code);
}

Projection::Projection(Grid grid, Datum datum, int zone, bool south)
    : grid_(grid), core_(grid.kind == GridKind::Bng && datum == Datum::OSGB36),
      code_(SystemCode(grid, zone, south)), library_(LibrarySystem(datum)) {
    if (code_ == 0 || core_) return;
    info_ = SystemInfo(code_);
    if (!info_.usable) throw ProjFailure(info_.why);
}

void Projection::Convert(int from, int to, double* x, double* y, std::size_t count) const {
    std::string why;
    if (!Module().transform(from, to, x, y, count, why)) throw ProjFailure(why);
}

void Projection::Forward(double* x, double* y, std::size_t count) const {
    if (code_ == 0) return;
    if (!core_) return Convert(library_, code_, x, y, count);
    for (std::size_t i = 0; i < count; ++i) {
        try {
            MapCode::LatLonToEastNorth(y[i], x[i], x[i], y[i]);
        } catch (const CoreError&) {
            Fail(x[i], y[i]);
        }
    }
}

void Projection::Inverse(double* x, double* y, std::size_t count) const {
    if (code_ == 0) return;
    if (!core_) return Convert(code_, library_, x, y, count);
    for (std::size_t i = 0; i < count; ++i) {
        try {
            double latitude = 0, longitude = 0;
            MapCode::EastNorthToLatLon(x[i], y[i], latitude, longitude);
            x[i] = longitude, y[i] = latitude;
        } catch (const CoreError&) {
            Fail(x[i], y[i]);
        }
    }
}

void Projection::ToOwn(double* x, double* y, std::size_t count) const {
    if (code_ == 0 || info_.geographic) return;
    if (core_) return Inverse(x, y, count);
    Convert(code_, info_.base ? info_.base : library_, x, y, count);
}

void Projection::LibraryToOwn(double* x, double* y, std::size_t count) const {
    if (code_ == 0 || core_) return;
    const int own = info_.geographic ? code_ : info_.base;
    if (own) Convert(library_, own, x, y, count);
}

bool Projection::Exact() const {
    return code_ == 0 || (!core_ && (info_.geographic ? code_ : info_.base) == library_);
}

bool Projection::InArea(double longitude, double latitude) const {
    if (!(std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180)) return false;
    switch (grid_.kind) {
    case GridKind::LatLon:
    case GridKind::Decimal:
        return true;
    case GridKind::Bng: // the box the Position panel has always given references in
        return latitude >= 49.75 && latitude <= 61.01 && longitude >= -9.01 && longitude <= 2.01;
    case GridKind::Utm:
    case GridKind::Mgrs:
        return latitude >= -80 && latitude < 84;
    default:
        break;
    }
    const bool across = info_.west > info_.east; // a box across 180 degrees
    const bool inLongitude = across ? longitude >= info_.west || longitude <= info_.east
                                    : longitude >= info_.west && longitude <= info_.east;
    return inLongitude && latitude >= info_.south && latitude <= info_.north;
}

int UtmZone(double latitude, double longitude) {
    int degree = int(std::floor(longitude));
    if (degree >= 180) degree -= 360;
    if (degree < -180) degree += 360;
    int zone = (degree + 186) / 6;
    const char band = UtmBand(latitude);
    if (band == 'V' && zone == 31 && degree >= 3) return 32; // Norway's west coast
    if (band == 'X' && degree >= 0 && degree < 42) return 2 * ((degree + 183) / 12) + 1; // Svalbard
    return zone;
}

char UtmBand(double latitude) {
    if (!(latitude >= -80 && latitude < 84)) return 0;
    const int index = (int(std::floor(latitude)) + 80) / 8;
    return kBands[std::min(index, 19)]; // X runs on to 84 N
}

bool BandEdges(char band, double& south, double& north) {
    const int index = band ? PositionIn(kBands, band) : -1;
    if (index < 0) return false;
    south = -80 + 8 * index;
    north = band == 'X' ? 84 : south + 8;
    return true;
}

std::string BngLetters(double easting, double northing) {
    return MapCode::EastNorthToGridRef(easting, northing).substr(0, 2);
}

bool BngOrigin(const std::string& letters, double& easting, double& northing) {
    double e = 0, n = 0;
    if (letters.size() != 2 || !MapCode::GridRefToEastNorth(letters + "000000", n, e)) return false;
    if (BngLetters(e, n) != letters) return false; // beyond the grid's 700 by 1300 km
    easting = e, northing = n;
    return true;
}

std::string IrishLetter(double easting, double northing) {
    if (!(easting >= 0 && easting < 5 * kSquare && northing >= 0 && northing < 5 * kSquare))
        return {};
    const int column = int(easting / kSquare), row = 4 - int(northing / kSquare);
    return std::string(1, kIrishLetters[row * 5 + column]);
}

bool IrishOrigin(char letter, double& easting, double& northing) {
    const int index = PositionIn(kIrishLetters, letter);
    if (index < 0) return false;
    easting = index % 5 * kSquare;
    northing = (4 - index / 5) * kSquare;
    return true;
}

std::string MgrsLetters(int zone, double easting, double northing) {
    const int column = int(std::floor(easting / kSquare)) - 1;
    const int row = int(std::floor(northing / kSquare)) + (zone % 2 ? 0 : kMgrsEvenRowShift);
    if (column < 0 || column > 7 || row < 0) return {};
    return {kMgrsColumns[zone % 3][column], kMgrsRows[row % 20]};
}

double MgrsColumn(int zone, char letter) {
    const int index = PositionIn(kMgrsColumns[zone % 3], letter);
    return index < 0 ? -1 : (index + 1) * kSquare;
}

double MgrsRow(int zone, char letter) {
    const int index = PositionIn(kMgrsRows, letter);
    if (index < 0) return -1;
    return (index + 20 - (zone % 2 ? 0 : kMgrsEvenRowShift)) % 20 * kSquare;
}

} // namespace Grids::Detail

namespace Grids {

int SystemOf(const Place& place) {
    return place.ok ? Detail::SystemCode(place.form, place.point.zone, place.point.south) : 0;
}

} // namespace Grids
