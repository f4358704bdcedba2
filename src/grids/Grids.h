#pragma once
// Places in every grid a map reader meets: one reader for every written form of a place and one
// writer per grid, for the windows and the command line alike. The forms, by key:
//
//   latlon    51.30.43N 000.07.66W (hundredths of a minute; also with a comma between)
//   decimal   51.5071667 -0.1276667 (degrees to 7 places, latitude first; also a comma between)
//   bng       TQ 29925 80408 (British National Grid, to the metre; 2 to 10 digits read)
//   irish     O 15000 34000 (Irish Grid, EPSG:29903, to the metre; 2 to 10 digits read)
//   itm       ITM 715830 734697 (Irish Transverse Mercator, EPSG:2157, metres)
//   utm       30U 699316 5710164 (WGS 84: zone, latitude band, metres)
//   mgrs      30U XC 99316 10164 (to the metre; 0 to 5 digits per half read)
//   epsg:CODE EPSG:27700 529925.312 180408.746 (easting or longitude first; degrees to 7
//             places, other units to 3, rounded)
//
// Latitudes and longitudes are in the library's datum (Georef::Datum), degrees, north and east
// positive. On OSGB 1936 the National Grid goes through the core's own routines (MapCode), as the
// editor converts it, and needs no PROJ; every other grid, and the National Grid on WGS 84, goes
// through the one PROJ operation from the datum's system to the grid's that cs2cs chooses on the
// machine. PROJ is loaded (Varnet's module libvarnet-grids.so) only when such a grid is used.
// UTM and MGRS take the zones GeoConvert chooses (Norway's 32V, Svalbard's 31X to 37X) and stop
// at 84 N and 80 S; the letter after a zone is always a latitude band.
//
// Texts in metres (bng to mgrs) are written truncated to the square that holds the place (a place
// within 2 mm below a line, where the conversion passes a datum shift or the core's inverse, is
// taken as on it, so that a text read and written again stays as it was); a text read names the
// south-west corner of its square, but for National Grid references of 4 and 6 digits, read as
// the editor reads them and rounded to hundredths of a minute as a definition's corners are.
// Texts are UTF-8 (every form is ASCII; letters in either case). No function here throws.

#include "georef/Georef.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Grids {

using Georef::Datum;

// --- Grids --------------------------------------------------------------------------------

enum class GridKind { LatLon, Decimal, Bng, Irish, Itm, Utm, Mgrs, Epsg };

struct Grid {
    GridKind kind = GridKind::LatLon;
    int epsg = 0; // the system's EPSG code, for GridKind::Epsg
    bool operator==(const Grid&) const = default;
};

// The grids of the table above but epsg, in its order: latlon, decimal, bng, irish, itm, utm,
// mgrs.
const std::vector<Grid>& TableGrids();

// A grid's key: "latlon" ... "mgrs", "epsg:27700".
std::string KeyOf(Grid grid);
// A grid's name for people: "Latitude/Longitude", "Decimal degrees", "British National Grid",
// "Irish Grid", "Irish Transverse Mercator", "UTM", "MGRS", "EPSG:27700".
std::string NameOf(Grid grid);

// The grid a key names, without regard to case ("BNG", "EPSG:27700"); nothing, with `why`, for
// an unknown key or an EPSG code that PROJ does not know as latitude and longitude in degrees or
// as a projection (or when PROJ cannot be loaded to ask).
std::optional<Grid> GridOfKey(std::string_view key, std::string& why);

// The forms a place is read in, one example each, for a person who typed something else:
// "a latitude and longitude (51.30.43N 000.07.66W), decimal degrees (...), ...".
std::string PlaceForms();

// --- Reading ------------------------------------------------------------------------------

// A place's coordinates in a grid: easting and northing (metres, or the system's unit), or
// longitude and latitude (degrees) for latlon, decimal and a geographic EPSG system; for utm and
// mgrs in `zone`, north of the equator or `south` of it.
struct GridPoint {
    double x = 0, y = 0;
    int zone = 0;
    bool south = false;
};

struct Place {
    bool ok = false;
    std::string error; // why the text is not a place, when !ok: a phrase for the person who typed
    Grid form;         // the form the text was read in
    std::string text;  // the text as read, in the form's own spelling ("TQ 290 800")
    double latitude = 0, longitude = 0; // the place (for a square, its south-west corner)
    GridPoint point;                    // the same in the form's grid
};

// Reads a place typed in any form above, spaces and tabs around its parts ignored. A latitude
// and longitude may be followed by a grid text, as the Position panel writes one
// ("51.30.43N 000.07.66W  TQ 299 804"): the place is the position's, and the two must agree
// within the text's square widened by half a hundredth of a minute each way; or by the panel's
// "(outside the ...)". A grid text whose place lies outside its own grid's area is not a place.
// A text that is not a place gives ok false and says why in `error` (lower case, no full stop):
// "`31U 0 0` is not a UTM position: the easting must lie between 100000 and 900000".
Place ReadPlace(std::string_view text, Datum datum);

// The EPSG code of the system a place's `point` is in: 27700, 29903, 2157, a UTM zone's
// (32601 to 32760, for utm and mgrs), an epsg form's own; 0 for latlon and decimal, whose
// point is the library's longitude and latitude, and for a place that is not one.
int SystemOf(const Place& place);

// How a place was read, for the person who typed it: the form, then the position as the
// Position panel writes it by default ("Decimal degrees: 51.30.43N 000.07.66W  TQ 299 804",
// "National Grid reference TQ 290 800: 51.30.13N 000.08.47W", "MGRS: ..."). "" when !ok.
std::string DescribePlace(const Place& place, Datum datum);

// --- Writing ------------------------------------------------------------------------------

enum class Outcome {
    Written, // `text` and `point` hold the place in the grid
    Outside, // the grid does not cover the place: `why` says so and which grids do
    Failed,  // the grid could not be used (PROJ cannot be loaded, or has no operation): `why`
};

struct Written {
    Outcome outcome = Outcome::Failed;
    std::string text; // the place's text in the grid
    GridPoint point;  // the place in the grid, unrounded
    std::string why;
};

// Writes a place (degrees, library datum) in a grid. A grid covers the places inside the
// bounding box PROJ gives for its system's area of use (for the National Grid the box the
// Position panel always used, 49.75 to 61.01 N and 9.01 W to 2.01 E), and only where a lettered
// square holds them for the lettered grids; UTM and MGRS from 80 S to 84 N; latitude and
// longitude everywhere.
Written WritePlace(double latitude, double longitude, Grid grid, Datum datum);

// The place (degrees, library datum: latitude, then longitude) of a point in a grid's own
// coordinates, as Place::point and Written::point hold them (UTM and MGRS in the point's zone and
// hemisphere). Nothing, with `why`, when the grid cannot be used or the point does not convert.
std::optional<std::pair<double, double>> PlaceOf(const GridPoint& point, Grid grid, Datum datum,
                                                 std::string& why);

// The Position panel's text for a place (degrees, library datum) in the grid chosen: for
// latlon, the position followed by its 100 m National Grid reference inside the National Grid's
// box ("51.30.43N 000.07.66W  TQ 299 804"); for another grid its text, or outside it the
// latitude and longitude, two spaces and "(outside the Irish Grid)". The National Grid needs no
// PROJ on OSGB 1936. A position beyond what a coordinate text holds gives "".
std::string PanelText(double latitude, double longitude, Grid grid, Datum datum);

} // namespace Grids
