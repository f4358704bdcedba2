#pragma once
// The operating system's own calls as the platform layer's shared code needs them (not for
// callers outside the layer): opening plain files for reading, reading, listing a folder raw,
// a drive's type and label, starting a program. One implementation per system (posix/, win32/);
// what the systems share (test hooks, names of temporary files) is written once above them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Platform::Native {

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// Why a file could not be opened.
enum class Fault {
    None,
    Missing,  // no such file (or folder on the way)
    Folder,   // the path names a folder
    NotPlain, // a pipe, device or socket
    Other,    // anything else; `why` says what
};
struct Opened {
    FileHandle file = kNoFile;
    Fault fault = Fault::None;
    std::string why; // the description CoreError carries
    // The file's size in bytes when opened, from the status the opening looked at anyway.
    std::uint64_t size = 0;
};

// Opens a plain file for reading without ever waiting (a pipe without a writer).
Opened OpenPlain(const std::string& nativePath);
// Opens a plain file of a folder (the folder's native path ending in a separator) during a
// pass over it: where the system allows, the folder is looked up once and kept open until
// EndPass().
Opened OpenPlainIn(const std::string& nativeFolder, const std::string& name);
void EndPass();
// Reads up to `size` bytes; 0 at the end, -1 on an error (`why` filled).
long long ReadSome(FileHandle file, char* data, std::size_t size, std::string* why = nullptr);
// Reads up to `size` bytes at `offset` without moving the file's position.
long long ReadAt(FileHandle file, std::uint64_t offset, char* data, std::size_t size);
void Close(FileHandle file);

// A folder's entries as the system gives them: the native name, and whether it is a plain file.
// Hidden entries are left out (on POSIX names starting with '.', on Windows the hidden and
// system attributes). False, with `why`, when the folder cannot be read.
struct RawEntry {
    std::string native;
    bool regular;
};
bool ListRaw(const std::string& nativeFolder, std::vector<RawEntry>& entries, std::string* why);

// The description of a file error, as CoreError carries it, for a few kinds the common code
// needs to say.
std::string TooLong(std::uint64_t maxBytes);

// The start of the names of a save's temporary files for a file name: ".varnet-", eight hex
// digits drawn from the name, "-"; short enough for any folder (shared by both systems).
std::string TempPrefix(const std::string& name);

// The type (0 to 6) and the label of the drive with this letter (upper case), as the system says.
int DriveType(char letter);
std::string VolumeLabel(char letter);

// The separators of a Windows path ('\\' and '/'), and the letters that name drives (shared).
bool IsSeparator(char c);
bool IsDriveLetter(char c);

// Starts the program at a native path, detached; false with `why` when it cannot.
bool StartProgram(const std::string& nativePath, std::string& why);

#ifdef _WIN32
// The system's own words for one of its error codes (a DWORD), without the line end and full
// stop it ends them with; "Windows error N" when it has none.
std::string SystemMessage(unsigned long code);
#endif

} // namespace Platform::Native
