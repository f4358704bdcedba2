#include "platform/FileIO.h"

#include "platform/CoreError.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace Platform {
namespace {

std::string Describe(int err) {
    switch (err) {
    case ENOENT:
        return "File not found";
    case ENOTDIR:
        return "Path not found";
    case EACCES:
    case EPERM:
        return "Permission denied";
    case EISDIR:
        return "Path/File access error: the path names a folder";
    case ENOSPC:
        return "Disk full";
    case EROFS:
        return "Permission denied: the file system is read-only";
    case ENODEV:
        return "Path/File access error: the path names a device, pipe or socket, not a file";
    case EFBIG:
        return "File too long";
    default:
        return std::strerror(err);
    }
}

[[noreturn]] void ThrowFile(int err) {
    throw CoreError(ErrorKind::FileError, Describe(err));
}

std::string Native(const std::string& winPath) {
    auto native = ToNativePath(winPath);
    if (!native) throw CoreError(ErrorKind::FileError, "Path not found");
    return *native;
}

// Opening never waits (a pipe without a writer would block it for ever) and never makes a
// terminal the program's own; what was opened must then be a plain file.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Keeps `fd` when it is a plain file; otherwise closes it: -1 with errno EISDIR (a folder) or
// ENODEV (a pipe, device or socket).
int OnlyPlainFile(int fd) {
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        close(fd);
        errno = err;
        return -1;
    }
    return fd; // reads of a plain file never wait, with O_NONBLOCK or without
}

