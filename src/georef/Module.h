#pragma once
// The GDAL module, libvarnet-georef.so: everything of the programs' own that needs GDAL and PROJ,
// built as a shared module of Varnet's own so that the programs load those libraries (and the
// hundred-odd they bring) only when an export or a .prj needs them, not at every start. An
// import's source is read by the program varnet-importer beside the module's file. The module
// hands the programs one table of functions; Loader.cpp finds and loads it on first use.
// Private to src/georef/.

#include "georef/Calibration.h"
#include "georef/Georef.h"

#include <string>
#include <vector>

namespace Georef::Detail {

// What a .prj beside a world file says the world file's numbers are.
struct PrjUnits {
    enum class Kind {
        Degrees,      // latitude and longitude on the datum asked for
        NationalGrid, // British National Grid metres
        Other,        // another system: `text` is its name ("" when it has none)
        Unreadable,   // not a coordinate system GDAL reads: `text` says why
    };
    Kind kind = Kind::Unreadable;
    std::string text;
};

// The table's layout and the types it passes, as this build has them; a module whose number
// differs is refused (raise it with every change to either).
constexpr int kModuleInterface = 6;

struct ModuleTable {
    // Georef::ExportFiles and DatumPrj (Georef.h).
    ExportResult (*exportMap)(const ExportRequest& request);
    std::string (*datumPrj)(Datum datum);
    // Reads the .prj at `path` (native) through GDAL's spatial-reference classes (WKT1, WKT2 or
    // Esri) and says which system it is. Never throws.
    PrjUnits (*worldFilePrj)(const std::string& path, Datum datum);
    // Shifts a latitude and longitude (degrees) from one datum to the other with PROJ; false
    // when PROJ cannot. Never throws.
    bool (*shift)(Datum from, Datum to, double& latitude, double& longitude);
    // Georef::ScanSize, PreviewScan, FitScan and Calibrate (Calibration.h).
    bool (*scanSize)(const std::string& scan, int& width, int& height, std::string& why);
    bool (*previewScan)(const std::string& scan, const std::string& jpeg, std::uint64_t maxPixels,
                        std::string& why);
    Fit (*fitScan)(const FitRequest& request);
    CalibrationResult (*calibrate)(const CalibrationRequest& request);
};

// The loaded module's table, loading it on the first call (from any thread), and the path of
// the module's own file (a link followed to the file it names) when `file` is given. Null when
// it cannot be loaded, with `why` saying which file and the loader's reason (a sentence without
// its full stop). Never throws.
const ModuleTable* LoadModule(std::string& why, std::string* file = nullptr);

} // namespace Georef::Detail

// The module's one exported symbol: its table when `interface` is its kModuleInterface, else
// null.
extern "C" const Georef::Detail::ModuleTable* VarnetGeorefModule(int interface);
