#pragma once
// The names an import or export writes, as the programs (to ask before replacing) and the GDAL
// module (to write) both find them; no GDAL. Private to src/georef/.

#include "georef/Georef.h"

#include <string>

namespace Georef::Detail {

// A definition's name ("map.inf") without its extension.
std::string NameStem(const std::string& name);

// The native path of `coreName` in the folder (native): the existing entry's own name when one
// matches without regard to case, otherwise the name as written.
std::string EntryPath(const std::string& folder, const std::string& coreName);

// The file name of a native path in the core's character set.
std::string CoreFileName(const std::string& path);

} // namespace Georef::Detail
