#pragma once
// What the programs and the GDAL module both hold, none of it needing GDAL: the names an import
// or export writes, and files written whole under a fresh hidden name first. Private to
// src/georef/.

#include "georef/Georef.h"

#include <string>

namespace Georef::Detail {

// A definition's name ("map.inf") without its extension.
std::string NameStem(const std::string& name);

// The native path of `coreName` in the folder (native): the existing entry's own name when one
// matches without regard to case, otherwise the name as written.
std::string EntryPath(const std::string& folder, const std::string& coreName);

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

// The file name of a native path in the core's character set.
std::string CoreFileName(const std::string& path);

} // namespace Georef::Detail