// Opens a plain file for reading; -1 with errno set otherwise.
int OpenForReading(const std::string& native) {
    return OnlyPlainFile(open(native.c_str(), kReadFlags));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct BatchState {
    int depth = 0;
    std::map<std::string, int> folders;
    std::map<std::string, std::vector<FolderEntry>> listings;
    // Per folder: upper-cased core name to the listing's entries of that name.
    std::map<std::string, std::unordered_multimap<std::string, std::size_t>> indexes;
};
thread_local BatchState batch;

// A Windows name cannot hold these (nor the characters Windows-1252 lacks, shown as '?').
bool NotInWindowsNames(unsigned char c) {
    return c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

std::string AliasOf(const std::string& coreName, const std::string& native) {
    std::uint32_t hash = 2166136261u; // FNV-1a: the same digits for the same name, every run
    for (unsigned char c : native) hash = (hash ^ c) * 16777619u;
    std::string name = coreName;
    for (char& c : name)
        if (NotInWindowsNames(static_cast<unsigned char>(c))) c = '_';
    char digits[16];
    std::snprintf(digits, sizeof digits, "~%08X", unsigned(hash));
    const std::size_t dot = name.rfind('.');
    const std::size_t at = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.insert(at, digits);
}

// Gives each entry the core name it goes by: its Windows-1252 form where that is its own, an
// alias otherwise.
void NameEntries(std::vector<FolderEntry>& entries) {
    std::unordered_map<std::string, int> exactForms; // forms that hold some entry exactly
    std::vector<char> exact(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        FolderEntry& e = entries[i];
        if (std::all_of(e.native.begin(), e.native.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            e.name = e.native; // plain ASCII, the common case, is its own form
            exact[i] = true;
        } else {
            bool lossless = true;
            e.name = Utf8ToCp1252(e.native, &lossless);
            exact[i] = lossless && Cp1252ToUtf8(e.name) == e.native;
        }
        if (exact[i]) ++exactForms[e.name];
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        FolderEntry& e = entries[i];
        const bool unfit = std::any_of(e.name.begin(), e.name.end(), [](char c) {
            return NotInWindowsNames(static_cast<unsigned char>(c));
        });
        if (unfit || (!exact[i] && exactForms.count(e.name))) e.name = AliasOf(e.name, e.native);
    }
}

} // namespace

ReadBatch::ReadBatch() {
    ++batch.depth;
}

ReadBatch::~ReadBatch() {
    if (--batch.depth > 0) return;
    for (const auto& f : batch.folders)
        if (f.second >= 0) close(f.second);
    batch.folders.clear();
    batch.listings.clear();
    batch.indexes.clear();
}

bool ReadBatch::Active() {
    return batch.depth > 0;
}

int ReadBatch::Folder(const std::string& nativeFolder) {
    auto [it, added] = batch.folders.try_emplace(nativeFolder, -1);
    if (added) it->second = open(nativeFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return it->second;
}

const std::vector<FolderEntry>* ReadBatch::Listing(const std::string& nativeFolder,
                                                   std::string* error) {
    auto [it, added] = batch.listings.try_emplace(nativeFolder);
    if (added && !ListFolder(nativeFolder, it->second, error)) {
        batch.listings.erase(it);
        return nullptr;
    }
    return &it->second;
}

bool ListFolder(const std::string& nativeFolder, std::vector<FolderEntry>& entries,
                std::string* error) {
    entries.clear();
    DIR* dir = opendir(nativeFolder.empty() ? "/" : nativeFolder.c_str());
    if (!dir) {
        if (error) *error = Describe(errno == ENOENT ? ENOTDIR : errno);
        return false;
    }
    const std::string base = nativeFolder.empty() || nativeFolder.back() == '/'
                                 ? nativeFolder
                                 : nativeFolder + "/";
    std::vector<FolderEntry> found;
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue; // hidden, and the . and .. entries
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = stat((base + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        found.push_back({{}, e->d_name, regular});
    }
    closedir(dir);
    NameEntries(found);
    // Sorted by the upper-cased names, made once rather than at every comparison.
    std::vector<std::string> keys;
    keys.reserve(found.size());
    for (const auto& f : found) keys.push_back(Upper(f.name));
    std::vector<std::size_t> order(found.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = keys[a].compare(keys[b]);
        return c != 0 ? c < 0 : found[a].name < found[b].name;
    });
    entries.reserve(found.size());
    for (std::size_t i : order) entries.push_back(std::move(found[i]));
    return true;
}

std::optional<std::string> FindEntryNoCase(const std::string& nativeFolder,
                                           const std::string& coreName) {
    auto pick = [&](const FolderEntry* exact, const FolderEntry* other) {
        const FolderEntry* e = exact ? exact : other;
        return e ? std::optional<std::string>(e->native) : std::nullopt;
    };
    const FolderEntry *exact = nullptr, *other = nullptr;
    if (ReadBatch::Active()) {
        const auto* listing = ReadBatch::Listing(nativeFolder);
        if (!listing) return std::nullopt;
        auto [it, added] = batch.indexes.try_emplace(nativeFolder);
        if (added) {
            it->second.reserve(listing->size());
            for (std::size_t i = 0; i < listing->size(); ++i)
                it->second.emplace(Upper((*listing)[i].name), i);
        }
        const auto [from, to] = it->second.equal_range(Upper(coreName));
        for (auto m = from; m != to; ++m) {
            const FolderEntry& e = (*listing)[m->second];
            (e.name == coreName ? exact : other) = &e;
        }
        return pick(exact, other);
    }
    std::vector<FolderEntry> entries;
    if (!ListFolder(nativeFolder, entries)) return std::nullopt;
    for (const auto& e : entries) {
        if (e.name == coreName)
            exact = &e;
        else if (!other && EqualsNoCase(e.name, coreName))
            other = &e;
    }
    return pick(exact, other);
}

bool ReadWholeFile(const std::string& nativePath, std::string& out, std::size_t maxBytes,
                   std::string* error) {
    out.clear();
    const int fd = OpenForReading(nativePath);
    int err = fd < 0 ? errno : 0;
    char buf[65536];
    while (err == 0) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        if (out.size() + std::size_t(n) > maxBytes) {
            err = EFBIG;
            out.clear();
        } else {
            out.append(buf, static_cast<std::size_t>(n));
        }
    }
    if (fd >= 0) close(fd);
    if (err && error)
        *error = err == EFBIG ? "File too long: more than " + std::to_string(maxBytes) + " bytes"
                              : Describe(err);
    return err == 0;
}

std::string ReadFirstLine(const std::string& nativePath, std::size_t maxBytes) {
    const int fd = OpenForReading(nativePath);
    if (fd < 0) return {};
    std::string text(maxBytes, '\0');
    std::size_t have = 0;
    while (have < text.size()) {
        const ssize_t n = read(fd, text.data() + have, text.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += std::size_t(n);
    }
    close(fd);
    text.resize(have);
    const std::size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) return text.substr(0, end);
    return have < maxBytes ? text : std::string(); // a first line beyond the bound: none
}

namespace {

// The file a path names after following symbolic links (a link to a file yet to be made names
// that file). The path itself when it is no link.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n <= 0) return path;
        target.resize(std::size_t(n));
        if (target[0] != '/') {
            const std::size_t slash = path.rfind('/');
            target = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                     target;
        }
        path = std::move(target);
    }
    return path;
}

// Temporary files of a save are named after the file they stand in for, in a name short enough
// for any folder: ".varnet-", eight digits from the file's name, "-" and six random characters.
std::string TempPrefix(const std::string& name) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    char text[32];
    std::snprintf(text, sizeof text, ".varnet-%08x-", unsigned(hash));
    return text;
}

