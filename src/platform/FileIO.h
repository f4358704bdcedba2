#pragma once
// Files: native helpers, and sequential text files in the core's single-byte character set
// addressed by Windows paths.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Platform {

// Native path helpers. Only plain files are read: a folder, a pipe, a device or a socket is
// refused at once (opening never waits for a writer), and so is a file longer than the bound
// its caller gives, so no file can make a reader hang or take memory without end.

// Reads a whole file of at most `maxBytes` bytes. False, with the reason in `error`, when it
// cannot be opened or read, is not a plain file, or is longer.
bool ReadWholeFile(const std::string& nativePath, std::string& out, std::size_t maxBytes,
                   std::string* error = nullptr);
// The first line of a file (without its line end), read no further than `maxBytes` bytes; ""
// when the file cannot be read or its first line is longer.
std::string ReadFirstLine(const std::string& nativePath, std::size_t maxBytes);

// Replaces a file's contents. The data goes to a temporary file in the same folder, which is
// then renamed over the target, so the old file stays intact until the new one is complete;
// leftovers of earlier saves of the same file that were cut short are removed (those whose
// writer is gone, or an hour old), while another program's save in progress keeps its own
// temporary file. A symbolic link
// is followed and the file it names replaced; the file's permissions, owner and group are kept
// (owner and group where the user may set them). A file with several hard links is written in
// place, after a backup copy beside it that is removed once the write succeeded. A read-only
// file, folder or file system is refused with a reason that names which.
bool ReplaceFileContents(const std::string& nativePath, const std::string& data,
                         std::string* error = nullptr);

// Replaces whatever is at a name with a plain file holding `data`, never writing through a link
// there: a symbolic link at the name (leading to a file, a folder or nowhere) is itself replaced
// and what it led to stays as it was, and so does any other name of the same file (a hard link).
// For files made for other programs (exports), where a link at the target's name is no reason to
// write elsewhere. Otherwise as ReplaceFileContents: the new file is complete before it takes
// the name (on Windows a link there is removed first), a plain file's permissions are kept, and
// earlier saves' leftovers are removed. False, with the reason in `error` when given, when a
// folder has the name or the file or its folder cannot be written; the name then keeps what it
// had (on Windows, but for a link).
bool ReplaceFileAtName(const std::string& nativePath, const std::string& data,
                       std::string* error = nullptr);
// The same for contents another library writes to a file it opens itself (a zip archive):
// `write` fills the temporary file at the native path it is given, writing into that file (not
// replacing it), and returns false with why when it cannot; the file then takes the name as
// above, or is removed.
using FileWriter = std::function<bool(const std::string& temporary, std::string& why)>;
bool ReplaceFileAtName(const std::string& nativePath, const FileWriter& write,
                       std::string* error = nullptr);
// Several files (native path, data) replaced at their names as ReplaceFileAtName replaces each,
// with one wait for the disc for all their names rather than one each: every new file is
// complete on the disc before any takes its name, and none takes its name unless all could be
// written. False, with the reason in `error` when given and the index of the file in `failed`,
// when one cannot be written (then none is replaced) or cannot take its name (those before it
// have been replaced, it and those after keep what they had). On Windows each is replaced in
// turn.
bool ReplaceFilesAtName(const std::vector<std::pair<std::string, std::string>>& files,
                        std::size_t& failed, std::string* error = nullptr);

// A picture's companion file (its world file, its projection file) is the file beside it whose
// native name is the picture's native name with another extension, as other programs pair them,
// whatever name the picture goes by in the core (an alias too). The Windows path that opens the
// companion of the file `winPath` names with `extension` (".jgw"), or "" when no plain file has
// that name or the folder cannot be listed. A name that differs only in the case of ASCII
// letters is the companion's too (the exact name first). On Windows a picture whose name the code
// page cannot hold goes by its short name, and so do its companions.
std::string FindCompanion(const std::string& winPath, const std::string& extension);

// A pass over many files of one folder (the library's fill). While an object of this class
// lives, on this thread, each folder's listing is read once and serves every look-up of the
// pass: the pass must end before anything else can change the folders, as a synchronous pass
// does.
class ReadBatch {
public:
    ReadBatch();
    ~ReadBatch();
    ReadBatch(const ReadBatch&) = delete;
    ReadBatch& operator=(const ReadBatch&) = delete;
    static bool Active();
    // The folder's listing (ListFolder below), read once; nullptr, with the reason in `error`
    // when given, when it cannot be read.
    static const std::vector<struct FolderEntry>* Listing(const std::string& nativeFolder,
                                                          std::string* error = nullptr);
};

