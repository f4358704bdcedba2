#pragma once
// Calibration of a scan: a picture without a georeference placed by points on it whose places
// are known, fitted by one of five transforms and saved as a map of the library. The scan itself
// is never changed. The fits and the warp run in Varnet's GDAL module (Georef.h says when it is
// loaded): the polynomials and the thin-plate spline are GDAL's own ground control point
// transformers, so the warp is GDAL's warp with the transform whose residuals are shown.
//
// Scan positions are GDAL's pixel and line: 0,0 is the top-left corner of the first pixel, x
// runs right and y down. A place is given twice: in the fit's system (the grid it was typed in
// when every place is in one metric grid, otherwise longitude and latitude in degrees of the
// library's datum) and as latitude and longitude in the library's datum.

#include "georef/Georef.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace Georef {

// The transforms, in the order a person is offered them.
enum class Transform {
    ScaleShift, // north-up: a scale and a shift each way, no rotation (2 points)
    Similarity, // a shift, a rotation and one scale (2 points)
    Affine,     // six parameters (3 points)
    Poly2,      // a second-order polynomial each way (6 points)
    Tps,        // a thin-plate spline through every point (3 points)
};
constexpr int kTransforms = 5;

// The transform's name for people ("Scale and shift", "Similarity", "Affine", "Second-order
// polynomial", "Thin-plate spline") and on the command line ("scale", "similarity", "affine",
// "poly2", "tps").
std::string TransformName(Transform transform);
std::string TransformKey(Transform transform);
// The points the transform needs at least.
std::size_t MinimumPoints(Transform transform);
// The transform a calibration takes unless told: similarity with 2 points, affine with more.
Transform DefaultTransform(std::size_t points);

struct ControlPoint {
    double x = 0, y = 0;                // on the scan (pixels)
    double east = 0, north = 0;         // the place in the fit's system (metres, or degrees)
    double latitude = 0, longitude = 0; // the place, degrees in the library's datum
};

// The least-squares scale and shift (north up) and similarity of points, from their pixels to
// their places in the fit's system, as a GDAL geotransform: east = g[0] + g[1] x + g[2] y,
// north = g[3] + g[4] x + g[5] y. Points that fix none give one that does not invert (or NaN).
std::array<double, 6> FitScaleShift(const std::vector<ControlPoint>& points);
std::array<double, 6> FitSimilarity(const std::vector<ControlPoint>& points);

struct FitRequest {
    std::vector<ControlPoint> points;
    Transform transform = Transform::Affine;
    // The fit's system: a projected EPSG system in metres, or 0 for longitude (east) and latitude
    // (north) in degrees of `datum`.
    int epsg = 0;
    Datum datum = Datum::OSGB36;
    int width = 1, height = 1; // the scan's size in pixels
};

struct FittedPoint {
    double east = 0, north = 0;         // where the fit puts the point's pixel, in the system
    double latitude = 0, longitude = 0; // the same in the datum (degrees)
    double residualMetres = 0;          // from the place given to the fitted one, on the ground
    double residualPixels = 0; // on the scan, from the point to where the fit puts the place
};

struct Fit {
    Transform transform = Transform::Affine;
    std::vector<FittedPoint> points; // in the order given
    double rmsMetres = 0;            // the residuals' root mean square
    // The box around the scan's outline as the fit places it: degrees in the datum.
    double north = 0, west = 0, south = 0, east = 0;
};

// Fits the transform to the points and gives each point's residuals. Throws Error: Refused (with
// the reason, a whole sentence: fewer points than the transform needs, two points on one pixel,
// points in a line, a place that does not convert to the datum), Unavailable.
Fit FitScan(const FitRequest& request);

// The size in pixels of the scan at `scan` (native) as GDAL reads it; false, with `why` (a
// phrase: "GDAL cannot read it: ..."), when it cannot be read. Never throws (false with the
// module's reason when the module cannot be loaded).
bool ScanSize(const std::string& scan, int& width, int& height, std::string& why);

// Writes a JPEG (native path `jpeg`) of the scan at `scan` for a window to show, at most
// `maxPixels` pixels (scaled down evenly when the scan has more), for the scans the program's
// own readers do not read (TIFF and the like). False, with `why`, when GDAL cannot read the
// scan or write the JPEG (nothing is left at `jpeg` then). Never throws.
bool PreviewScan(const std::string& scan, const std::string& jpeg, std::uint64_t maxPixels,
                 std::string& why);

// The points an OziExplorer .map holds at most, and those of `points` it keeps (indices, in
// the order given): all of them up to that number, else the ones farthest apart on the scan.
constexpr std::size_t kMapFilePoints = 30;
std::vector<std::size_t> MapFilePoints(const std::vector<ControlPoint>& points);

struct CalibrationRequest {
    FitRequest fit;
    std::string scan;       // native path of the scan
    std::string mapsFolder; // native path of the Maps folder
    std::string name;       // the map's name without extension ("" for the scan's, as Import)
    bool replace = false;   // replace a map of the same name
    std::uint64_t memoryLimit = std::uint64_t(256) << 20; // the warp's bytes, with GDAL's cache
    // Called now and then with the share done (0 to 1); returning false cancels, leaving
    // nothing. May be empty.
    std::function<bool(double done)> progress = {};
    // The map's neat line: the corners of a polygon on the scan (pixels), at least 3; outside
    // it (legend, margins, the scanner's bed) the picture written is white. Empty for none.
    std::vector<std::array<double, 2>> edge = {};
    // Fit and work out what would be written (the result's paths and whether the scan itself is
    // named; its georeference only then), refusing as a save would but for a map that exists,
    // and write nothing.
    bool dryRun = false;
};

struct CalibrationResult {
    Fit fit;
    std::string name;          // the definition's file name ("sheet.inf")
    std::string definition;    // native paths written: the definition,
    std::string picture;       // the picture it names (the scan itself, or the JPEG written),
    std::string mapFile;       // and the OziExplorer .map of the scan beside it
    bool scanNamed = false;    // the definition names the scan itself
    std::size_t mapPoints = 0; // the points the .map holds
    MapCode::Georeference georeference{0, 0, 0, 0}; // the corners written, the picture's size
};

// The name of the definition a calibration writes ("sheet.inf"): `name`, or the scan's file
// name's stem, as Import names a map (ImportName). Never throws.
std::string CalibrationName(const CalibrationRequest& request);

// The native paths a calibration into the Maps folder writes or replaces: the definition, the
// JPEG and the .map, found without regard to case. Never throws.
std::vector<std::string> CalibrationTargets(const CalibrationRequest& request);

// Fits, then writes the map: when the fit is a scale and shift in degrees whose corners, rounded
// to hundredths of a minute, move no corner of the scan by more than half a pixel, no neat line
// is given and the scan is a .jpg, .gif or .bmp in the Maps folder, a definition naming the
// scan itself; otherwise the
// scan warped (bilinear, white outside it) onto latitude and longitude in the datum at its own
// resolution as `<name>.jpg` (quality 90) and a definition naming it. Beside them `<name>.map`,
// an OziExplorer calibration of the scan (MapFilePoints of the points, named by its file name
// when it lies in the Maps folder, else by its full path; the neat line, or else the scan's
// corners, as its moving map's outline). Every file is written in a work
// folder and moved into place, the definition last; a failure leaves nothing. Throws Error:
// Refused (as FitScan; a neat line of fewer than 3 corners; the scan cannot be read or is too large
// for the bound or a JPEG; the picture would be the scan), Exists (a target exists and `replace` is
// false), Cancelled, Failed, Unavailable.
CalibrationResult Calibrate(const CalibrationRequest& request);

} // namespace Georef
