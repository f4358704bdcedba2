#pragma once
// Files: native helpers, and sequential text files in the core's single-byte character set
// addressed by Windows paths.

#include <cstddef>
#include <string>
#include <vector>

namespace Platform {

// Native path helpers.
bool ReadWholeFile(const std::string& nativePath, std::string& out, std::string* error = nullptr);
// Replaces a file atomically: the data goes to a temporary file in the same folder, which is
// then renamed over the target, so the old file stays intact until the new one is complete.
// A read-only target is refused. The target's permissions are kept.
bool ReplaceFileContents(const std::string& nativePath, const std::string& data,
                         std::string* error = nullptr);

// A pass over many files of one folder (the library's fill). While an object of this class
// lives, on this thread, each folder the pass reads from is looked up once and kept open, and
// each folder's listing is read once: the pass must end before anything else can change the
// folders, as a synchronous pass does.
class ReadBatch {
public:
    ReadBatch();
    ~ReadBatch();
    ReadBatch(const ReadBatch&) = delete;
    ReadBatch& operator=(const ReadBatch&) = delete;
    static bool Active();
    // The folder's open descriptor (kept until the batch ends), or -1.
    static int Folder(const std::string& nativeFolder);
    // The folder's listing (ListFolder below), read once.
    static const std::vector<struct FolderEntry>* Listing(const std::string& nativeFolder);
};

// One entry of a folder: its name in the core's character set, and whether it is a plain file
// (not a folder, device or other special file). Hidden names (starting with '.') are left out.
struct FolderEntry {
    std::string name;
    bool regular;
};
// A folder's entries sorted without regard to case, the order the host's own file systems list
// them in. False when the folder cannot be read.
bool ListFolder(const std::string& nativeFolder, std::vector<FolderEntry>& entries);

// Longest line or item a reader accepts; longer text is a file error, so reading never needs
// memory in proportion to the file.
constexpr std::size_t kMaxLineLength = 1 << 20;

// A file opened for sequential reading. Line ends are CR LF, a lone LF or a lone CR.
// Failures throw CoreError: FileError (cannot open, line too long, read error) or InputPastEnd.
class TextReader {
public:
    explicit TextReader(const std::string& winPath);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // True when no byte is left.
    bool Eof();
    // The next whole line without its line end; commas are part of it.
    std::string ReadLine();
    // The next comma-or-line item: leading spaces skipped, trailing spaces dropped, an item
    // that starts with '"' runs to the closing '"' and loses its quotes.
    std::string ReadItem();
    void Close();

private:
    int Peek();
    int Get();
    void SkipLineEnd(int c);

    int fd_ = -1;
    std::string path_;
    char buf_[8192];
    std::size_t pos_ = 0, len_ = 0;
};

// Can the path be opened for reading as a file (not a folder)?
bool CanOpenForReading(const std::string& winPath);

// Creates or replaces a text file with the given lines, each ended by CR LF, atomically.
// Throws CoreError(FileError) with a description of the cause when it cannot be written.
void WriteTextLines(const std::string& winPath, const std::vector<std::string>& lines);

} // namespace Platform
