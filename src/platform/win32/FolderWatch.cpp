// A folder followed on Windows through ReadDirectoryChangesW: one request outstanding at a time,
// whose completion signals the event the caller waits on. Between requests the system keeps
// collecting changes for the folder's handle, so none is missed while the caller is busy.
#include "platform/FolderWatch.h"
#include "platform/Native.h"

#include <windows.h>

namespace Platform {

struct FolderWatch::State {
    HANDLE folder = INVALID_HANDLE_VALUE; // open while active
    HANDLE event = nullptr;               // manual reset; open until Stop
    OVERLAPPED overlapped{};
    bool pending = false; // a request is outstanding
    std::string path;
    std::wstring widePath; // ending in a separator, for asking about entries
    std::vector<DWORD> buffer = std::vector<DWORD>(16 * 1024); // 64 KiB, the most a share takes

    // Asks for the next changes; false when the system will not.
    bool Ask() {
        ::ResetEvent(event);
        overlapped = {};
        overlapped.hEvent = event;
        pending = ::ReadDirectoryChangesW(
                      folder, buffer.data(), DWORD(buffer.size() * sizeof(DWORD)), FALSE,
                      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                          FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE |
                          FILE_NOTIFY_CHANGE_ATTRIBUTES,
                      nullptr, &overlapped, nullptr) != 0;
        return pending;
    }
    // Ends the watch: what is outstanding is cancelled and the folder let go (a deleted folder
    // is only removed once no handle holds it). The event stays, unsignalled.
    void End() {
        if (pending) {
            ::CancelIoEx(folder, &overlapped);
            DWORD bytes = 0;
            ::GetOverlappedResult(folder, &overlapped, &bytes, TRUE);
            pending = false;
        }
        if (folder != INVALID_HANDLE_VALUE) ::CloseHandle(folder);
        folder = INVALID_HANDLE_VALUE;
        if (event) ::ResetEvent(event);
    }
    bool StillThere() const {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    // The single-byte name the folder listing gives the entry: its name in the system's code
    // page, or its short name when the code page cannot hold it. Empty when neither is known.
    std::string NameOf(const std::wstring& wide) const {
        auto narrow = [](const std::wstring& w) {
            std::string s(std::size_t(::WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()),
                                                            nullptr, 0, nullptr, nullptr)),
                          '\0');
            ::WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), s.data(), int(s.size()),
                                  nullptr, nullptr);
            return s;
        };
        std::string name = narrow(wide);
        if (name.find('?') == std::string::npos) return name; // '?' is never in a file's name
        std::wstring shortPath(MAX_PATH, L'\0');
        const DWORD n = ::GetShortPathNameW((widePath + wide).c_str(), shortPath.data(),
                                            DWORD(shortPath.size()));
        if (n == 0 || n >= shortPath.size()) return {};
        shortPath.resize(n);
        name = narrow(shortPath.substr(shortPath.find_last_of(L"\\/") + 1));
        return name.find('?') == std::string::npos ? name : std::string();
    }
    bool Hidden(const std::wstring& wide) const {
        const DWORD attributes = ::GetFileAttributesW((widePath + wide).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    }
    // Adds a change to the list, unless it repeats the last one.
    static void Add(std::vector<FolderChange>& changes, FolderChange::Kind kind,
                    std::string native) {
        if (!changes.empty() && changes.back().kind == kind && changes.back().native == native)
            return;
        changes.push_back({kind, std::move(native)});
    }
    // Adds the change of one entry, by the name the listing gives it.
    void AddEntry(std::vector<FolderChange>& changes, FolderChange::Kind kind,
                  const std::wstring& wide) const {
        using Kind = FolderChange::Kind;
        if (kind == Kind::Added && Hidden(wide)) return; // as the listing leaves it out
        std::string name = NameOf(wide);
        if (name.empty()) // no name the caller could know it by: it must read afresh
            Add(changes, Kind::Folder, {});
        else
            Add(changes, kind, std::move(name));
    }
    // Adds the changes that the first `bytes` of the buffer, as a completed request left them,
    // describe.
    void AddChanges(std::vector<FolderChange>& changes, DWORD bytes) const {
        using Kind = FolderChange::Kind;
        const auto* data = reinterpret_cast<const char*>(buffer.data());
        for (DWORD at = 0; bytes > 0;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(data + at);
            const std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
            switch (info->Action) {
            case FILE_ACTION_ADDED:
            case FILE_ACTION_RENAMED_NEW_NAME:
                AddEntry(changes, Kind::Added, name);
                break;
            case FILE_ACTION_REMOVED:
            case FILE_ACTION_RENAMED_OLD_NAME:
                AddEntry(changes, Kind::Removed, name);
                break;
            case FILE_ACTION_MODIFIED:
                AddEntry(changes, Kind::Changed, name);
                break;
            }
            if (info->NextEntryOffset == 0 || at + info->NextEntryOffset >= bytes) break;
            at += info->NextEntryOffset;
        }
    }
};

