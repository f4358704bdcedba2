#pragma once
// Georeferenced maps in and out, through GDAL and PROJ: import of any picture whose georeference
// GDAL reads (warped onto latitude and longitude in the library's datum, written as a JPEG beside
// a new definition), exports for other programs (KMZ ground overlay, OziExplorer .map, world
// file + .prj), the library's datum, and the reading of a world file's .prj for the definitions
// that place a picture by its two corners, and exports for devices (MBTiles, GeoPackage, a
// georeferenced PDF, a KMZ of small tiles for handheld GPS units) of one map or of a seamless
// mosaic of the maps covering an area. No widgets and no Qt: the caller passes the memory
// bound and a progress function, and gets values or a Georef::Error.
//
// GDAL and PROJ live in Varnet's module libvarnet-georef.so, loaded on the first call that needs
// them (Import, a KMZ Export, a .prj or a datum shift in WorldFileCorners): beside the
// program in a build, in <libdir>/varnet/ when installed. When it cannot be loaded those calls
// fail with the file and the loader's reason; the others never need it. An import source is read
// by the program varnet-importer beside the module, a process of its own per import: whatever the
// source holds, it cannot take the caller's memory or bring it down, and ending that process ends
// the import at once.
//
// Paths named "native" are the system's own (UTF-8 on Linux); "Windows path" is the core's.
// Maps are placed by the core's MapCode::Georeference (corners in minutes of arc, north and east
// positive, and the picture's size).

#include "mapdef/Georeference.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Georef {

// --- The library's datum --------------------------------------------------------------------

// The datum the corners of definitions are latitudes and longitudes on.
enum class Datum { OSGB36, WGS84 };

// The datum Varnet's setting "Datum" names (application "Varnet", section "Settings"): "OSGB36"
// (also when the setting is absent) or "WGS84", without regard to case. Any other value gives
// OSGB36, and `warning` (when given) says so. Never throws.
Datum LibraryDatum(std::string* warning = nullptr);

// The datum as people name it: "OSGB 1936 (EPSG:4277)" or "WGS 84 (EPSG:4326)".
std::string DatumName(Datum datum);

// The datum's latitude/longitude coordinate system as a .prj file holds it (WKT1, Esri dialect,
// as GDAL writes it). Never throws.
std::string DatumPrj(Datum datum);

// --- Errors -----------------------------------------------------------------------------------

// A text as messages and files show it: each control character (a line break in a file's name)
// as '?', so that no name can start a line of its own. Never throws.
std::string Printable(const std::string& text);

