#pragma once
// The exports that are text beside the picture (an OziExplorer .map; a world file, its .prj and
// a copy of the picture) and the checks every export makes first. They need neither GDAL nor
// PROJ, so the programs write them without loading the GDAL module. Private to src/georef/.

#include "georef/Georef.h"

#include <string>
#include <vector>

namespace Georef::Detail {

// The paths an export writes (ExportTargets), once it is known it may write them. Throws Error:
// Refused (no picture, or no size of it), Exists (a target exists and `replace` is false).
std::vector<std::string> CheckedTargets(const ExportRequest& request);

// Writes an OziExplorer or world-file export (not a KMZ) as Georef::Export does and returns
// the paths written. Throws Error as Export does.
std::vector<std::string> ExportText(const ExportRequest& request);

// The datum's latitude/longitude system as GDAL writes a .prj (WKT1, Esri dialect), as its
// text stands: the same for every version of PROJ's database that names these datums. Never
// throws.
std::string PrjText(Datum datum);

// A number with `decimals` places ("%.*f"), as the text exports write coordinates.
std::string Number(double value, int decimals);

// Degrees and minutes as OziExplorer writes a calibration point's latitude or longitude
// ("51,30.000000,N").
std::string OziAngle(double degrees, const char* positive, const char* negative);

// UTF-8 text with &, <, > and " escaped, for KML.
std::string Xml(const std::string& utf8);

} // namespace Georef::Detail
