#pragma once
// What the GDAL module's files and the import process share: GDAL set up once, GDAL's error
// messages caught per call, the datums as spatial references, .prj files read; and the module's
// functions, which its table hands to the programs. Private to src/georef/, built with GDAL.

#include "georef/Module.h"
#include "georef/TargetNames.h"
#include "georef/WholeFiles.h"

#include <ogr_spatialref.h>

#include <string>

namespace Georef::Detail {

// Registers GDAL's drivers, once per process.
void EnsureGdal();

// While it lives, GDAL's errors on this thread are kept (the last failure's text) instead of
// printed.
class ErrorCapture {
public:
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;
    // The last failure's message, or `fallback` when GDAL said nothing, without a closing full
    // stop.
    std::string Reason(const std::string& fallback) const;
    bool Interrupted() const { return interrupted_; }
    // GDAL's handler passes each message here.
    void Record(bool failure, bool interrupted, const char* message);

private:
    std::string last_;
    bool interrupted_ = false;
};

// The datum's latitude/longitude system, longitude first (GIS order).
OGRSpatialReference DatumSrs(Datum datum);

// The system as WKT in GDAL's `format` ("WKT1_ESRI", "WKT2_2018"...); "" when it has none.
std::string WktOf(const OGRSpatialReference& srs, const char* format);

// Reads a .prj file (native path) into `srs` through GDAL's spatial-reference classes (WKT1,
// WKT2 or Esri; never a network or file reference inside it). False, with the reason in `why`.
bool ReadPrj(const std::string& path, OGRSpatialReference& srs, std::string& why);

} // namespace Georef::Detail

// The module's side of the Georef.h functions and the table's other entries (Module.h says what
// each takes, returns and throws).
namespace Georef::Gdal {

ExportResult ExportFiles(const ExportRequest& request);
std::string DatumPrj(Datum datum);
Detail::PrjUnits WorldFilePrj(const std::string& path, Datum datum);
bool Shift(Datum from, Datum to, double& latitude, double& longitude);

} // namespace Georef::Gdal
