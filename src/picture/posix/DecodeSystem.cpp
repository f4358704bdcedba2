#include "picture/DecodeSystem.h"

#include "picture/PictureLoader.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sched.h>
#include <set>
#include <spawn.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Picture::System {
namespace {

constexpr const char* kDecoderFile = "varnet-decoder";

std::string Why() {
    return std::strerror(errno);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, size -= std::size_t(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, size -= std::size_t(n);
    }
    return true;
}

// The tile files of this process, removed at its exit whatever still holds them.
std::mutex liveMutex;
std::set<std::string>* live = nullptr;

void RemoveLive() {
    std::lock_guard lock(liveMutex);
    if (live)
        for (const auto& path : *live) ::unlink(path.c_str());
}

void Track(const std::string& path, bool add) {
    std::lock_guard lock(liveMutex);
    if (!live) {
        live = new std::set<std::string>;
        std::atexit(RemoveLive);
    }
    if (add)
        live->insert(path);
    else
        live->erase(path);
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

// Makes the cache folder, folder by folder, private to the user; "" or why it cannot be had.
std::string MakeFolder(const std::string& folder) {
    for (std::size_t at = 1; at != std::string::npos;) {
        at = folder.find('/', at + 1);
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return "the cache folder " + part + " cannot be made (" + Why() + ")";
        struct stat st {};
        if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return "the cache folder " + folder + " cannot be made (" + part + " is not a folder)";
    }
    return {};
}

} // namespace

SharedBlock::SharedBlock(std::size_t bytes) : size_(bytes) {
    handle_ = ::memfd_create("varnet-picture", MFD_CLOEXEC);
    if (handle_ < 0 || ::ftruncate(handle_, off_t(std::max<std::size_t>(bytes, 1))) != 0) {
        const std::string why = Why();
        if (handle_ >= 0) ::close(handle_);
        throw std::runtime_error("no memory for the decoded picture (" + why + ")");
    }
    void* map = ::mmap(nullptr, std::max<std::size_t>(bytes, 1), PROT_READ | PROT_WRITE, MAP_SHARED,
                       handle_, 0);
    if (map == MAP_FAILED) {
        const std::string why = Why();
        ::close(handle_);
        throw std::runtime_error("no memory for the decoded picture (" + why + ")");
    }
    data_ = static_cast<unsigned char*>(map);
}

void SharedBlock::Map() {
    ::madvise(data_, std::max<std::size_t>(size_, 1), MADV_POPULATE_WRITE);
}

void SharedBlock::MapByPages() {
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    for (std::size_t at = 0; at < size_; at += page)
        reinterpret_cast<volatile unsigned char*>(data_)[at] = 0; // zeroes still, as made
}

void RunWhenIdle() {
    const sched_param none{};
    ::sched_setscheduler(0, SCHED_IDLE, &none); // Linux: the calling thread's alone
}

SharedBlock::~SharedBlock() {
    ::munmap(data_, std::max<std::size_t>(size_, 1));
    ::close(handle_);
}

std::string CacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/varnet";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.cache/varnet";
}

std::uint64_t FreeBytes(const std::string& folder) {
    std::string at = folder;
    struct statvfs s {};
    while (::statvfs(at.c_str(), &s) != 0) {
        const std::size_t slash = at.rfind('/');
        if (slash == std::string::npos || at == "/") return 0;
        at = slash == 0 ? "/" : at.substr(0, slash);
    }
    return std::uint64_t(s.f_bavail) * s.f_frsize;
}

void RemoveAbandonedTiles() {
    const std::string folder = CacheFolder();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::string host = HostName();
    while (const dirent* e = ::readdir(dir)) {
        // tiles-PID-N@HOST; a name without a host is one an older Varnet made here.
        int pid = 0, n = 0;
        if (std::sscanf(e->d_name, "tiles-%d-%*d%n", &pid, &n) != 1 || pid <= 0) continue;
        if (e->d_name[n] != '\0' && (e->d_name[n] != '@' || e->d_name + n + 1 != host)) continue;
        if (::kill(pid, 0) != 0 && errno == ESRCH) ::unlink((folder + "/" + e->d_name).c_str());
    }
    ::closedir(dir);
}

