#pragma once
// The grids' coordinate systems: a grid's coordinates to and from the library's latitude and
// longitude (through the core's National Grid routines or the PROJ module), the grids' areas,
// UTM's zones and bands, and the lettered squares. Private to src/grids/.

#include "grids/Grids.h"
#include "grids/Module.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace Grids::Detail {

// PROJ is needed and cannot be used: the module cannot be loaded, or has no system or operation
// asked for. The public functions turn it into their own results.
class ProjFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The library datum's latitude/longitude system: EPSG:4277 or EPSG:4326.
int LibrarySystem(Datum datum);

// The system EPSG:`code` as PROJ describes it. Throws ProjFailure when PROJ cannot be loaded.
CrsInfo SystemInfo(int code);

// One grid's coordinates in one datum (for UTM and MGRS, of one zone and hemisphere). Arrays of
// points are converted in place, x the longitude or easting, y the latitude or northing; a point
// that does not convert becomes NaN. Every member throws ProjFailure where it needs PROJ and
// cannot have it.
class Projection {
public:
    Projection(Grid grid, Datum datum, int zone = 0, bool south = false);

    // From the library's longitude and latitude to the grid's coordinates, and back.
    void Forward(double* x, double* y, std::size_t count) const;
    void Inverse(double* x, double* y, std::size_t count) const;
    // From the grid's coordinates, and from the library's longitude and latitude, to the
    // longitude and latitude of the grid's own datum, where its area, zones and bands are drawn.
    void ToOwn(double* x, double* y, std::size_t count) const;
    void LibraryToOwn(double* x, double* y, std::size_t count) const;
    // Whether a place converted into the grid and back returns to within a micrometre: the
    // grid's projection alone, through PROJ. A datum shift there and back (PROJ's Helmert
    // transformations) differs by up to a millimetre, the core's inverse of the National Grid
    // settles to one.
    bool Exact() const;
    // Whether the grid's own longitude and latitude lie in its area (see Grids::WritePlace).
    bool InArea(double longitude, double latitude) const;
    // The system's EPSG code (0 for latitude and longitude), and what PROJ says of it.
    int Code() const { return code_; }
    const CrsInfo& Info() const { return info_; }

private:
    void Convert(int from, int to, double* x, double* y, std::size_t count) const;

    Grid grid_;
    bool core_ = false; // the National Grid on OSGB 1936, through the core's routines
    int code_ = 0, library_ = 0;
    CrsInfo info_;
};

// The UTM zone GeoConvert chooses for a place on WGS 84 (degrees): 1 to 60, with Norway's 32V
// and Svalbard's 31X, 33X, 35X and 37X.
int UtmZone(double latitude, double longitude);
// The latitude band of a latitude (degrees): 'C' (from 80 S) to 'X' (72 to 84 N), without I
// and O; 0 outside 80 S to 84 N.
char UtmBand(double latitude);
// The southern edge of a band letter's latitudes (degrees), and its northern edge (84 for X);
// false for a letter that is no band.
bool BandEdges(char band, double& south, double& north);
// The EPSG code of a UTM zone on WGS 84.
inline int UtmCode(int zone, bool south) {
    return (south ? 32700 : 32600) + zone;
}

// Lettered squares of 100 km. The letters of the square that holds a point (metres), "" when
// none does; and the south-west corner of a square given its letters (upper case), false when
// they name none.
std::string BngLetters(double easting, double northing);
bool BngOrigin(const std::string& letters, double& easting, double& northing);
std::string IrishLetter(double easting, double northing);
bool IrishOrigin(char letter, double& easting, double& northing);
// MGRS: the column letter of an easting and the row letter of a northing in a zone.
std::string MgrsLetters(int zone, double easting, double northing);
// The easting of the column a letter names in a zone (100000 to 800000), or -1; the northing,
// modulo 2000 km, of the row a letter names in a zone, or -1.
double MgrsColumn(int zone, char letter);
double MgrsRow(int zone, char letter);

} // namespace Grids::Detail
