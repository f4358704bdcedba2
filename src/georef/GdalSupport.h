#pragma once
// What the georef files share: GDAL set up once, GDAL's error messages caught per call, the
// datums as spatial references, and files written whole under a fresh hidden name first.
// Private to src/georef/.

#include "georef/Georef.h"

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

// A name in `folder` (native) that no file has: ".<stem>.<random>.part" (hidden, so the
// library's listing skips it).
std::string FreshTempPath(const std::string& folder, const std::string& stem);

// Creates the file at `path` (a fresh name) holding `bytes`. Throws Error(Failed), leaving
// nothing.
void WriteNew(const std::string& path, const std::string& bytes);

// Replaces the file at `path` by one holding `bytes`, never writing through a symbolic link
// there (Platform::ReplaceFileAtName). Throws Error(Failed).
void WriteWhole(const std::string& path, const std::string& bytes);

// Moves `from` to `to` (same folder), replacing what is there. Throws Error(Failed).
void MoveOver(const std::string& from, const std::string& to);

// Whether anything (a file, folder or link, dangling or not) has this name.
bool Occupied(const std::string& path);

// Reads a .prj file (native path) into `srs` through GDAL's spatial-reference classes (WKT1,
// WKT2 or Esri; never a network or file reference inside it). False, with the reason in `why`.
bool ReadPrj(const std::string& path, OGRSpatialReference& srs, std::string& why);

// The file name of a native path in the core's character set.
std::string CoreFileName(const std::string& path);

} // namespace Georef::Detail
