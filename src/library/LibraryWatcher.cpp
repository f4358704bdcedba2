#include "library/LibraryWatcher.h"

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>
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
    FollowPictures(names);
    emit Applied();
}

void LibraryWatcher::FollowPictures(const std::set<std::string>& names) {
    // The entries by their picture's name in the folder (without regard to case, as a picture
    // is found), made once for the batch.
    std::unordered_multimap<std::string, std::string> naming;
    // Pictures' paths are given through no link, as the folder is here.
    std::error_code ec;
    const auto real = std::filesystem::canonical(library_.NativeFolder(), ec);
    const std::string folder = (ec ? library_.NativeFolder() : real.string()) + "/";
    for (const Entry& e : library_.Entries())
        if (e.pictureNative.size() > folder.size() && e.pictureNative.rfind(folder, 0) == 0 &&
            e.pictureNative.find('/', folder.size()) == std::string::npos)
            naming.emplace(Platform::Lower(e.pictureNative.substr(folder.size())), e.name);
    std::set<std::string> reread;
    for (const std::string& native : names) {
        const auto [from, to] = naming.equal_range(Platform::Lower(native));
        for (auto it = from; it != to; ++it) reread.insert(it->second);
    }
    // Reported even when the entry reads as before: the picture's pixels may be new.
    for (const std::string& name : reread) library_.Reread(name);
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