// Why an import or export did not happen. The message is a whole sentence naming the file,
// without control characters (Printable).
class Error : public std::runtime_error {
public:
    enum class Kind {
        Refused,     // the file cannot be read or placed (GDAL's or PROJ's reason in the text)
        Exists,      // a file of the target name exists and replacing was not asked for
        Cancelled,   // the progress function asked to stop
        Failed,      // writing the result failed (the system's reason in the text)
        Unavailable, // the GDAL module cannot be loaded (the file and the loader's reason)
    };
    Error(Kind kind, const std::string& message)
        : std::runtime_error(Printable(message)), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// --- Import -----------------------------------------------------------------------------------

struct ImportRequest {
    std::string source;     // native path of the georeferenced file (picture, .map, .kml ...)
    std::string mapsFolder; // native path of the folder the map goes to
    bool replace = false;   // replace a map of the same name
    Datum datum = Datum::OSGB36;
    // Bytes the import's process may use while reading, warping and writing (GDAL's block cache
    // and warp buffers, and what the source's decoder holds).
    std::uint64_t memoryLimit = std::uint64_t(256) << 20;
    // Called now and then with the share done (0 to 1), also while the share stays the same (a
    // few times a second); returning false cancels the import, which then ends at once.
    std::function<bool(double done)> progress;
};

struct ImportResult {
    std::string name;       // the definition's file name as the library shows it ("map.inf")
    std::string definition; // native path of the new definition
    std::string picture;    // native path of the new JPEG
    Datum datum;            // the datum of its corners
    // The new map's corners (on whole hundredths of a minute, as the definition holds them) and
    // its picture's size.
    MapCode::Georeference georeference;
};

// The map name an import of `source` takes: its file name's stem, with characters that a
// definition cannot hold replaced by '_', in the core's character set. Never throws.
std::string ImportName(const std::string& source);

// The native paths of the definition and picture an import of `source` into `mapsFolder` would
// replace (found without regard to case); empty when the name is free. Never throws.
std::vector<std::string> ExistingFiles(const std::string& source, const std::string& mapsFolder);

// Reads the source's georeference (a geotransform or ground control points, with the file's
// coordinate system; a .prj beside the file when GDAL finds no system in it), warps it with GDAL
// (bilinear; white outside the source) onto a latitude/longitude grid in `datum` whose corners
// lie on whole hundredths of a minute, with pixels as large on the ground as the source's at its
// centre, and writes `<name>.jpg` (quality 90) and `<name>.inf` in the Maps folder.
//
// The source is read in a process of its own, within `memoryLimit`. It reads only the file named
// and the files beside it that its format names (world file, .prj, .aux.xml, a .map's or KML's
// picture, a VRT's sources), all within the source's folder; it opens no network connection and
// reads no file's bytes as raw pixels. A source naming anything else, or anything but a plain
// file (a pipe, a device), is refused at once, without waiting on it.
//
// Both files are written under their own names in a hidden work folder of the Maps folder, named
// after this process, and then renamed into place, the definition last; a map they replace stays
// as it was until then, and is restored when the definition cannot take its name. Nothing is
// left behind when the import fails or is cancelled; work folders of processes that have ended
// are removed by the next import into the folder.
// Throws Error: Refused (unreadable, no georeference, no coordinate system, too large for a
// JPEG or for the memory bound, across the 180th meridian or around a pole, a path outside its
// folder, a network address, not a plain file, the source is the picture it would replace),
// Exists, Cancelled, Failed, Unavailable.
ImportResult Import(const ImportRequest& request);

// --- Export -----------------------------------------------------------------------------------

enum class ExportFormat {
    Kmz,        // a KML ground overlay of the whole picture
    Ozi,        // an OziExplorer .map beside the picture
    World,      // a world file and .prj
    MbTiles,    // web-Mercator tiles in an MBTiles file
    GeoPackage, // web-Mercator tiles in a GeoPackage
    Pdf,        // a georeferenced PDF (ISO 32000) in the map's own coordinates
    GarminKmz,  // a KMZ of baseline JPEG tiles, each a ground overlay of its own
};

// The extension a format's file takes (".kmz", ".mbtiles", ...; ".map" for Ozi, the world file's
// for World depends on the picture: ".wld"). Never throws.
std::string ExportExtension(ExportFormat format);

// Whether the format is one of the device formats, which are written from the pixels (GDAL
// warps them) rather than beside the picture. Never throws.
bool IsDeviceFormat(ExportFormat format);

// --- Areas -----------------------------------------------------------------------------------

// An area: degrees of the library's datum, north, west, south, east.
using Area = std::array<double, 4>;

// The area `km` kilometres either side of a place (degrees), along its meridian and its
// parallel, on the datum's ellipsoid (Airy 1830 for OSGB 1936, WGS 84's own). `km` above 0.
// Never throws.
Area AroundPlace(double latitude, double longitude, double km, Datum datum);

// Reads "NORTH,WEST,SOUTH,EAST" (decimal degrees); nothing, with why in `why`, when the text is
// not four numbers of a box north of its south and east of its west. Never throws.
std::optional<Area> ReadArea(const std::string& text, std::string& why);

// One map of an area's mosaic.
struct MosaicMap {
    std::string name;    // its definition's name
    std::string picture; // native path of the picture
    MapCode::Georeference georeference;
};

struct ExportRequest {
    std::string name;    // the map's definition's name ("map.inf"); its stem names a KMZ
    std::string picture; // native path of the picture
    // Where the picture lies, as its definition places it, with the picture's size.
    MapCode::Georeference georeference;
    ExportFormat format = ExportFormat::World;
    std::string outFolder; // native; empty for the picture's own folder
    bool replace = false;  // replace files of the target names
    Datum datum = Datum::OSGB36;
    // The stem the files written take (native); empty for the definition's (a KMZ) or the
    // picture's (the others).
    std::string outStem = {};
    // Called now and then with the share done (0 to 1); returning false cancels the export,
    // which then leaves no file of its own behind. May be empty.
    std::function<bool(double done)> progress = {};

