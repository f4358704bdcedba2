// Files written whole: in the programs (an import's work folder and its move into place, and to
// see what is there) and in the GDAL module (exports).
#include "georef/WholeFiles.h"

#include "georef/Georef.h"
#include "platform/FileIO.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Georef::Detail {
namespace {

constexpr const char* kWorkPrefix = ".varnet-import-";

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

// Whether a work folder's name is one this machine's process `pid` made (the pid then set).
bool OwnedHere(const std::string& name, long& pid) {
    if (name.rfind(kWorkPrefix, 0) != 0) return false;
    long serial = 0;
    int end = 0;
    if (std::sscanf(name.c_str() + std::strlen(kWorkPrefix), "%ld-%ld@%n", &pid, &serial, &end) !=
            2 ||
        end == 0 || pid <= 0)
        return false;
    return name.substr(std::strlen(kWorkPrefix) + std::size_t(end)) == HostName();
}

[[noreturn]] void FailMove(const std::string& to, const std::error_code& ec,
                           const std::string& more = {}) {
    throw Error(Error::Kind::Failed, to + " could not be written: " + ec.message() + more + ".");
}

void MoveOver(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) FailMove(to, ec);
}

// Keeps the file at `path` reachable as `kept` in the work folder while a new one takes its
// name: a second name for it where the file system gives one (the name itself never goes
// missing), otherwise the file moved there. False when nothing has the name. Throws
// Error(Failed) when it cannot be kept.
bool KeepOld(const std::string& path, const std::string& kept) {
    if (!Occupied(path)) return false;
    std::error_code ec;
    fs::create_directory(fs::path(kept).parent_path(), ec);
    if (ec) FailMove(path, ec);
    if (::link(path.c_str(), kept.c_str()) == 0) return true;
    fs::rename(path, kept, ec);
    if (ec) FailMove(path, ec);
    return true;
}

} // namespace

WorkFolder::WorkFolder(const std::string& folder, const std::string& failure) {
    RemoveAbandonedWork(folder);
    static std::atomic<long> serial{0};
    path_ = (fs::path(folder) / (kWorkPrefix + std::to_string(::getpid()) + "-" +
                                 std::to_string(++serial) + "@" + HostName()))
                .string();
    if (::mkdir(path_.c_str(), 0700) != 0) {
        const std::string why = std::strerror(errno);
        path_.clear();
        throw Error(Error::Kind::Failed, failure + ": " + why + ".");
    }
}

WorkFolder::~WorkFolder() {
    std::error_code ec;
    if (!path_.empty() && !kept_) fs::remove_all(path_, ec);
}

std::string WorkFolder::Path(const std::string& name) const {
    return (fs::path(path_) / name).string();
}

void RemoveAbandonedWork(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        long pid = 0;
        std::error_code other;
        // One holding a replaced picture that could not be put back stays: it is the only copy.
        if (OwnedHere(it->path().filename().string(), pid) && ::kill(pid_t(pid), 0) != 0 &&
            errno == ESRCH && !fs::exists(it->path() / "old", other))
            fs::remove_all(it->path(), other);
    }
}

void MoveIntoPlace(const WorkFolder& work, const std::string& picture,
                   const std::string& definition) {
    const std::string name = fs::path(picture).filename().string();
    const std::string kept = work.Path("old/" + name);
    const bool old = KeepOld(picture, kept);
    std::error_code ec;
    fs::rename(work.Path(name), picture, ec);
    if (ec) {
        if (old && !Occupied(picture)) fs::rename(kept, picture, ec);
        MoveOver(work.Path(name), picture); // says why
    }
    try {
        MoveOver(work.Path(fs::path(definition).filename().string()), definition);
    } catch (const Error& e) {
        std::error_code undone;
        if (old)
            fs::rename(kept, picture, undone);
        else
            fs::remove(picture, undone);
        if (!undone) throw;
        work.Keep();
        throw Error(Error::Kind::Failed, std::string(e.what()) + " The earlier picture of " +
                                             picture + " could not be put back (" +
                                             undone.message() + "); it is kept as " + kept);
    }
}

bool Occupied(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

void WriteNew(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        const std::string why = errno ? std::strerror(errno) : "the write failed";
        std::error_code ec;
        fs::remove(path, ec);
        throw Error(Error::Kind::Failed, path + " could not be written: " + why + ".");
    }
}

void WriteWhole(const std::string& path, const std::string& bytes) {
    std::string why;
    if (!Platform::ReplaceFileAtName(path, bytes, &why))
        throw Error(Error::Kind::Failed, path + " could not be written: " + why + ".");
}

void WriteWhole(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string why;
    std::size_t failed = 0;
    if (!Platform::ReplaceFilesAtName(files, failed, &why))
        throw Error(Error::Kind::Failed,
                    files[failed].first + " could not be written: " + why + ".");
}

} // namespace Georef::Detail
