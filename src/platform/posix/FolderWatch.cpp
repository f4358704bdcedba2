// A folder followed on POSIX through one inotify watch on the folder itself.
#include "platform/FolderWatch.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

struct FolderWatch::State {
    int fd = -1;    // the inotify instance, open until Stop
    int watch = -1; // the folder's watch; -1 once it has ended
};

namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE |
                                  IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                  IN_ONLYDIR; // the overflow, unmount and end come unasked

std::string Describe(int err) {
    switch (err) {
    case ENOENT:
        return "Path not found: the folder does not exist";
    case ENOTDIR:
        return "Path/File access error: the path names a file, not a folder";
    case EACCES:
    case EPERM:
        return "Permission denied: the folder cannot be read";
    case ENOSPC:
    case EMFILE:
    case ENFILE:
        return "The system can follow no more folders (its limit on watches is reached)";
    default:
        return std::strerror(err);
    }
}

} // namespace

FolderWatch::FolderWatch() : state_(std::make_unique<State>()) {}

FolderWatch::~FolderWatch() {
    Stop();
}

bool FolderWatch::Start(const std::string& nativeFolder, std::string* why) {
    Stop();
    auto fail = [&](int err) {
        Stop();
        if (why) *why = Describe(err);
        return false;
    };
    struct stat st {};
    if (stat(nativeFolder.c_str(), &st) != 0) return fail(errno);
    if (!S_ISDIR(st.st_mode)) return fail(ENOTDIR);
    // The watch needs only read permission; a listing needs the search permission too.
    if (access(nativeFolder.c_str(), R_OK | X_OK) != 0) return fail(errno);
    state_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (state_->fd < 0) return fail(errno);
    state_->watch = inotify_add_watch(state_->fd, nativeFolder.c_str(), kEvents);
    if (state_->watch < 0) return fail(errno);
    return true;
}

void FolderWatch::Stop() {
    if (state_->fd >= 0) close(state_->fd); // ends the watch with it
    state_->fd = state_->watch = -1;
}

bool FolderWatch::Active() const {
    return state_->watch >= 0;
}

std::intptr_t FolderWatch::Handle() const {
    return Active() ? state_->fd : -1;
}

std::vector<FolderChange> FolderWatch::Take() {
    std::vector<FolderChange> changes;
    auto add = [&](FolderChange::Kind kind, std::string native) {
        if (!changes.empty() && changes.back().kind == kind && changes.back().native == native)
            return; // a long write is many modifications
        changes.push_back({kind, std::move(native)});
    };
    using Kind = FolderChange::Kind;
    alignas(inotify_event) char buf[64 * 1024];
    while (Active()) {
        const ssize_t n = read(state_->fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // EAGAIN: nothing more waits
        for (ssize_t at = 0; at < n && Active();) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            const std::string name = e->len ? std::string(e->name) : std::string();
            if (e->mask & IN_Q_OVERFLOW) {
                add(Kind::Folder, {});
            } else if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) {
                // A folder moved away keeps its watch: ended here, so it follows no other path.
                inotify_rm_watch(state_->fd, state_->watch);
                state_->watch = -1;
                changes.push_back({Kind::Gone, {}});
            } else if (name.empty()) {
                if (e->mask & IN_ATTRIB) add(Kind::Folder, {});
            } else if (name[0] == '.') {
                // hidden, as in the listing
            } else if (e->mask & (IN_CREATE | IN_MOVED_TO)) {
                add(Kind::Added, name);
            } else if (e->mask & (IN_DELETE | IN_MOVED_FROM)) {
                add(Kind::Removed, name);
            } else if (e->mask & (IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB)) {
                add(Kind::Changed, name);
            }
        }
    }
    if (state_->fd >= 0 && !Active()) { // what the ended watch left goes: the handle is quiet
        while (read(state_->fd, buf, sizeof buf) > 0) {
        }
    }
    return changes;
}

} // namespace Platform
