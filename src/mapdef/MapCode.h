#pragma once
// MapCode: coordinate texts, distance, grid references, the entry check, map definition files
// and paths. Stateless free functions. Routines that let errors pass throw CoreError.
//
// Minutes of arc: degrees times 60, north and east positive (51 deg 30 min N is 3090).
// A coordinate text: 51.30.50N (degrees, minutes, hundredths of a minute, hemisphere); a
// position text: a latitude text and a longitude text joined by a comma.

#include "mapdef/Georeference.h"
#include "platform/CoreError.h"
#include "platform/FileIO.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace MapCode {

// --- Coordinate texts ---------------------------------------------------------------------

// One coordinate text to minutes of arc. A text without a hemisphere letter (N S E W, case
// sensitive) is 0. Errors: "" (invalid argument), a degree part that is not a number (type
// mismatch), a value beyond single precision (overflow).
float CoordToMinutes(const std::string& coord);

// A position text to minutes; either half may come first (a half ending in N or S is the
// latitude). False, outputs untouched, when there is no comma. Conversion errors pass.
bool ParsePosition(const std::string& position, float& longitude, float& latitude);

// Minutes of arc to the two coordinate texts (51.30.50N, 001.30.00W). Minutes that round to
// 60.00 carry into the degrees. Overflow from 547 degrees on.
void FormatPosition(float latitude, float longitude, std::string& latitudeText,
                    std::string& longitudeText);

// --- Distance ----------------------------------------------------------------------------

// Distance in km along a sphere of radius 6367 km (mapdef/Earth.h) between two points given in
// degrees (the latitudes made geocentric first), and the initial bearing in degrees (0 north, 90
// east).
// Equal points give 0 and leave the bearing as it was. Never fails.
float GetDistance(double lat1, double lon1, double lat2, double lon2, float& bearing);

// --- Grid references ----------------------------------------------------------------------

// A British National Grid reference (two letters, 4 or 6 digits, spaces ignored) to metres.
// False, outputs untouched, for any other text.
bool GridRefToEastNorth(const std::string& gridRef, double& northing, double& easting);

// Easting and northing (metres, OSGB36) to latitude and longitude in degrees on the same
// ellipsoid. Non-finite input, or an iteration that does not settle, is CoreError(Overflow).
void EastNorthToLatLon(double easting, double northing, double& latitude, double& longitude);

// Latitude and longitude in degrees on the same ellipsoid (OSGB36) to easting and northing in
// metres: the forward conversion, with the same projection and constants as EastNorthToLatLon.
// Not a latitude (non-finite, at or beyond a pole): CoreError(Overflow).
void LatLonToEastNorth(double latitude, double longitude, double& easting, double& northing);

// The 100 m grid reference that holds a point ("TQ 290 800": two letters, then the easting's and
// the northing's digits within the 100 km square, cut, not rounded), as GridRefToEastNorth reads
// it; "" outside the grid (eastings 0 to 700 km, northings 0 to 1300 km).
std::string EastNorthToGridRef(double easting, double northing);

// --- Positions on a map picture ------------------------------------------------------------

// A position as the map view shows it: the coordinate texts as FormatPosition writes them,
// "51.30.22N 000.08.47W", then two spaces and the 100 m grid reference when the point lies in the
// National Grid's area of use (49.75° to 61.01° N, 9.01° W to 2.01° E) and inside the grid.
// Minutes of arc; errors of FormatPosition pass.
std::string PositionText(float latitudeMinutes, float longitudeMinutes);

// A distance in kilometres as the map view shows it: "12.3 km" below 100 km, "123 km" above.
std::string DistanceText(double km);

// --- Entry check --------------------------------------------------------------------------

// Checks a typed latitude (or longitude) and rewrites the box in canonical form. Results:
// "True" (empty box, or a grid reference converted into both boxes), "Ok" (rewritten),
// "latitude" / "longitude" (not valid for the kind; box unchanged), "" (the check failed).
std::string ValidatePosition(std::string& box, std::string& partner, bool isLongitude);

// --- Map definition files -----------------------------------------------------------------

// The most a definition file is read: a few lines hold a definition, so a larger file (comment
// lines without end) is damaged and its reading stops here.
constexpr std::uint64_t kMaxDefinitionBytes = 1u << 20;

// A definition's comment lines by their place: [i] holds those just before data line i + 1,
// [3] those after the third data line.
using DefinitionComments = std::array<std::vector<std::string>, 4>;