// One entry of a folder: the name it goes by in the core's character set, its own native name,
// and whether it is a plain file (not a folder, device or other special file). Hidden names
// (starting with '.') are left out.
//
// Every entry's core name is its own, and naming it opens that entry and no other: a native
// name that a Windows name cannot hold (characters beyond Windows-1252, or one of \ / : * ? " < >
// | and control characters), or that is not held exactly by its Windows-1252 form while another
// entry has the same form (a Latin-1 "caf\xE9.inf" beside a UTF-8 "café.inf"), goes by an
// alias instead, as Windows gives such names short aliases: the name with each character it
// cannot hold as '_', then '~' and eight hexadecimal digits drawn from the native name, before
// the extension ("sub\map.inf" goes by "sub_map~", the digits and ".inf"). The path look-ups
// resolve aliases.
struct FolderEntry {
    std::string name;
    std::string native;
    bool regular;
};
// A folder's entries sorted without regard to case, the order the host's own file systems list
// them in. False, with the reason in `error` when given, when the folder cannot be read.
bool ListFolder(const std::string& nativeFolder, std::vector<FolderEntry>& entries,
                std::string* error = nullptr);
// The native name of the folder's entry whose core name equals `coreName` without regard to
// case (an exact match first), or nothing. Within a ReadBatch the folder is listed once.
std::optional<std::string> FindEntryNoCase(const std::string& nativeFolder,
                                           const std::string& coreName);

// What a native path names now: nothing, a plain file, a folder, or something else (a pipe, a
// device, a socket). A symbolic link is followed; one that leads nowhere names nothing.
enum class EntryType { None, File, Folder, Other };
EntryType TypeOf(const std::string& nativePath);

// Longest line or item a reader accepts; longer text is a file error, so reading never needs
// memory in proportion to the file.
constexpr std::size_t kMaxLineLength = 1 << 20;

// A file opened for sequential reading. Line ends are CR LF, a lone LF or a lone CR.
// Failures throw CoreError: FileError (cannot open, not a plain file, line too long, more than
// `maxBytes` in all, read error) or InputPastEnd.
class TextReader {
public:
    explicit TextReader(const std::string& winPath, std::uint64_t maxBytes = UINT64_MAX);
    // A reader of a file found by its native path (a pass over a folder knows its files' own
    // names), by the same rules.
    struct NativeFile {};
    TextReader(NativeFile, const std::string& nativePath, std::uint64_t maxBytes = UINT64_MAX);
    // A reader of bytes already in memory, by the same rules (the fuzzers feed it).
    struct InMemory {};
    TextReader(InMemory, std::string bytes, std::uint64_t maxBytes = UINT64_MAX);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // True when no byte is left.
    bool Eof();
    // The next whole line without its line end; commas are part of it.
    std::string ReadLine();
    void Close();

private:
    int Peek();
    int Get();
    void SkipLineEnd(int c);

    std::intptr_t file_ = -1; // the system's handle
    bool inMemory_ = false;
    std::string bytes_; // in memory: what is read
    std::string path_;
    char buf_[8192];
    std::size_t pos_ = 0, len_ = 0;
    std::uint64_t total_ = 0, maxBytes_;
};

// Can the path be opened for reading as a plain file (not a folder, pipe or device)?
bool CanOpenForReading(const std::string& winPath);

// The first `headBytes` and the last `tailBytes` of a plain file, and its size. False, with
// the reason in `error` (the description CoreError would carry), when it cannot be read.
// `nativePath`, when given, receives the native path opened (or, when it cannot be, the one
// looked for).
bool ReadFileEnds(const std::string& winPath, std::size_t headBytes, std::size_t tailBytes,
                  std::string& head, std::string& tail, std::uint64_t& size, std::string& error,
                  std::string* nativePath = nullptr);

// What a file holds now, to tell later whether another program has changed it: whether it
// exists, its size, and up to `maxBytes` of its bytes.
struct FileSnapshot {
    bool exists = false;
    std::uint64_t size = 0;
    std::string head;
    bool operator==(const FileSnapshot&) const = default;
};
FileSnapshot TakeSnapshot(const std::string& winPath, std::size_t maxBytes);

// Creates or replaces a text file with the given lines, each ended by CR LF, atomically.
// Throws CoreError(FileError) with a description of the cause when it cannot be written.
void WriteTextLines(const std::string& winPath, const std::vector<std::string>& lines);

} // namespace Platform
