#pragma once
// varnet-maps: the map library on the command line, for scripts and for checking a library.
// No widgets and no display: it runs over the same library model as the program's windows.
// Each command is one function of its own; Main.cpp reads the command line and calls it.

#include "georef/Georef.h"
#include "library/MapLibrary.h"
#include "library/PlaceIndex.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace Cli {

// Exit codes shared by every command.
constexpr int kOk = 0;
constexpr int kSome = 1;   // the command's question has an answer the script should see
constexpr int kFailed = 2; // the folder cannot be read, the command is wrong, or it failed

// What the command line says, once the command's name is taken off.
struct Arguments {
    bool json = false;     // --json: JSON Lines instead of columns
    std::string maps;      // --maps FOLDER: a Windows path or a native folder ("" the host's)
    bool replace = false;  // --replace: an existing file may be replaced
    std::string format;    // --format NAME
    std::string out;       // --out FOLDER
    std::string to;        // --to KEY: the grid convert writes
    std::string name;      // --name NAME: the map's name
    std::string transform; // --transform KEY
    std::string maxError;  // --max-error METRES
    std::string edge;      // --edge X,Y;X,Y;...: the neat line
    bool dryRun = false;   // --dry-run: nothing written
    // export's device formats: --quality, --max-tiles, --dpi, and an area (--area, or --around
    // and --radius) with --resolution; "" when not given.
    std::string quality, maxTiles, dpi, area, around, radius, resolution;
    std::vector<std::string> operands; // the rest, in order
};

// The library model a command works over: made empty by main and handed to the command, which
// loads the Maps folder into it (LoadLibrary); the index follows the library's entries.
struct Model {
    Library::MapLibrary& maps;
    const Library::PlaceIndex& places;
};

// Says why on standard error, prefixed with the program's name; returns kFailed.
int Fail(const std::string& why);

// The Maps folder the command works on, as a Windows path: --maps when given (a native folder
// made absolute), otherwise the host's, found as the program finds it. "" after saying why on
// standard error.
std::string MapsFolder(const Arguments& arguments);

// The library's datum from the settings, after saying on standard error when the setting names
// none.
Georef::Datum LibraryDatum();

// The operands joined by spaces: a place in several words, as a shell splits "TQ 290 800" left
// unquoted.
std::string Joined(const std::vector<std::string>& operands);

// Loads the library of the Maps folder, each entry as deep as `depth` says (a command that
// shows few entries probes those it shows); false after saying why on standard error when the
// folder cannot be read.
bool LoadLibrary(Library::MapLibrary& library, const std::string& folder,
                 Library::Depth depth = Library::Depth::Pictures);

// One entry as the `list` command's JSON object: name, path, state, reason, north, west, south,
// east, picture, width, height.
nlohmann::json EntryObject(const Library::Entry& entry);
// An object as one line of JSON Lines, with its line end.
std::string JsonLine(const nlohmann::json& object);
// Each entry's line, in order; a large library's lines are made by several threads at once.
std::string Lines(const std::vector<const Library::Entry*>& entries,
                  const std::function<std::string(const Library::Entry&)>& line);
// Entries as aligned columns for a person: a heading, then a line each (name, state, picture
// size and the reason or the picture's path).
std::string Columns(const std::vector<const Library::Entry*>& entries);

// Rows as aligned columns, the last one left as it is, a line each.
std::string Aligned(const std::vector<std::array<std::string, 4>>& rows);

// The exit status of a command stopped by a signal, whichever it was: Ctrl+C's.
constexpr int kStopped = 130;
// From now on Ctrl+C, SIGHUP and SIGTERM set Interrupted() instead of ending the program, so a
// command that writes files can stop and leave nothing of its own behind.
void StopOnSignals();
bool Interrupted();

// The native folder of a Windows path or of a folder of this system; "" after saying why
// (`what` names it: "the Maps folder").
std::string NativeFolder(const std::string& folder, const char* what);

// Writes text to standard output, failing quietly when the reader has gone.
void Write(const std::string& text);

// The entry a name on the command line stands for: as the tree shows it, then with ".inf"
// added, then either without regard to case, its picture probed; null when none.
const Library::Entry* FindEntry(const Library::MapLibrary& library, const std::string& name);

// The commands.
int List(const Arguments& arguments, Model& model);
int Check(const Arguments& arguments, Model& model);
// The maps whose corners contain the place the operands give (joined by spaces), best fit
// first: kOk when there is one at least, kSome when there is none, kFailed when the place
// cannot be read.
int Find(const Arguments& arguments, Model& model);
// convert [--json] [--to KEY] PLACE...: the place in the grid asked for, or in every grid of the
// table that covers it. kOk when written, kSome when the grid asked for does not cover the place,
// kFailed when the text is not a place or the key names no grid.
int Convert(const Arguments& arguments, Model& model);
// import [--json] [--maps FOLDER] [--replace] FILE...: each file warped into the library (a
// progress line on a terminal; Ctrl+C cancels, leaving nothing). 0 when every file was
// imported, 2 when any was refused or failed, 130 when cancelled.
int Import(const Arguments& arguments, Model& model);
// export --format kmz|ozi|world [--maps FOLDER] [--out FOLDER] [--replace] NAME...: the named
// maps written for other programs, each file written printed. 0, or 2 when any failed.
// The device formats (mbtiles, gpkg, pdf, garmin-kmz) go to ExportForDevices.
int Export(const Arguments& arguments, Model& model);
// export --format mbtiles|gpkg|pdf|garmin-kmz [--out PATH] [--replace] [--quality 1-100]
// [--max-tiles N] [--dpi N] NAME... | --area N,W,S,E | --around PLACE --radius KM
// [--resolution M]: the maps, or one seamless map of the area, for devices. 0 when every file
// was written, 2 when the command line is wrong or any failed (nothing of it left), 130 when
// stopped by a signal.
int ExportForDevices(const Arguments& arguments, Model& model, Georef::ExportFormat format);

// calibrate [--json] [--maps FOLDER] [--name NAME] [--transform KEY] [--edge X,Y;X,Y;...]
// [--max-error M] [--dry-run] [--replace] PICTURE X,Y=PLACE...: a scan placed by points on it and
// saved as a map of the library. 0 when written (or fitted, with --dry-run); 2 when a place or the
// picture cannot be read, the calibration is refused or writing fails; 130 when stopped.
int Calibrate(const Arguments& arguments, Model& model);

} // namespace Cli