// The one parser of definition files, behind the reader, the editor's loader and the library.
// A line whose first character is ';' is a comment line; every other line, a blank one too, is
// a data line. Each data line goes, as written, to `onDataLine` (index 0 to 2) until it returns
// false or the third has been given; nothing after the third data line is read, except that
// when `comments` is given the comment lines are kept there by place and the file is read to
// its end for those after the third. File errors pass (CoreError).
void ParseDefinition(Platform::TextReader& file,
                     const std::function<bool(int index, const std::string& line)>& onDataLine,
                     DefinitionComments* comments = nullptr);

// A definition as the reader takes it: the reader's seven outputs, and what it found on the way.
struct MapDefinition {
    float topLeftLongitude = 0, topLeftLatitude = 0, bottomRightLongitude = 0,
          bottomRightLatitude = 0; // minutes of arc
    std::string imageName;         // completed by the image name rule; "" when none was found
    std::string topLeftText, bottomRightText; // the corner lines, normalised
    int lines = 0;                            // data lines read whole (0 to 3)
    std::string imageLine;                    // the third data line trimmed, as written
    std::string fileError;                    // why the file itself could not be read, or ""
    std::string cornerError;                  // why a corner line could not be read, or ""
    bool ok = false;                          // the reader's result
    bool operator==(const MapDefinition&) const = default;
};

// Reads a map definition: comment lines skipped, the first three data lines read (top-left
// position, bottom-right position, image name), nothing after them. Each corner line is trimmed,
// upper-cased and its halves around the first comma trimmed; the image line keeps its case.
// Fields whose line is not reached keep their values. Catches every error: false (the file
// could not be read, or a corner line has no comma or a coordinate that does not convert).
bool ReadDefinition(const std::string& folder, const std::string& path, MapDefinition& definition);
// The same over a file its caller has found by its native path (a pass over a folder).
bool ReadDefinitionNative(const std::string& folder, const std::string& nativePath,
                          MapDefinition& definition);
// The same over a definition's bytes already in memory, as if read from a file of them.
bool ReadDefinitionBytes(const std::string& folder, const std::string& bytes,
                         MapDefinition& definition);

// ReadDefinition's outputs one by one. When the file itself could not be read (missing,
// unreadable, not a plain file, too long), `fileError` (when given) receives why; it is left
// alone otherwise.
bool ReadMapDefinition(const std::string& folder, const std::string& path, float& topLeftLongitude,
                       float& topLeftLatitude, float& bottomRightLongitude,
                       float& bottomRightLatitude, std::string& imageName, std::string& topLeftText,
                       std::string& bottomRightText, std::string* fileError = nullptr);

// The image name rule: a name holding '.' is used as it is; otherwise the first of name.gif,
// name.bmp, name.jpg that exists in the folder, or "" when none does.
std::string CompleteImageName(const std::string& folder, const std::string& name);

// The picture name a definition's image line gives the reader, before the image name rule
// completes it: the line without the spaces around it. (A line starting with ';' is a comment
// and no data line at all.) The reader takes every image line through this.
std::string ImageNameOfLine(const std::string& line);

// Why a picture name, written as a definition's image line, would not read back as itself, or ""
// when it would: the reader's own rules above decide. A name may not be empty, hold a line end,
// start with ';' (a comment), begin or end with a space (trimmed), or lack a '.' (completed by
// the image name rule). The writer refuses such names, and so do the commands that make
// definitions.
std::string ImageNameProblem(const std::string& name);

// Writes a definition: its comment lines in their places and three data lines, each ended by
// CR LF (latitude,longitude twice, then the image name), replacing the file atomically. Throws
// CoreError(InvalidArgument) with ImageNameProblem's reason for an image name that would not
// read back, and CoreError(FileError) with the cause when the file cannot be written.
void WriteMapDefinition(const std::string& path, const std::string& topLeftLatitude,
                        const std::string& topLeftLongitude, const std::string& bottomRightLatitude,
                        const std::string& bottomRightLongitude, const std::string& imageName,
                        const DefinitionComments& comments = {});

// The lines WriteMapDefinition writes (without their line ends), for a caller that writes them
// itself. CoreError(InvalidArgument), as WriteMapDefinition, for an image name that would not
// read back.
std::vector<std::string>
DefinitionLines(const std::string& topLeftLatitude, const std::string& topLeftLongitude,
                const std::string& bottomRightLatitude, const std::string& bottomRightLongitude,
                const std::string& imageName, const DefinitionComments& comments = {});

// The four corner texts a definition holds for a georeference, as FormatPosition writes them:
// top-left latitude and longitude, then bottom-right latitude and longitude. Overflow as
// FormatPosition's.
std::array<std::string, 4> CornerTexts(const Georeference& georeference);

