#pragma once
// Following one folder's entries as they change, through one watch on the folder (never one per
// file, whose cost grows with the number of files). The event loop waits on Handle(); Take()
// then says what changed, entry by entry, in the order it happened.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Platform {

struct FolderChange {
    enum class Kind {
        Added,   // an entry appeared (created, or moved or renamed in)
        Changed, // an entry's contents or attributes changed (written, permissions)
        Removed, // an entry went (deleted, or moved or renamed out)
        Folder,  // the folder needs a full re-read: its own permissions or attributes changed,
                 // or changes were lost (too many at once)
        Gone,    // the folder itself was deleted, moved away or unmounted: the watch has ended
    } kind;
    std::string native; // the entry's native name; "" for Folder and Gone
    bool operator==(const FolderChange&) const = default;
};

// Names are the system's own: on POSIX the bytes of the name, hidden names (starting with '.')
// left out as the folder listing leaves them out; on Windows the single-byte name the rest of
// the layer uses (a name that character set cannot hold goes by its short name, and where even
// that is not known the change is reported as Folder), entries added hidden or system left out.
// Nothing else is filtered: the caller decides which names matter.
class FolderWatch {
public:
    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Starts following a native folder; what was followed before is dropped. False, with the
    // reason in `why` when given, when it cannot: the folder is missing, is not a folder, cannot
    // be read, or the system has no watches left.
    bool Start(const std::string& nativeFolder, std::string* why = nullptr);
    // Stops following and lets the system's resources go.
    void Stop();
    // True from a successful Start until Stop, or until Take() has reported Gone.
    bool Active() const;
    // What the event loop waits on while active: on POSIX a file descriptor that becomes
    // readable when changes wait (for QSocketNotifier), on Windows an event handle that is
    // signalled (for QWinEventNotifier); -1 when not active. After Gone the handle stays open,
    // and quiet, until Stop, Start or destruction, so a notifier built on it can go first.
    std::intptr_t Handle() const;
    // The changes waiting, in the order they happened, without ever blocking; empty when none
    // wait or when not active. A rename within the folder is Removed (the old name) then Added
    // (the new). Repeats of one change to one entry in a row come once. Gone is the last change
    // a watch reports.
    std::vector<FolderChange> Take();

private:
    struct State; // the system's own
    std::unique_ptr<State> state_;
};

} // namespace Platform
