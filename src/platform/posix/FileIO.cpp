// Files on POSIX: plain files opened without waiting, raw folder listings, and the replace
// that keeps a file whole until its new contents are.
#include "platform/FileIO.h"
#include "platform/Native.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
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
        return "Permission denied: the file system is read-only";
    case ENODEV:
        return "Path/File access error: the path names a device, pipe or socket, not a file";
    default:
        return std::strerror(err);
    }
}

// Opening never waits (a pipe without a writer would block it for ever) and never makes a
// terminal the program's own; what was opened must then be a plain file.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// A file opened is kept when it is a plain file: its one status call gives its size too. -1
// with errno EISDIR (a folder) or ENODEV (a pipe, device or socket) otherwise.
int KeepPlain(int fd, std::uint64_t& size) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        close(fd);
        errno = err;
        return -1;
    }
    size = std::uint64_t(st.st_size);
    return fd; // reads of a plain file never wait, with O_NONBLOCK or without
}

// Opens a plain file for reading; -1 with errno EISDIR (a folder), ENODEV (a pipe, device or
// socket) or the system's own otherwise.
int OpenForReading(const std::string& native, std::uint64_t& size) {
    const int fd = open(native.c_str(), kReadFlags);
    return fd < 0 ? -1 : KeepPlain(fd, size);
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

} // namespace