// The editor's loader. Reads the data lines as the reader counts them: the first two are split
// at their first comma into a latitude and a longitude as they stand (spaces around each half
// and the quotes of a quoted half removed), the third is the image name whole, completed by the
// image name rule in `folder`. The five texts go to `onItem` (index 0 to 4) as soon as each is
// read. Returns the comment lines, by place, for the writer to keep. The file is closed on
// every path. Throws CoreError (file errors, fewer than three data lines).
DefinitionComments
ReadEditorItems(const std::string& path, const std::string& folder,
                const std::function<void(int index, const std::string& item)>& onItem);
// The same over a definition's bytes already in memory.
DefinitionComments
ReadEditorItemsBytes(const std::string& bytes, const std::string& folder,
                     const std::function<void(int index, const std::string& item)>& onItem);

// --- World files ----------------------------------------------------------------------------
// Six numbers beside an image (the Esri convention): the x pixel size, two rotation terms, the
// y pixel size (negative), and x and y of the centre of the top-left pixel.

struct WorldFile {
    double pixelWidth = 0, rotationY = 0, rotationX = 0, pixelHeight = 0, centreX = 0, centreY = 0;
};
enum class WorldUnits { Degrees, NationalGrid };

// The world file of an image (a Windows path): the first of its companions that is a file, found
// by the image's own native name whatever name it is listed under (Platform::FindCompanion):
// .jgw/.jpgw for .jpg, .gfw/.gifw for .gif, .bfw/.bpw/.bmpw for .bmp, then .wld for any. The
// Windows path that opens it, or "" when there is none.
std::string FindWorldFile(const std::string& imagePath);

// The name Varnet writes an image's world file under: .jgw, .gfw or .bpw by the image's
// extension, .wld for any other.
std::string WorldFileNameFor(const std::string& imagePath);

// Reads a world file's six numbers (a UTF-8 byte-order mark before them read past).
// CoreError(FileError) naming the file and why: it cannot be read, holds fewer than six numbers,
// has a zero pixel size, or turns (non-zero rotation terms) or mirrors (a negative pixel width,
// a positive pixel height) the picture, which only Import Map can warp north up.
WorldFile ReadWorldFile(const std::string& path);
// The same over the file's bytes already in memory; `path` names it in the messages.
WorldFile ReadWorldFileBytes(const std::string& path, const std::string& bytes);

// Whether a world file without a .prj is in degrees of longitude and latitude or in National
// Grid metres, by the size of its numbers: |x| <= 180 and |y| <= 90 is degrees, 0..700 km east
// and 0..1300 km north the National Grid. CoreError(FileError) naming the file and why when
// neither fits. (A .prj is read through GDAL, by the georef component.)
WorldUnits UnitsOf(const WorldFile& world, const std::string& worldPath);

// The four corner texts (as FormatPosition writes them) of an image `width` x `height` pixels
// that a world file (read from `worldPath`) places: the outer corners of the corner pixels.
// National Grid corners are converted with EastNorthToLatLon. CoreError(FileError) naming the
// file, the corner and why when a corner is no place on the Earth (beyond a pole or 180 degrees
// east or west, or too far from the grid to convert), or when the pixels are so small that the
// corners' texts coincide.
void WorldFileCorners(const WorldFile& world, WorldUnits units, int width, int height,
                      const std::string& worldPath, std::string& topLeftLatitude,
                      std::string& topLeftLongitude, std::string& bottomRightLatitude,
                      std::string& bottomRightLongitude);

// The same as a georeference of the image: its corners in minutes of arc, exactly those whose
// texts WorldFileCorners gives, and its size. The same errors; CoreError(DivisionByZero) for a
// size below 1 pixel.
Georeference WorldFileGeoreference(const WorldFile& world, WorldUnits units, int width, int height,
                                   const std::string& worldPath);

// The six lines of the world file (degrees) of a picture placed by its corners, without their
// line ends: digits enough to place the picture to far below a hundredth of a pixel.
std::vector<std::string> WorldFileLines(const Georeference& georeference);

// --- Paths --------------------------------------------------------------------------------

// The text after the last '\' (one trailing '\' ignored), "" without one.
std::string FileFromPath(const std::string& path);
// The text before the last '\' (one trailing '\' ignored), "" without one.
std::string FolderFromPath(const std::string& path);
// Whether the path can be opened for reading as a file. Never fails.
bool FileExists(const std::string& path);

} // namespace MapCode
