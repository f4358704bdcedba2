#include "library/LibraryWatcher.h"

#include "platform/FileIO.h"

#include "platform/WinPath.h"

#include <algorithm>
#ifdef _WIN32
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

namespace Library {
namespace {
constexpr int kSettleMs = 200;              // changes this close together are one batch
constexpr int kLatestMs = 1000;             // ... but never applied later than this after the first
constexpr int kLookForMs = 250;             // while the folder is gone or unreadable
constexpr std::size_t kMostOneByOne = 2000; // more changes than this: read the folder whole
} // namespace

LibraryWatcher::LibraryWatcher(MapLibrary& library, QObject* parent)
    : QObject(parent), library_(library) {
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, &LibraryWatcher::Apply);
    lookFor_.setInterval(kLookForMs);
    connect(&lookFor_, &QTimer::timeout, this, &LibraryWatcher::LookForFolder);
}

LibraryWatcher::~LibraryWatcher() {
    Stop();
}

void LibraryWatcher::Stop() {
    delete notifier_; // before the handle it waits on goes
    notifier_ = nullptr;
    watch_.Stop();
    settle_.stop();
    lookFor_.stop();
    pending_.clear();
    folderChanged_ = false;
    since_.invalidate();
}

void LibraryWatcher::Watch() {
    Stop();
    const std::string& folder = library_.NativeFolder();
    if (folder.empty() || !library_.Error().empty() || !watch_.Start(folder)) {
        lookFor_.start(); // not there, or not readable: looked for until it is
        return;
    }
#ifdef _WIN32
    auto* notifier = new QWinEventNotifier(reinterpret_cast<HANDLE>(watch_.Handle()), this);
    connect(notifier, &QWinEventNotifier::activated, this, &LibraryWatcher::Arrived);
#else
    auto* notifier = new QSocketNotifier(qintptr(watch_.Handle()), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &LibraryWatcher::Arrived);
#endif
    notifier_ = notifier;
}

void LibraryWatcher::Arrived() {
    bool gone = false;
    for (const Platform::FolderChange& c : watch_.Take()) {
        switch (c.kind) {
        case Platform::FolderChange::Kind::Gone:
            gone = true;
            break;
        case Platform::FolderChange::Kind::Folder:
            folderChanged_ = true;
            break;
        default:
            pending_.insert(c.native);
        }
    }
    if (gone) {
        ReadAgain(); // at once: the folder's files are no longer there to be shown
        return;
    }
    if (pending_.empty() && !folderChanged_) return;
    if (!since_.isValid()) since_.start();
    const qint64 left = kLatestMs - since_.elapsed();
    settle_.start(int(std::max<qint64>(0, std::min<qint64>(kSettleMs, left))));
}

void LibraryWatcher::Apply() {
    since_.invalidate();
    if (folderChanged_ || pending_.size() > kMostOneByOne) {
        ReadAgain();
        return;
    }
    const std::set<std::string> names = std::move(pending_);
    pending_.clear();
    for (const std::string& native : names) library_.Update(native);
    emit Applied();
}

void LibraryWatcher::ReadAgain() {
    const std::string folder = library_.Folder();
    library_.Load(folder);
    Watch(); // afresh: the folder may be another one now, or none
    emit Applied();
}

void LibraryWatcher::LookForFolder() {
    // Back when it is a folder whose listing can be read again.
    // Looked up afresh: it may come back in other letter case.
    const auto native = Platform::ToNativePath(library_.Folder());
    if (!native || Platform::TypeOf(*native) != Platform::EntryType::Folder) return;
    std::vector<Platform::FolderEntry> entries;
    if (!Platform::ListFolder(*native, entries)) return;
    ReadAgain();
}

} // namespace Library