namespace Native {

Opened OpenPlain(const std::string& nativePath) {
    std::uint64_t size = 0;
    const int fd = OpenForReading(nativePath, size);
    if (fd >= 0) return {fd, Fault::None, {}, size};
    const int err = errno;
    const Fault fault = err == ENOENT || err == ENOTDIR ? Fault::Missing
                        : err == EISDIR                 ? Fault::Folder
                        : err == ENODEV                 ? Fault::NotPlain
                                                        : Fault::Other;
    return {kNoFile, fault, Describe(err)};
}

namespace {
thread_local std::map<std::string, int> passFolders; // the folders of a pass, kept open
} // namespace

Opened OpenPlainIn(const std::string& nativeFolder, const std::string& name) {
    auto [it, added] = passFolders.try_emplace(nativeFolder, -1);
    if (added) it->second = open(nativeFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (it->second < 0) return OpenPlain(nativeFolder + name);
    std::uint64_t size = 0;
    const int fd = openat(it->second, name.c_str(), kReadFlags);
    if (fd >= 0 && KeepPlain(fd, size) >= 0) return {fd, Fault::None, {}, size};
    return OpenPlain(nativeFolder + name); // says what it is
}

void EndPass() {
    for (const auto& [folder, fd] : passFolders)
        if (fd >= 0) close(fd);
    passFolders.clear();
}

long long ReadSome(FileHandle file, char* data, std::size_t size, std::string* why) {
    for (;;) {
        const ssize_t n = read(int(file), data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && why) *why = Describe(errno);
        return n;
    }
}

long long ReadAt(FileHandle file, std::uint64_t offset, char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = pread(int(file), data, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

void Close(FileHandle file) {
    if (file != kNoFile) close(int(file));
}

bool ListRaw(const std::string& nativeFolder, std::vector<RawEntry>& entries, std::string* why) {
    entries.clear();
    DIR* dir = opendir(nativeFolder.empty() ? "/" : nativeFolder.c_str());
    if (!dir) {
        if (why) *why = Describe(errno == ENOENT ? ENOTDIR : errno);
        return false;
    }
    const std::string base =
        nativeFolder.empty() || nativeFolder.back() == '/' ? nativeFolder : nativeFolder + "/";
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue; // hidden, and the . and .. entries
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = stat((base + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        entries.push_back({e->d_name, regular});
    }
    closedir(dir);
    return true;
}

std::string TooLong(std::uint64_t maxBytes) {
    return "File too long: more than " + std::to_string(maxBytes) + " bytes";
}

} // namespace Native

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
            target =
                (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
        }
        path = std::move(target);
    }
    return path;
}

// Removes what earlier saves of the same file left behind when they were cut short, and only
// those: a save holds a lock on its temporary file from its creation to its rename, so one that
// can be locked has lost its writer. (Another program saving the same file at this moment keeps
// its own.) On a file system without locks, a leftover counts as abandoned once it is an hour old.
void RemoveLeftovers(const std::string& folder, const std::string& prefix) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    constexpr std::size_t kRandom = 6;
    constexpr time_t kAbandonedAfter = 3600;
    while (const dirent* e = readdir(dir)) {
        const std::string n = e->d_name;
        if (n.size() != prefix.size() + kRandom || n.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string path = folder + n;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat held {
        }, named{};
        bool abandoned = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!abandoned && errno != EWOULDBLOCK && fstat(fd, &held) == 0)
            abandoned = held.st_mtime + kAbandonedAfter < time(nullptr);
        // Still the same file under that name: not one a save has just made under it anew.
        if (abandoned && fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            unlink(path.c_str());
        close(fd);
    }
    closedir(dir);
}

// Makes the save's temporary file, locked for as long as it is open (see RemoveLeftovers): -1
// with errno when it cannot. A file another save removed between its making and its locking is
// made again.
int MakeTemporary(std::string& path, const std::string& pattern) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = pattern;
        const int fd = mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        struct stat st {};
        const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
        if (locked && fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
        close(fd);
    }
    errno = EEXIST;
    return -1;
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
    std::string backup = folder + ".varnet-backup-" + Native::TempPrefix(name).substr(8) + "XXXXXX";
    std::uint64_t size = 0;
    const int in = OpenForReading(target, size);
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

namespace {

// What is at the name a replace writes to: whether a file is there, and the status and mode its
// replacement takes over.
struct Existing {
    bool exists = false;
    struct stat st {};
    mode_t mode = 0666;
};

// Looks at the target (`atName`: a link there counts as nothing, the new file takes its place);
// why it cannot be replaced, or "" when it can.
std::string Inspect(const std::string& target, bool atName, Existing& old) {
    struct stat& st = old.st;
    old.exists = (atName ? lstat(target.c_str(), &st) : stat(target.c_str(), &st)) == 0 &&
                 !S_ISLNK(st.st_mode);
    if (old.exists) {
        if (S_ISDIR(st.st_mode)) return Describe(EISDIR);
        if (!S_ISREG(st.st_mode)) return Describe(ENODEV);
        // No write bit at all is read-only even for the superuser, as on the host's systems.
        if ((st.st_mode & 0222) == 0) return "Permission denied: the file is read-only";
        if (access(target.c_str(), W_OK) != 0)
            return errno == EROFS ? Describe(EROFS) : "Permission denied: the file is read-only";
        old.mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        old.mode &= ~mask;
    }
    return {};
}

// Why a new file cannot be made in the folder (its status `dst`), or "" when it can.
std::string FolderUnwritable(const std::string& folder, const struct stat& dst, bool exists) {
    if ((dst.st_mode & 0222) == 0 || access(folder.c_str(), W_OK) != 0) {
        if (errno == EROFS) return Describe(EROFS);
        return exists ? "Permission denied: the folder that holds the file is read-only, "
                        "though the file itself is not"
                      : "Permission denied: the folder is read-only";
    }
    return {};
}

// A new file written under a temporary name beside its target, complete on the disc, not yet
// renamed. Its descriptor stays open, and so locked, until it has its name: a save that starts
// meanwhile must not take it for a leftover.
struct Written {
    std::string target, folder, temp;
    int fd = -1;
    bool named = false;
    // Its wait for the disc left to the caller, its writing only started: files replaced
    // together are written to the disc side by side, and the first wait commits most of the rest.
    bool deferred = false;
};

// Writes the contents into a temporary file beside the target, with the old file's mode (and
// owner, where it may); why it could not, or "" when it did.
std::string WriteTemporary(Written& file, const std::string& name, const std::string* data,
                           const FileWriter& write, const Existing& old) {
    const std::string prefix = Native::TempPrefix(name);
    RemoveLeftovers(file.folder, prefix);
    const int fd = MakeTemporary(file.temp, file.folder + prefix + "XXXXXX");
    if (fd < 0) return Describe(errno);
    std::string why; // the writer's own reason, when it fails
    bool ok = (data ? WriteAll(fd, data->data(), data->size()) : write(file.temp, why)) &&
              fchmod(fd, old.mode) == 0;
    // The owner and group stay the file's own where the user may give them (root may; others
    // may keep their own file's group).
    if (ok && old.exists && (old.st.st_uid != geteuid() || old.st.st_gid != getegid()) &&
        fchown(fd, old.st.st_uid, old.st.st_gid) == 0)
        ok = fchmod(fd, old.mode) == 0; // a change of owner clears the set-id bits
    if (ok && file.deferred)
        sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); // a start only: fsync follows
    else
        ok = ok && fsync(fd) == 0;
    const int err = errno;
    if (!ok) {
        close(fd);
        unlink(file.temp.c_str());
        return why.empty() ? Describe(err) : why;
    }
    file.fd = fd;
    return {};
}

// Gives the written file its name; why it could not, or "" when it did. Either way the
// temporary name is gone.
std::string Rename(Written& file) {
    const bool ok = rename(file.temp.c_str(), file.target.c_str()) == 0;
    const int err = errno;
    close(file.fd); // after fsync, nothing is left for close to report
    file.fd = -1;
    file.named = ok;
    if (ok) return {};
    unlink(file.temp.c_str());
    return Describe(err);
}

// Abandons a written file that has not taken its name.
void Abandon(Written& file) {
    if (file.fd < 0) return;
    close(file.fd);
    unlink(file.temp.c_str());
    file.fd = -1;
}

// Makes the names given in a folder durable.
void SyncFolder(const std::string& folder) {
    if (const int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
}

// The first steps of a replace of both kinds: through links (the file a link names gets the
// data, and a file of several names is written in place so that each name sees it: `inPlace`
// is then set, and nothing is left to rename) or at the name (a new plain file takes the name,
// whatever had it). The contents are `data` when it is given, else what `write` puts into the
// temporary file. Why it cannot, or "".
std::string Prepare(std::string target, bool atName, const std::string* data,
                    const FileWriter& write, Written& file, bool& inPlace) {
    inPlace = false;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    if (!atName) target = FollowLinks(target); // a link stays; the file it names gets the data
    const std::size_t slash = target.rfind('/');
    file.target = target;
    file.folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

    Existing old;
    if (std::string why = Inspect(target, atName, old); !why.empty()) return why;
    struct stat dst {};
    if (stat(file.folder.c_str(), &dst) != 0)
        return errno == ENOENT ? "Path not found: the folder does not exist" : Describe(errno);
    if (old.exists && old.st.st_nlink > 1 && !atName) {
        inPlace = true;
        std::string why;
        WriteInPlace(target, file.folder, name, *data, why);
        return why;
    }
    if (std::string why = FolderUnwritable(file.folder, dst, old.exists); !why.empty()) return why;
    return WriteTemporary(file, name, data, write, old);
}

bool Replace(const std::string& target, bool atName, const std::string* data,
             const FileWriter& write, std::string* error) {
    Written file;
    bool inPlace = false;
    std::string why = Prepare(target, atName, data, write, file, inPlace);
    if (why.empty() && !inPlace) {
        why = Rename(file);
        if (why.empty()) SyncFolder(file.folder);
    }
    if (!why.empty() && error) *error = why;
    return why.empty();
}

} // namespace

bool ReplaceFileContents(const std::string& nativePath, const std::string& data,
                         std::string* error) {
    return Replace(nativePath, false, &data, {}, error);
}

bool ReplaceFileAtName(const std::string& nativePath, const std::string& data, std::string* error) {
    return Replace(nativePath, true, &data, {}, error);
}

bool ReplaceFileAtName(const std::string& nativePath, const FileWriter& write, std::string* error) {
    return Replace(nativePath, true, nullptr, write, error);
}

bool ReplaceFilesAtName(const std::vector<std::pair<std::string, std::string>>& files,
                        std::size_t& failed, std::string* error) {
    std::vector<Written> written(files.size());
    std::string why;
    for (failed = 0; failed < files.size() && why.empty(); ++failed) {
        bool inPlace = false;
        written[failed].deferred = true;
        why =
            Prepare(files[failed].first, true, &files[failed].second, {}, written[failed], inPlace);
    }
    if (why.empty()) // each complete on the disc before any takes its name
        for (failed = 0; failed < files.size() && why.empty(); ++failed)
            if (fsync(written[failed].fd) != 0) why = Describe(errno);
    if (why.empty())
        for (failed = 0; failed < files.size() && why.empty(); ++failed)
            why = Rename(written[failed]);
    for (Written& file : written) Abandon(file); // those after one that failed
    // One wait for the disc for all the names, in each folder.
    std::vector<std::string> folders;
    for (const Written& file : written)
        if (file.named && std::find(folders.begin(), folders.end(), file.folder) == folders.end())
            folders.push_back(file.folder);
    for (const std::string& folder : folders) SyncFolder(folder);
    if (why.empty()) return true;
    --failed;
    if (error) *error = why;
    return false;
}

EntryType TypeOf(const std::string& nativePath) {
    struct stat st {};
    if (stat(nativePath.c_str(), &st) != 0) return EntryType::None;
    return S_ISREG(st.st_mode)   ? EntryType::File
           : S_ISDIR(st.st_mode) ? EntryType::Folder
                                 : EntryType::Other;
}

} // namespace Platform
