#pragma once
// What GDAL may reach while it reads an import source: the plain files of the source's folder,
// and nothing over the network. Set up once in the import process (and in the fuzz target that
// opens hostile bytes the same way), before GDAL opens a file. Private to src/georef/, built with
// GDAL.

#include <string>
#include <vector>

namespace Georef::Detail {

// Registers GDAL's drivers and confines this process's GDAL for good:
// - every local file GDAL opens must be a plain file (no pipe, device or socket: opening one
//   could wait for ever) within one of `folders` (native, each with everything below it; a file
//   reached through a symbolic link counts where the link leads) or GDAL's and PROJ's own data;
//   nothing is opened for writing but GDAL's memory files;
// - GDAL's network file systems (/vsicurl/ and the cloud stores), standard input and output,
//   and its HTTP requests are refused; PROJ's network is off (no grid is fetched);
// - a VRT with a band of a file's raw bytes (VRTRawRasterBand: any file read as pixels) is
//   refused, and so is Python in a VRT (GDAL_VRT_ENABLE_PYTHON=NO).
// A refused file is refused at once, before anything reads it, and the first refusal is kept
// (Refusal). Call once per process.
void Confine(const std::vector<std::string>& folders);

// The first refusal since Confine (or ForgetRefusal), as the end of a sentence ("it names
// /etc/passwd, which lies outside its folder"), or "" when nothing was refused. Never throws.
std::string Refusal();
// Forgets the refusal kept, before another source is read in the same process (the fuzz
// target's).
void ForgetRefusal();

// Why `source` (a native path given to an import) cannot be read, in the same words, or "" when
// it can: a GDAL file-system name (/vsi...) or a network address, or anything but a plain file.
// Never waits on the file.
std::string SourceRefusal(const std::string& source);

} // namespace Georef::Detail