// Removes what earlier saves of the same file left behind when they were cut short.
void RemoveLeftovers(const std::string& folder, const std::string& prefix) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    constexpr std::size_t kRandom = 6;
    while (const dirent* e = readdir(dir)) {
        const std::string n = e->d_name;
        if (n.size() == prefix.size() + kRandom && n.compare(0, prefix.size(), prefix) == 0)
            unlink((folder + n).c_str());
    }
    closedir(dir);
}

bool CopyFile(int from, int to) {
    char buf[65536];
    for (;;) {
        const ssize_t n = read(from, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!WriteAll(to, buf, std::size_t(n))) return false;
    }
}

// Writes through a file that has other hard links, so they all keep seeing it: a backup copy
// first, then the file rewritten in place; the backup goes once the write has succeeded, and
// stays (and is named) when it has not.
bool WriteInPlace(const std::string& target, const std::string& folder, const std::string& name,
                  const std::string& data, std::string& why) {
    std::string backup = folder + ".varnet-backup-" + TempPrefix(name).substr(8) + "XXXXXX";
    const int in = OpenForReading(target);
    const int out = in < 0 ? -1 : mkostemp(backup.data(), O_CLOEXEC);
    bool ok = out >= 0 && CopyFile(in, out) && fsync(out) == 0;
    int err = errno;
    if (in >= 0) close(in);
    if (out >= 0 && close(out) != 0 && ok) ok = false, err = errno;
    if (!ok) {
        if (out >= 0) unlink(backup.c_str());
        why = Describe(err);
        return false;
    }
    const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    ok = fd >= 0 && WriteAll(fd, data.data(), data.size()) &&
         ftruncate(fd, off_t(data.size())) == 0 && fsync(fd) == 0;
    err = errno;
    if (fd >= 0 && close(fd) != 0 && ok) ok = false, err = errno;
    if (!ok) {
        why = Describe(err) + "; the file's earlier contents are kept in " +
              backup.substr(folder.size());
        return false;
    }
    unlink(backup.c_str());
    return true;
}

} // namespace

bool ReplaceFileContents(const std::string& nativePath, const std::string& data,
                         std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string target = nativePath;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    target = FollowLinks(target); // a link stays a link; the file it names gets the new data
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

    mode_t mode = 0666;
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return fail(Describe(EISDIR));
        if (!S_ISREG(st.st_mode)) return fail(Describe(ENODEV));
        // No write bit at all is read-only even for the superuser, as on the host's systems.
        if ((st.st_mode & 0222) == 0) return fail("Permission denied: the file is read-only");
        if (access(target.c_str(), W_OK) != 0)
            return fail(errno == EROFS ? Describe(EROFS)
                                       : "Permission denied: the file is read-only");
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }

    struct stat dst {};
    if (stat(folder.c_str(), &dst) != 0)
        return fail(errno == ENOENT ? "Path not found: the folder does not exist"
                                    : Describe(errno));
    if (exists && st.st_nlink > 1) {
        std::string why;
        return WriteInPlace(target, folder, name, data, why) || fail(why);
    }
    if ((dst.st_mode & 0222) == 0 || access(folder.c_str(), W_OK) != 0) {
        if (errno == EROFS) return fail(Describe(EROFS));
        return fail(exists ? "Permission denied: the folder that holds the file is read-only, "
                             "though the file itself is not"
                           : "Permission denied: the folder is read-only");
    }

    const std::string prefix = TempPrefix(name);
    RemoveLeftovers(folder, prefix);
    std::string temp = folder + prefix + "XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return fail(Describe(errno));
    bool ok = WriteAll(fd, data.data(), data.size()) && fchmod(fd, mode) == 0;
    // The owner and group stay the file's own where the user may give them (root may; others
    // may keep their own file's group).
    if (ok && exists && (st.st_uid != geteuid() || st.st_gid != getegid()) &&
        fchown(fd, st.st_uid, st.st_gid) == 0)
        ok = fchmod(fd, mode) == 0; // a change of owner clears the set-id bits
    ok = ok && fsync(fd) == 0;
    const int err = errno;
    if (close(fd) != 0 || !ok) {
        unlink(temp.c_str());
        return fail(Describe(ok ? errno : err));
    }
    if (rename(temp.c_str(), target.c_str()) != 0) {
        const int rerr = errno;
        unlink(temp.c_str());
        return fail(Describe(rerr));
    }
    if (const int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}