TileFile::TileFile(std::uint64_t bytes) {
    const std::string folder = CacheFolder();
    if (const std::string why = MakeFolder(folder); !why.empty()) throw std::runtime_error(why);
    RemoveAbandonedTiles();
    static std::atomic<int> serial{0};
    path_ = folder + "/tiles-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + "@" +
            HostName();
    handle_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (handle_ < 0 || ::ftruncate(handle_, off_t(bytes)) != 0) {
        const std::string why = Why();
        if (handle_ >= 0) ::close(handle_), ::unlink(path_.c_str());
        throw std::runtime_error("the tile cache " + path_ + " cannot be made (" + why + ")");
    }
    Track(path_, true);
}

TileFile::~TileFile() {
    ::close(handle_);
    Remove();
}

void TileFile::Remove() {
    if (removed_.exchange(true)) return;
    ::unlink(path_.c_str());
    Track(path_, false);
}

bool TileFile::Read(std::uint64_t offset, void* to, std::size_t bytes) const {
    char* p = static_cast<char*>(to);
    while (bytes > 0) {
        const ssize_t n = ::pread(handle_, p, bytes, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, bytes -= std::size_t(n), offset += std::uint64_t(n);
    }
    return true;
}

Process::Process() {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

Process::~Process() {
    Kill();
    if (wake_[0] >= 0) ::close(wake_[0]), ::close(wake_[1]);
}

std::string FindDecoder() {
    namespace fs = std::filesystem;
    auto there = [](const fs::path& file) {
        std::error_code ec;
        return ::access(file.c_str(), X_OK) == 0 && fs::is_regular_file(file, ec);
    };
    // The one meant when set, there or not.
    if (const char* set = std::getenv("VARNET_DECODER"); set && *set)
        return there(set) ? set : std::string();
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec).parent_path();
    std::vector<fs::path> places;
    if (!ec && !program.empty()) {
        places.push_back(program / kDecoderFile);
        // VARNET_DECODER_FROM_BIN: the installed decoder's folder relative to the programs'.
        places.push_back((program / VARNET_DECODER_FROM_BIN / kDecoderFile).lexically_normal());
    }
    places.emplace_back(VARNET_DECODER_BUILT);
    for (const fs::path& place : places)
        if (there(place)) return place;
    return {};
}

void Process::Ended(int status) {
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    endedElsewhere_ =
        signal == SIGKILL || signal == SIGTERM || signal == SIGINT || signal == SIGHUP;
    if (socket_ >= 0) ::close(socket_);
    pid_ = socket_ = -1;
}

bool Process::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    Ended(status);
    return false;
}

bool Process::Start(std::string& error) {
    if (Running()) return true;
    const std::string decoder = FindDecoder();
    if (decoder.empty()) {
        error = kDecoderMissing;
        return false;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = "the decoding process cannot be started (" + Why() + ")";
        return false;
    }
    // The decoder serves its end of the pair at the descriptor the protocol gives.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], Decoder::Protocol::kSocket);
    char name[] = "varnet-decoder";
    char* argv[] = {name, nullptr};
    pid_t pid = 0;
    const int failed = ::posix_spawn(&pid, decoder.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (failed) {
        ::close(pair[0]);
        error = "the picture decoder " + decoder + " cannot be started (" +
                std::string(std::strerror(failed)) + ")";
        return false;
    }
    pid_ = pid;
    socket_ = pair[0];
    return true;
}

void Process::Kill() {
    if (Running()) {
        ::kill(pid_, SIGKILL);
        // One already ending (its socket closed first) ends as it was going to.
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        Ended(status);
    }
}

bool Process::Send(const Decoder::Protocol::Request& request, const std::string& path, int output) {
    if (!Running()) return false;
    Decoder::Protocol::Request r = request;
    r.pathBytes = std::uint32_t(path.size());
    if (!WriteAll(socket_, &r, sizeof r) || !WriteAll(socket_, path.data(), path.size()))
        return false;
    char byte = 0;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec io{&byte, 1};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &output, sizeof output);
    while (true) {
        const ssize_t n = ::sendmsg(socket_, &msg, MSG_NOSIGNAL);
        if (n == 1) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

Process::Event Process::Next(Decoder::Protocol::Reply& reply, std::string& text) {
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0)
        if (errno != EINTR) return Event::Gone;
    if (fds[1].revents & POLLIN) {
        char drain[64];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
        return Event::Woken;
    }
    if (!ReadAll(socket_, &reply, sizeof reply) || reply.textBytes > 65536) return Event::Gone;
    text.assign(reply.textBytes, '\0');
    if (!ReadAll(socket_, text.data(), text.size())) return Event::Gone;
    return Event::Reply;
}

void Process::Wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
}

} // namespace Picture::System
