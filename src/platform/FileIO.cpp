#include "platform/FileIO.h"

#include "platform/CoreError.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

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
        return "Permission denied: the disk is read-only";
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

// Opens a regular file for reading; -1 with errno set otherwise.
int OpenForReading(const std::string& native) {
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
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
};
thread_local BatchState batch;

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
}

bool ReadBatch::Active() {
    return batch.depth > 0;
}

int ReadBatch::Folder(const std::string& nativeFolder) {
    auto [it, added] = batch.folders.try_emplace(nativeFolder, -1);
    if (added) it->second = open(nativeFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return it->second;
}

const std::vector<FolderEntry>* ReadBatch::Listing(const std::string& nativeFolder) {
    auto [it, added] = batch.listings.try_emplace(nativeFolder);
    if (added && !ListFolder(nativeFolder, it->second)) {
        batch.listings.erase(it);
        return nullptr;
    }
    return &it->second;
}

bool ListFolder(const std::string& nativeFolder, std::vector<FolderEntry>& entries) {
    entries.clear();
    DIR* dir = opendir(nativeFolder.c_str());
    if (!dir) return false;
    const std::string base = nativeFolder.back() == '/' ? nativeFolder : nativeFolder + "/";
    std::vector<FolderEntry> found;
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue; // hidden, and the . and .. entries
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = stat((base + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        found.push_back({Utf8ToCp1252(e->d_name), regular});
    }
    closedir(dir);
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

bool ReadWholeFile(const std::string& nativePath, std::string& out, std::string* error) {
    const int fd = OpenForReading(nativePath);
    if (fd < 0) {
        if (error) *error = Describe(errno);
        return false;
    }
    out.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = Describe(errno);
            close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return true;
}

bool ReplaceFileContents(const std::string& nativePath, const std::string& data,
                         std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string target = nativePath;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

    mode_t mode = 0666;
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fail(Describe(EISDIR));
        // No write bit at all is read-only even for the superuser, as on the host's systems.
        if ((st.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)
            return fail("Permission denied: the file is read-only");
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }

    if (stat(folder.c_str(), &st) == 0 && (st.st_mode & 0222) == 0)
        return fail("Permission denied: the folder is read-only");

    std::string temp = folder + "." + name + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(errno == ENOENT ? "Path not found: the folder does not exist"
                                    : Describe(errno));
    const bool ok =
        WriteAll(fd, data.data(), data.size()) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
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

// Opens a file for reading: the path as written first (within a pass, through its folder kept
// open), the look-up without regard to case only when that fails. Folders are refused, but
// within a pass only when `checkFolder` asks (a reader finds out at its first read).
// -1 with errno set when it cannot.
int OpenFile(const std::string& winPath, bool checkFolder) {
    if (auto direct = DirectNativePath(winPath)) {
        const std::size_t slash = direct->rfind('/');
        if (ReadBatch::Active() && slash != std::string::npos && slash + 1 < direct->size()) {
            const int folder = ReadBatch::Folder(direct->substr(0, slash + 1));
            const int fd =
                folder < 0 ? -1 : openat(folder, direct->c_str() + slash + 1, O_RDONLY | O_CLOEXEC);
            struct stat st {};
            if (fd >= 0 && checkFolder && (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
                close(fd);
                errno = EISDIR;
                return -1;
            }
            if (fd >= 0) return fd;
        }
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

TextReader::TextReader(const std::string& winPath) : path_(winPath) {
    fd_ = OpenFile(winPath, false);
    if (fd_ < 0) ThrowFile(errno);
}

TextReader::~TextReader() {
    Close();
}

void TextReader::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

int TextReader::Peek() {
    if (pos_ < len_) return static_cast<unsigned char>(buf_[pos_]);
    if (fd_ < 0) throw CoreError(ErrorKind::FileError, "Bad file name or number");
    for (;;) {
        const ssize_t n = read(fd_, buf_, sizeof buf_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ThrowFile(errno);
        pos_ = 0;
        len_ = static_cast<std::size_t>(n);
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
    const int fd = OpenFile(winPath, true);
    if (fd < 0) return false;
    close(fd);
    return true;
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