namespace {

// Within a pass: the file through its folder kept open, found in the folder's listing (so a
// name that is not there costs no look-up on the disk, and one in other letter case is found
// at once). Nothing when the folder cannot be listed; hidden names are not in the listing and
// are opened as written.
std::optional<int> OpenInBatch(const std::string& winPath, const std::string& direct) {
    const std::size_t slash = direct.rfind('/');
    if (slash == std::string::npos || slash + 1 == direct.size()) return std::nullopt;
    const std::string folder = direct.substr(0, slash + 1);
    const int dir = ReadBatch::Folder(folder);
    if (dir < 0) return std::nullopt;
    const char* leaf = direct.c_str() + slash + 1;
    if (leaf[0] == '.') return OnlyPlainFile(openat(dir, leaf, kReadFlags));
    std::string error;
    if (!ReadBatch::Listing(folder, &error)) return std::nullopt;
    const std::size_t cut = winPath.find_last_of("\\/");
    const auto native = FindEntryNoCase(folder, winPath.substr(cut == std::string::npos ? 0 : cut + 1));
    if (!native) {
        errno = ENOENT;
        return -1;
    }
    return OnlyPlainFile(openat(dir, native->c_str(), kReadFlags));
}

// Opens a plain file for reading: the path as written first, the look-up without regard to
// case only when that finds nothing. -1 with errno set when it cannot.
int OpenFile(const std::string& winPath) {
    if (auto direct = DirectNativePath(winPath)) {
        if (ReadBatch::Active())
            if (const auto fd = OpenInBatch(winPath, *direct)) return *fd;
        const int fd = OpenForReading(*direct);
        if (fd >= 0 || (errno != ENOENT && errno != ENOTDIR)) return fd;
    }
    const auto native = ToNativePath(winPath);
    if (!native) {
        errno = ENOENT;
        return -1;
    }
    return OpenForReading(*native);
}

} // namespace

TextReader::TextReader(const std::string& winPath, std::uint64_t maxBytes)
    : path_(winPath), maxBytes_(maxBytes) {
    fd_ = OpenFile(winPath);
    if (fd_ < 0) ThrowFile(errno);
}

TextReader::TextReader(InMemory, std::string bytes, std::uint64_t maxBytes)
    : inMemory_(true), bytes_(std::move(bytes)), maxBytes_(maxBytes) {}

TextReader::~TextReader() {
    Close();
}

void TextReader::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    inMemory_ = false;
}

