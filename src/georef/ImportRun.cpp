// Georef::Import, the programs' side: the map's names and the question of replacing, the import
// process started and followed (its progress passed on, ended at once on cancel), then the
// definition written and both files moved into place. No GDAL here: the process has it.
#include "georef/ImportProcess.h"
#include "georef/Module.h"
#include "georef/TargetNames.h"
#include "georef/WholeFiles.h"

#include "mapdef/MapCode.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace Georef {
using namespace Detail;
namespace {

// How often a quiet import process is looked in on, to pass a cancel on at once (milliseconds).
constexpr int kLookInMs = 50;

// The files an import writes: the map's name, and the native paths of its definition and
// picture (the names the folder has where they exist).
struct Target {
    std::string stem, name, definition, picture;
};

Target TargetOf(const ImportRequest& request) {
    std::error_code ec;
    if (!fs::is_directory(request.mapsFolder, ec))
        throw Error(Error::Kind::Failed,
                    "The Maps folder " + request.mapsFolder + " cannot be found.");
    const std::string stem = ImportName(request.source);
    return {stem, stem + ".inf", EntryPath(request.mapsFolder, stem + ".inf"),
            EntryPath(request.mapsFolder, stem + ".jpg")};
}

// Throws Error(Exists) when the map is there and replacing it was not asked for.
void RefuseExisting(const ImportRequest& request, const Target& target) {
    const auto existing = ExistingFiles(request.source, request.mapsFolder);
    if (!existing.empty() && !request.replace)
        throw Error(Error::Kind::Exists, "The map " + target.name + " exists already (" +
                                             existing.front() + "); " + request.source +
                                             " was not imported.");
}

// The import program, beside the GDAL module's own file. Throws Error(Unavailable).
std::string ImporterPath() {
    std::string why, module;
    if (!LoadModule(why, &module)) throw Error(Error::Kind::Unavailable, why + ".");
    const std::string program =
        (fs::path(module).parent_path() / ImportProtocol::kProgram).string();
    if (::access(program.c_str(), X_OK) != 0)
        throw Error(Error::Kind::Unavailable, "Varnet's import program, " + program +
                                                  ", cannot be started: " + std::strerror(errno) +
                                                  "; reinstall Varnet.");
    return program;
}

// A descriptor moved above the standard three and the report's, closed on exec.
int Above(int fd) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    ::close(fd);
    return moved;
}

// An import process, started with the request and followed until its last word; killed (and
// its exit waited for) when this object goes before it has ended. What it says on its standard
// error (a library's chatter) is kept, and passed on only when it ends without its last word.
class ImportProcess {
public:
    ImportProcess(const std::string& program, const ImportRequest& request, const Target& target,
                  const std::string& picture);
    ~ImportProcess() { End(); }
    ImportProcess(const ImportProcess&) = delete;
    ImportProcess& operator=(const ImportProcess&) = delete;
    // Passes its progress on until it ends, and gives its grid. Throws Error: Cancelled (the
    // progress function said so; the process is ended at once), Refused or Failed (the
    // process's own words, or that it ended without any).
    ImportProtocol::Grid Follow(const ImportRequest& request);

private:
    void End();
    int Reap();
    bool Pump(const ImportRequest& request);
    bool Take(const std::string& line, const ImportRequest& request);
    void Hear();
    pid_t pid_ = -1;
    int report_ = -1, said_ = -1;
    std::string pending_, heard_;
    double done_ = 0;
    std::optional<ImportProtocol::Report> last_;
};

ImportProcess::ImportProcess(const std::string& program, const ImportRequest& request,
                             const Target& target, const std::string& picture) {
    int report[2] = {-1, -1}, said[2] = {-1, -1};
    bool piped = ::pipe2(report, O_CLOEXEC) == 0 && ::pipe2(said, O_CLOEXEC) == 0;
    for (int* fd : {&report[0], &report[1], &said[0], &said[1]})
        piped = piped && (*fd = Above(*fd)) >= 0;
    if (!piped)
        throw Error(Error::Kind::Failed, "The import of " + request.source +
                                             " cannot start: " + std::strerror(errno) + ".");
    const std::string memory = std::to_string(request.memoryLimit);
    const char* argv[] = {ImportProtocol::kProgram,
                          request.source.c_str(),
                          picture.c_str(),
                          target.picture.c_str(),
                          target.definition.c_str(),
                          ImportProtocol::DatumArgument(request.datum),
                          memory.c_str(),
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, report[1], ImportProtocol::kReportFd);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, said[1], STDERR_FILENO);
    // A group of its own: a terminal's Ctrl+C reaches the program, which ends it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);
    const int failed = ::posix_spawn(&pid_, program.c_str(), &actions, &attributes,
                                     const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(report[1]);
    ::close(said[1]);
    report_ = report[0], said_ = said[0];
    if (failed) {
        pid_ = -1;
        throw Error(Error::Kind::Unavailable, "Varnet's import program, " + program +
                                                  ", cannot be started: " + std::strerror(failed) +
                                                  ".");
    }
}