    // --- The device formats only ---
    int quality = 85;   // JPEG quality, 1 to 100, where JPEG is written
    int maxTiles = 100; // garmin-kmz: the most tiles the file may hold
    double dpi = 0;     // pdf: dots per inch; 0 for the picture's longer side on 200 inches
    // Bytes GDAL may hold for the export (its block cache and warp buffers), whatever the
    // picture's size.
    std::uint64_t memoryLimit = std::uint64_t(256) << 20;
    // An area instead of the one map (name then titles the file, outStem names it): the maps
    // covering part of it in the library's order, and its box in degrees of the datum (north,
    // west, south, east). Where maps overlap the finest wins (the fewest metres per pixel
    // east-west at the box's centre latitude), a tie the one listed later.
    std::vector<MosaicMap> areaMaps = {};
    Area area = {};
    // Metres per pixel east-west at the area's centre latitude; 0 for the finest map's.
    double resolution = 0;
};

// What a device export wrote, beside the paths.
struct ExportResult {
    std::vector<std::string> paths;
    int minZoom = -1, maxZoom = -1; // mbtiles, gpkg: the zoom levels written
    int tiles = 0;                  // garmin-kmz: the tiles written
    double reduction = 1;           // garmin-kmz: the scale kept on each side (1: none)
};

// The native paths an export writes, in the folder: `<stem>.kmz`; `<stem>.map`; or the world
// file (.jgw, .gfw, .bpw, else .wld, by the picture's extension), `<stem>.prj` and, unless that
// is the picture itself, a copy of the picture as `<stem>` and its extension, which the world
// file places. Never throws.
std::vector<std::string> ExportTargets(const ExportRequest& request);

// Writes the export and returns the paths written. The KMZ holds a KML ground overlay (corners
// shifted to WGS 84, as KML wants) and the picture; the .map calibrates the picture's four
// corners in the datum, naming the picture by its file name beside it, else by its full path;
// the world file is in degrees of the datum, its .prj the datum's WKT.
// Each file is replaced as a whole (a symbolic link at a target name is replaced by a plain
// file, never written through). Throws Error: Exists (a target exists and `replace` is false;
// nothing is written), Refused (no picture, or no size of it), Cancelled, Failed (a full disc
// says so: "Disk full", as the system words it), Unavailable.
std::vector<std::string> Export(const ExportRequest& request);

// The same, for every format, with what a device export wrote. The device formats:
// - MbTiles and GeoPackage: tiles of 256 pixels on the web-Mercator tile grid (EPSG:3857), JPEG
//   at `quality` when every picture is a JPEG (white where no map is), else PNG (transparent
//   there); every zoom level from the first as fine as the map down to the first whose tile
//   holds the map's extent, each warped (bilinear) from the pictures themselves and encoded once.
// - Pdf: the picture at full resolution in its own latitude/longitude, georeferenced (ISO 32000),
//   the map's name as title, at `dpi` (else so that the longer side is at most 200 inches).
// - GarminKmz: baseline JPEG tiles of at most 1024 x 1024 pixels, each a ground overlay of its
//   own in WGS 84 latitude/longitude (drawOrder 50), at most `maxTiles` of them: the picture is
//   reduced evenly on both sides when it needs more (`reduction` says by how much).
// The file is written under a temporary name in its folder and renamed into place; a failure or
// a cancel leaves nothing. Throws Error as Export does; also Refused when an area has no map,
// maxTiles is below 1 or the picture would exceed what the format holds.
ExportResult ExportFiles(const ExportRequest& request);

// --- World files for a definition ---------------------------------------------------------------

// Where the world file beside a picture at a Windows path, `width` x `height` pixels, places it
// in `datum`: its corners as MapCode::WorldFileGeoreference gives them (British National Grid
// ones, on OSGB 1936, shifted by PROJ into WGS 84 when that is the datum) and its size;
// MapCode::CornerTexts writes the corners as a definition holds them. A .prj beside the picture
// is read through GDAL's spatial-reference classes (WKT1, WKT2 or Esri): latitude and longitude
// in `datum` and the British National Grid are taken; any other system is refused, pointing to
// Tools > Import Map. Without a .prj the size of the numbers decides, as the core's UnitsOf
// does. Throws CoreError (FileError) naming the file and why (also when the GDAL module is
// needed and cannot be loaded).
MapCode::Georeference WorldFileCorners(const std::string& imagePath, int width, int height,
                                       Datum datum);

} // namespace Georef
