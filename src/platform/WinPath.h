#pragma once
// Windows paths on POSIX. A drive letter names the folder linked as `x:` (or `X:`) in
// ${WINEPREFIX:-$HOME/.wine}/dosdevices; Z: stands for / when it has no link. Components are
// matched without regard to case (an exact match first), `\` and `/` both separate, a doubled
// separator is one, and a trailing separator names the folder. A POSIX absolute path means the
// same folder under Z:.

#include <optional>
#include <string>

namespace Platform {

// The native folder that stands for a drive, or nothing for a drive with no root directory.
std::optional<std::string> DriveRoot(char letter);

// The drive letter a Windows path names (upper case), 'Z' for a POSIX absolute path, or 0 for a
// relative or UNC path.
char DriveLetterOf(const std::string& winPath);

// The native path for a Windows path (Windows-1252 bytes in, UTF-8 out). Components that do not
// exist are kept as written, so the result may name a file yet to be created. Nothing for a
// drive with no root directory or a UNC path.
std::optional<std::string> ToNativePath(const std::string& winPath);

// The native path with the components as written (no look-up without regard to case): where
// a file is when its name was written with the right case, found without touching the disk.
std::optional<std::string> DirectNativePath(const std::string& winPath);

// A native file name in the core's character set (Windows-1252), and back: on POSIX names are
// UTF-8 (characters the code page lacks become '?', and `lossless` says so); on Windows the
// system's own single-byte names are the core's.
std::string NativeNameToCore(const std::string& native, bool* lossless = nullptr);
std::string CoreNameToNative(const std::string& core);

} // namespace Platform