int TextReader::Peek() {
    if (pos_ < len_) return static_cast<unsigned char>(buf_[pos_]);
    if (fd_ < 0 && !inMemory_) throw CoreError(ErrorKind::FileError, "Bad file name or number");
    // Within the bound a whole buffer at a time; at the bound, one byte tells whether the file
    // goes on beyond it.
    const std::uint64_t left = maxBytes_ - total_;
    const std::size_t want = left == 0 ? 1 : std::size_t(std::min<std::uint64_t>(sizeof buf_, left));
    for (;;) {
        ssize_t n = 0;
        if (inMemory_) {
            n = ssize_t(std::min<std::uint64_t>(want, bytes_.size() - total_));
            std::memcpy(buf_, bytes_.data() + total_, std::size_t(n));
        } else {
            n = read(fd_, buf_, want);
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ThrowFile(errno);
        if (n > 0 && left == 0)
            throw CoreError(ErrorKind::FileError,
                            "File too long: more than " + std::to_string(maxBytes_) + " bytes");
        pos_ = 0;
        len_ = static_cast<std::size_t>(n);
        total_ += len_;
        return n == 0 ? -1 : static_cast<unsigned char>(buf_[0]);
    }
}

int TextReader::Get() {
    const int c = Peek();
    if (c >= 0) ++pos_;
    return c;
}

bool TextReader::Eof() {
    return Peek() < 0;
}

void TextReader::SkipLineEnd(int c) {
    if (c == '\r' && Peek() == '\n') Get();
}

std::string TextReader::ReadLine() {
    if (Eof()) throw CoreError(ErrorKind::InputPastEnd, "Input past end of file");
    std::string line;
    for (;;) {
        const int c = Get();
        if (c < 0) break;
        if (c == '\r' || c == '\n') {
            SkipLineEnd(c);
            break;
        }
        if (line.size() >= kMaxLineLength) throw CoreError(ErrorKind::FileError, "Line too long");
        line += static_cast<char>(c);
    }
    return line;
}

std::string TextReader::ReadItem() {
    if (Eof()) throw CoreError(ErrorKind::InputPastEnd, "Input past end of file");
    while (Peek() == ' ' || Peek() == '\t') Get();
    std::string item;
    auto add = [&](int c) {
        if (item.size() >= kMaxLineLength) throw CoreError(ErrorKind::FileError, "Line too long");
        item += static_cast<char>(c);
    };
    if (Peek() == '"') {
        Get();
        for (int c = Get(); c >= 0 && c != '"'; c = Get()) add(c);
        while (Peek() == ' ' || Peek() == '\t') Get();
        const int c = Peek();
        if (c == ',') {
            Get();
        } else if (c == '\r' || c == '\n') {
            Get();
            SkipLineEnd(c);
        }
        return item;
    }
    for (;;) {
        const int c = Get();
        if (c < 0 || c == ',') break;
        if (c == '\r' || c == '\n') {
            SkipLineEnd(c);
            break;
        }
        add(c);
    }
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.pop_back();
    return item;
}

bool CanOpenForReading(const std::string& winPath) {
    const int fd = OpenFile(winPath);
    if (fd < 0) return false;
    close(fd);
    return true;
}

namespace {
// Reads up to `out.size()` bytes at `offset`; `out` keeps what was read.
bool ReadAt(int fd, std::uint64_t offset, std::string& out) {
    std::size_t have = 0;
    while (have < out.size()) {
        const ssize_t n = pread(fd, out.data() + have, out.size() - have, off_t(offset + have));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        have += std::size_t(n);
    }
    out.resize(have);
    return true;
}
} // namespace

bool ReadFileEnds(const std::string& winPath, std::size_t headBytes, std::size_t tailBytes,
                  std::string& head, std::string& tail, std::uint64_t& size, std::string& error) {
    const int fd = OpenFile(winPath);
    if (fd < 0) {
        error = Describe(errno);
        return false;
    }
    struct stat st {};
    fstat(fd, &st);
    size = std::uint64_t(st.st_size);
    head.assign(std::min<std::uint64_t>(headBytes, size), '\0');
    tail.assign(std::min<std::uint64_t>(tailBytes, size), '\0');
    const bool ok = ReadAt(fd, 0, head) && ReadAt(fd, size - tail.size(), tail);
    if (!ok) error = Describe(errno);
    close(fd);
    return ok;
}

FileSnapshot TakeSnapshot(const std::string& winPath, std::size_t maxBytes) {
    FileSnapshot snap;
    std::string tail, error;
    snap.exists = ReadFileEnds(winPath, maxBytes, 0, snap.head, tail, snap.size, error);
    return snap;
}

void WriteTextLines(const std::string& winPath, const std::vector<std::string>& lines) {
    std::string data;
    for (const auto& l : lines) {
        data += l;
        data += "\r\n";
    }
    std::string error;
    if (!ReplaceFileContents(Native(winPath), data, &error))
        throw CoreError(ErrorKind::FileError, error);
}

} // namespace Platform
