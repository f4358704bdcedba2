#pragma once
// The PROJ module, libvarnet-grids.so: the coordinate systems and operations of PROJ, built as a
// shared module of Varnet's own so that the programs load PROJ (and the forty-odd libraries it
// brings) only when a grid other than the National Grid on OSGB 1936 is asked for. The module
// hands the programs one table of functions; Loader.cpp finds and loads it on first use.
// Private to src/grids/.

#include <cstddef>
#include <string>

namespace Grids::Detail {

// A coordinate system of the EPSG register as PROJ describes it.
struct CrsInfo {
    bool usable = false; // a geographic system in degrees or a projected one, of two axes
    bool geographic = false;
    std::string name; // PROJ's name of it ("OSGB36 / British National Grid")
    std::string why;  // why it is not usable: PROJ does not know it, or what it is instead
    // The bounding box of its area of use, degrees (west > east when it crosses 180 degrees);
    // the whole earth when the register gives none.
    double west = -180, south = -90, east = 180, north = 90;
    int base = 0; // the EPSG code of its own latitude/longitude system (itself when geographic)
};

// The table's layout and the types it passes, as this build has them; a module whose number
// differs is refused (raise it with every change to either).
constexpr int kModuleInterface = 1;

struct ModuleTable {
    // The system EPSG:`code`. Never throws.
    CrsInfo (*describe)(int code);
    // Converts `count` points in place from the system EPSG:`from` to EPSG:`to` through the
    // operation PROJ chooses for that pair, as cs2cs does: x is the longitude or easting, y the
    // latitude or northing (degrees, or the system's unit), whatever order the register gives
    // the axes. A point that does not convert becomes NaN. False, with `why`, when PROJ has no
    // operation between the two. Never throws; may be called from any thread.
    bool (*transform)(int from, int to, double* x, double* y, std::size_t count, std::string& why);
};

// The loaded module's table, loading it on the first call (from any thread). Null when it
// cannot be loaded, with `why` saying which file and the loader's reason (a sentence without
// its full stop). Never throws.
const ModuleTable* LoadModule(std::string& why);

} // namespace Grids::Detail

// The module's one exported symbol: its table when `interface` is its kModuleInterface, else
// null.
extern "C" const Grids::Detail::ModuleTable* VarnetGridsModule(int interface);