void ImportProcess::End() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Reap();
    }
    for (int* fd : {&report_, &said_})
        if (*fd >= 0) ::close(*fd), *fd = -1;
}

int ImportProcess::Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
}

// One line of the report: progress passed on (false when the progress function cancels), or
// the last word kept.
bool ImportProcess::Take(const std::string& line, const ImportRequest& request) {
    const ImportProtocol::Report r = ImportProtocol::ReadReport(line);
    if (r.kind == ImportProtocol::Report::Kind::Progress) {
        done_ = std::max(done_, std::min(r.done, 1.0));
        return !request.progress || request.progress(done_);
    }
    if (r.kind != ImportProtocol::Report::Kind::Unreadable) last_ = r;
    return true;
}

// Reads what its standard error has to say, keeping the last few KiB; closed at its end.
void ImportProcess::Hear() {
    char bytes[4096];
    const ssize_t n = ::read(said_, bytes, sizeof bytes);
    if (n < 0 && errno == EINTR) return;
    if (n <= 0) {
        ::close(said_), said_ = -1;
        return;
    }
    heard_.append(bytes, std::size_t(n));
    if (heard_.size() > 16384) heard_.erase(0, heard_.size() - 16384);
}

// Waits a little for the process to say something and takes what it says; false when its
// report has ended. Throws Error(Cancelled), after ending the process, when the progress
// function cancels.
bool ImportProcess::Pump(const ImportRequest& request) {
    pollfd fds[2] = {{report_, POLLIN, 0}, {said_, POLLIN, 0}};
    bool going = true, reading = true;
    if (::poll(fds, said_ >= 0 ? 2 : 1, kLookInMs) > 0) {
        if (said_ >= 0 && fds[1].revents) Hear();
        if (fds[0].revents) {
            char bytes[4096];
            const ssize_t n = ::read(report_, bytes, sizeof bytes);
            reading = n > 0 || (n < 0 && errno == EINTR);
            pending_.append(bytes, std::size_t(std::max<ssize_t>(n, 0)));
        }
        for (std::size_t end; going && (end = pending_.find('\n')) != std::string::npos;) {
            going = Take(pending_.substr(0, end), request);
            pending_.erase(0, end + 1);
        }
    } else {
        going = !request.progress || request.progress(done_);
    }
    if (!going) {
        End();
        throw Error(Error::Kind::Cancelled, "The import of " + request.source + " was cancelled.");
    }
    return reading;
}

ImportProtocol::Grid ImportProcess::Follow(const ImportRequest& request) {
    while (Pump(request)) {
    }
    const int status = Reap();
    if (last_ && last_->kind == ImportProtocol::Report::Kind::Grid) return last_->grid;
    if (last_) throw Error(last_->fault, last_->message);
    // Its last words, for whoever looks into why.
    while (said_ >= 0) Hear();
    std::fwrite(heard_.data(), 1, heard_.size(), stderr);
    throw Error(Error::Kind::Failed,
                "The import of " + request.source + " failed: its process ended " +
                    (WIFSIGNALED(status) ? std::string("by signal ") + strsignal(WTERMSIG(status))
                                         : "with status " + std::to_string(WEXITSTATUS(status))) +
                    " without a word.");
}

// The new definition's bytes: where the import came from and on which datum, then the corners
// and the picture's name. The source's name is shown without its control characters, so that
// no line comes from the name.
std::string DefinitionBytes(const MapCode::Georeference& placed, const ImportRequest& request,
                            const Target& target) {
    MapCode::DefinitionComments comments;
    comments[0].push_back("; Imported by Varnet from " + Printable(CoreFileName(request.source)) +
                          "; corners in latitude and longitude on " + DatumName(request.datum));
    const auto c = MapCode::CornerTexts(placed);
    std::string bytes;
    for (const auto& line :
         MapCode::DefinitionLines(c[0], c[1], c[2], c[3], CoreFileName(target.picture), comments))
        bytes += line + "\r\n";
    return bytes;
}

} // namespace

ImportResult Import(const ImportRequest& request) {
    const std::string program = ImporterPath();
    const Target target = TargetOf(request);
    RefuseExisting(request, target);
    const WorkFolder work(request.mapsFolder,
                          "The picture of " + request.source + " could not be written");
    const std::string picture = fs::path(target.picture).filename().string();
    MapCode::Georeference placed = [&] {
        ImportProcess process(program, request, target, work.Path(picture));
        return process.Follow(request).Placed();
    }();
    WriteNew(work.Path(fs::path(target.definition).filename().string()),
             DefinitionBytes(placed, request, target));
    // Both appear together, under the names as the folder has them.
    RefuseExisting(request, target);
    MoveIntoPlace(work, target.picture, target.definition);
    if (request.progress) request.progress(1.0);
    return {target.name, target.definition, target.picture, request.datum, placed};
}

} // namespace Georef