namespace {

std::string Describe(DWORD err) {
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return "Path not found: the folder does not exist";
    case ERROR_DIRECTORY:
        return "Path/File access error: the path names a file, not a folder";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "Permission denied: the folder cannot be read";
    default:
        return Native::SystemMessage(err);
    }
}

} // namespace

FolderWatch::FolderWatch() : state_(std::make_unique<State>()) {}

FolderWatch::~FolderWatch() {
    Stop();
}

bool FolderWatch::Start(const std::string& nativeFolder, std::string* why) {
    Stop();
    auto fail = [&](DWORD err) {
        Stop();
        if (why) *why = Describe(err);
        return false;
    };
    State& s = *state_;
    const DWORD attributes = ::GetFileAttributesA(nativeFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail(::GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return fail(ERROR_DIRECTORY);
    // Others may still rename, delete and write what is in the folder, and the folder itself.
    s.folder =
        ::CreateFileA(nativeFolder.c_str(), FILE_LIST_DIRECTORY,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (s.folder == INVALID_HANDLE_VALUE) return fail(::GetLastError());
    s.event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!s.event) return fail(::GetLastError());
    s.path = nativeFolder;
    const int n = ::MultiByteToWideChar(CP_ACP, 0, s.path.data(), int(s.path.size()), nullptr, 0);
    s.widePath.assign(std::size_t(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.path.data(), int(s.path.size()), s.widePath.data(), n);
    if (s.widePath.empty() || (s.widePath.back() != L'\\' && s.widePath.back() != L'/'))
        s.widePath += L'\\';
    if (!s.Ask()) return fail(::GetLastError());
    return true;
}

void FolderWatch::Stop() {
    State& s = *state_;
    s.End();
    if (s.event) ::CloseHandle(s.event);
    s.event = nullptr;
}

bool FolderWatch::Active() const {
    return state_->folder != INVALID_HANDLE_VALUE;
}

std::intptr_t FolderWatch::Handle() const {
    return Active() ? reinterpret_cast<std::intptr_t>(state_->event) : -1;
}

std::vector<FolderChange> FolderWatch::Take() {
    using Kind = FolderChange::Kind;
    std::vector<FolderChange> changes;
    State& s = *state_;
    // Requests that complete at once (changes collected meanwhile) are taken too, within bounds.
    for (int round = 0; round < 16 && Active(); ++round) {
        DWORD bytes = 0;
        const DWORD err = ::GetOverlappedResult(s.folder, &s.overlapped, &bytes, FALSE)
                              ? ERROR_SUCCESS
                              : ::GetLastError();
        if (err == ERROR_IO_INCOMPLETE) break;
        s.pending = false;
        // The folder's own deletion or move reaches the watch as an error, as changes inside it,
        // or not at all: asked once per completion. What happens in a folder moved away
        // concerns no entry of the folder followed.
        if ((err != ERROR_SUCCESS && err != ERROR_NOTIFY_ENUM_DIR) || !s.StillThere()) {
            s.End();
            changes.push_back({Kind::Gone, {}});
            break;
        }
        if (err == ERROR_NOTIFY_ENUM_DIR || bytes == 0)
            State::Add(changes, Kind::Folder, {}); // changes lost
        if (err == ERROR_SUCCESS) s.AddChanges(changes, bytes);
        if (!s.Ask()) { // the watch cannot go on
            s.End();
            changes.push_back({Kind::Gone, {}});
            break;
        }
    }
    return changes;
}

} // namespace Platform
