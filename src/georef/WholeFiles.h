#pragma once
// Files an import or export writes, each appearing whole or not at all: written under a fresh
// hidden name first, then renamed over its own. No GDAL. Private to src/georef/.

#include <string>

namespace Georef::Detail {

// A name in `folder` (native) that no file has: ".<stem>.<random>.part" (hidden, so the
// library's listing skips it).
std::string FreshTempPath(const std::string& folder, const std::string& stem);

// Creates the file at `path` (a fresh name) holding `bytes`. Throws Error(Failed), leaving
// nothing.
void WriteNew(const std::string& path, const std::string& bytes);

// Replaces the file at `path` by one holding `bytes`: written under a fresh name beside it, then
// renamed over it, so a symbolic link there is replaced, never followed. Throws Error(Failed).
void WriteWhole(const std::string& path, const std::string& bytes);

// Moves `from` to `to` (same folder), replacing what is there. Throws Error(Failed).
void MoveOver(const std::string& from, const std::string& to);

// Whether anything (a file, folder or link, dangling or not) has this name.
bool Occupied(const std::string& path);

} // namespace Georef::Detail
