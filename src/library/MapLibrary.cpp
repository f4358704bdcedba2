#include "library/MapLibrary.h"

#include "picture/PictureHeader.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace Library {
namespace {

// The listing's order: names compared without regard to case, then as written.
bool Before(const std::string& a, const std::string& b) {
    const int c = Platform::Upper(a).compare(Platform::Upper(b));
    return c != 0 ? c < 0 : a < b;
}

// A name that goes by itself whatever else the folder holds: plain ASCII that a Windows name can
// hold. Others may go by aliases that depend on the folder's other names.
bool OwnName(const std::string& name) {
    return std::all_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x80 && !std::strchr("\\/:*?\"<>|", c);
    });
}

// A native path as the user knows it: the folder's links resolved (a drive letter's folder
// rather than its link), so paths in messages and in the command line's output are the ones a
// file manager shows. The folder is looked up once for the many files of a pass.
std::string Shown(const std::string& nativePath) {
    thread_local std::string lastFolder, lastResolved;
    const std::size_t slash = nativePath.find_last_of('/');
    if (slash == std::string::npos || nativePath.empty()) return nativePath;
    const std::string folder = nativePath.substr(0, slash);
    if (folder != lastFolder) {
        std::error_code ec;
        const auto real = std::filesystem::canonical(folder.empty() ? "/" : folder, ec);
        lastFolder = folder;
        lastResolved = ec ? folder : real.string();
    }
    return (lastResolved == "/" ? "" : lastResolved) + nativePath.substr(slash);
}

void Set(Entry& e, State state, std::string reason) {
    e.state = state;
    e.reason = std::move(reason);
}

void Judge(Entry& e, const std::string& folder, Depth depth) {
    const MapCode::MapDefinition& d = e.definition;
    if (!d.ok && d.cornerError.empty())
        return Set(e, State::Unreadable,
                   "the definition cannot be read" +
                       (d.fileError.empty() ? "" : ": " + d.fileError));
    if (!d.cornerError.empty()) return Set(e, State::CornersUnreadable, d.cornerError);
    if (d.lines < 2)
        return Set(e, State::CornersUnreadable,
                   d.lines == 0 ? "the definition holds no corners"
                                : "the definition holds no bottom-right corner");
    if (d.lines < 3 || d.imageLine.empty())
        return Set(e, State::NoPicture, "the definition names no picture");

    const std::string named = d.imageName.empty() ? d.imageLine : d.imageName;
    e.picturePath = folder + "\\" + named;
    if (d.imageName.empty()) {
        e.pictureNative = Shown(Platform::ToNativePath(e.picturePath).value_or(std::string()));
        return Set(e, State::PictureMissing,
                   "none of " + named + ".gif, " + named + ".bmp and " + named +
                       ".jpg is in the Maps folder");
    }
    e.probed = false;
    if (depth == Depth::Pictures) ProbePicture(e);
}

// The entry of a file whose folder and native name are known (a pass over the folder).
Entry ReadEntryIn(const std::string& folder, const std::string& nativeFolder,
                  const std::string& name, const std::string& native, Depth depth) {
    Entry e;
    e.name = name;
    e.native = native;
    e.path = folder + "\\" + name;
    const std::string direct = nativeFolder + "/" + native;
    e.nativePath = Shown(direct);
    // The folder is given with its separator, as the tree's reader gives it: image names are
    // completed beside the definition.
    MapCode::ReadDefinitionNative(folder + "\\", direct, e.definition);
    Judge(e, folder, depth);
    return e;
}

// The entries of a pass whose pictures have been probed, by the picture's Windows path.
using SeenPictures = std::unordered_map<std::string, std::size_t>;

// Probes an entry's picture, unless an entry read before it in the pass (at `at`, in
// `entries`) names the same picture: then that entry's probe is its own.
void ProbeOnce(Entry& e, SeenPictures& probed, std::size_t at, const std::vector<Entry>& entries) {
    if (e.probed) return;
    const auto [it, added] = probed.try_emplace(e.picturePath, at);
    if (added) return ProbePicture(e);
    const Entry& same = entries[it->second];
    e.picture = same.picture;
    e.pictureNative = same.pictureNative;
    e.width = same.width;
    e.height = same.height;
    e.state = same.state;
    e.reason = same.reason; // it names the picture by the same name
    e.probed = true;
}

// Below this many definitions a second thread costs more than it saves.
constexpr std::size_t kPerThread = 2000;

// Definitions a thread takes at a time.
constexpr std::size_t kChunk = 64;

// One pass over a Maps folder: its definition files, listed once, then read by threads that
// take a few at a time, so that a thread may join a pass already under way.
struct Pass {
    std::string folder;
    Depth depth = Depth::Pictures;
    std::string nativeFolder, error;
    std::vector<Platform::FolderEntry> files; // the definitions, in the listing's order
    std::vector<Entry> entries;
    std::atomic<std::size_t> next{0}; // the first file no thread has taken
    std::atomic<int> done{0};
    std::mutex mutex;
    std::condition_variable changed;
    bool listed = false;   // `files` and `entries` are set (as far as the folder could be listed)
    bool readable = false; // the folder could be listed
    int working = 0;       // threads reading it
};

// Lists the folder's definition files into `pass`.
void List(Pass& pass) {
    const auto native = Platform::ToNativePath(pass.folder);
    pass.nativeFolder = native.value_or(std::string());
    const Platform::ReadBatch batch;
    const std::vector<Platform::FolderEntry>* listing =
        native ? Platform::ReadBatch::Listing(*native + "/", &pass.error) : nullptr;
    if (!native) pass.error = "Path not found";
    pass.readable = listing;
    if (listing)
        for (const Platform::FolderEntry& f : *listing)
            if (f.regular && IsDefinitionName(f.name)) pass.files.push_back(f);
    pass.entries.resize(pass.files.size());
}

// Reads the files no other thread has taken, telling `progress` (when set) of each.
void Work(Pass& pass, const std::function<void(int done)>& progress) {
    const Platform::ReadBatch slice; // the platform's look-ups are per thread
    SeenPictures probed;             // a picture that several definitions name is read once
    const std::size_t count = pass.files.size();
    for (std::size_t from; (from = pass.next.fetch_add(kChunk)) < count;)
        for (std::size_t i = from; i < std::min(count, from + kChunk); ++i) {
            Entry e = ReadEntryIn(pass.folder, pass.nativeFolder, pass.files[i].name,
                                  pass.files[i].native, Depth::Definitions);
            if (pass.depth == Depth::Pictures) ProbeOnce(e, probed, i, pass.entries);
            pass.entries[i] = std::move(e);
            const int now = pass.done.fetch_add(1) + 1;
            if (progress) progress(now);
        }
    std::lock_guard lock(pass.mutex);
    --pass.working;
    pass.changed.notify_all();
}

// Reads the listed pass to its end with the calling thread and as many more as help (a large
// library is read by several at once), counting in those already at work; `progress` is told
// while it waits for them.
void Finish(Pass& pass, int working, const std::function<void(int done)>& progress) {
    const std::size_t count = pass.files.size();
    const int threads =
        count < kPerThread * 2
            ? 1
            : int(std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()),
                                        count / kPerThread));
    std::vector<std::thread> others;
    {
        std::lock_guard lock(pass.mutex);
        const int more = std::max(0, threads - working - 1);
        pass.working += 1 + more;
        for (int t = 0; t < more; ++t) others.emplace_back(Work, std::ref(pass), nullptr);
    }
    Work(pass, progress);
    std::unique_lock lock(pass.mutex);
    while (!pass.changed.wait_for(lock, std::chrono::milliseconds(20),
                                  [&] { return pass.working == 0; }))
        if (progress) progress(pass.done.load());
    lock.unlock();
    for (std::thread& t : others) t.join();
    if (progress && pass.readable) progress(pass.done.load());
}

// The pass read ahead, if any (never destroyed: its thread may outlive a start that fails).
std::mutex aheadMutex;
std::shared_ptr<Pass>* ahead = nullptr;

// The pass read ahead of `folder` at `depth`, once it is listed; null when there is none. A
// pass read ahead of another folder is dropped.
std::shared_ptr<Pass> TakeAhead(const std::string& folder, Depth depth) {
    std::shared_ptr<Pass> pass;
    {
        std::lock_guard lock(aheadMutex);
        if (ahead) pass = std::move(*ahead);
    }
    if (!pass || pass->folder != folder || pass->depth != depth) return nullptr;
    std::unique_lock lock(pass->mutex);
    pass->changed.wait(lock, [&] { return pass->listed; });
    return pass;
}

} // namespace

const char* StateName(State state) {
    switch (state) {
    case State::Unreadable:
        return "unreadable";
    case State::CornersUnreadable:
        return "corners-unreadable";
    case State::NoPicture:
        return "no-picture";
    case State::PictureMissing:
        return "picture-missing";
    case State::PictureUnreadable:
        return "picture-unreadable";
    case State::Ok:
        break;
    }
    return "ok";
}

std::optional<MapCode::Georeference> Entry::Corners() const {
    if (!HasCorners()) return std::nullopt;
    const MapCode::MapDefinition& d = definition;
    if (width < 1 || height < 1)
        return MapCode::Georeference(d.topLeftLongitude, d.topLeftLatitude, d.bottomRightLongitude,
                                     d.bottomRightLatitude);
    return MapCode::Georeference(d.topLeftLongitude, d.topLeftLatitude, d.bottomRightLongitude,
                                 d.bottomRightLatitude, width, height);
}

std::optional<MapCode::Georeference> Entry::Georeference() const {
    auto placed = Corners();
    if (placed && !placed->HasSize()) placed.reset();
    return placed;
}

bool IsDefinitionName(const std::string& name) {
    return name.size() >= 3 && Platform::Upper(name.substr(name.size() - 3)) == "INF";
}

void ProbePicture(Entry& e) {
    if (e.probed) return;
    e.probed = true;
    const std::string& named = e.definition.imageName;
    std::string native;
    e.picture = Picture::ProbeFile(e.picturePath, &native);
    e.pictureNative = Shown(native);
    const Picture::Probe& probe = e.picture;
    if (probe.fault == Picture::Probe::Fault::Missing)
        return Set(e, State::PictureMissing, "the picture " + named + " is not in the Maps folder");
    if (probe.fault != Picture::Probe::Fault::None)
        return Set(e, State::PictureUnreadable,
                   "the picture " + named + " cannot be shown: " + probe.error);
    e.width = int(probe.info.width); // at most 2^31 - 1, as the probe takes it
    e.height = int(probe.info.height);
}

Entry ReadEntry(const std::string& folder, const std::string& name, const std::string& native,
                Depth depth) {
    const std::string direct = Platform::ToNativePath(folder + "\\" + name).value_or(std::string());
    const std::size_t slash = direct.find_last_of('/');
    return ReadEntryIn(folder, direct.substr(0, slash == std::string::npos ? 0 : slash), name,
                       !native.empty() ? native : direct.substr(slash + 1), depth);
}

MapLibrary::MapLibrary(QObject* parent) : QObject(parent) {}

void Prefetch(const std::string& folder, Depth depth) {
    auto pass = std::make_shared<Pass>();
    pass->folder = folder;
    pass->depth = depth;
    {
        std::lock_guard lock(aheadMutex);
        if (!ahead) ahead = new std::shared_ptr<Pass>;
        *ahead = pass;
    }
    std::thread([pass] {
        List(*pass);
        {
            std::lock_guard lock(pass->mutex);
            pass->listed = true;
            pass->working = 1;
            pass->changed.notify_all();
        }
        Work(*pass, nullptr);
    }).detach();
}

void MapLibrary::Load(const std::string& folder, const std::function<void(int done)>& progress,
                      Depth depth) {
    std::shared_ptr<Pass> pass = TakeAhead(folder, depth);
    int working = 0;
    if (pass) {
        std::lock_guard lock(pass->mutex);
        working = pass->working;
    } else {
        pass = std::make_shared<Pass>();
        pass->folder = folder;
        pass->depth = depth;
        List(*pass);
    }
    Finish(*pass, working, progress);
    folder_ = folder;
    depth_ = depth;
    error_ = std::move(pass->error);
    nativeFolder_ = std::move(pass->nativeFolder);
    entries_ = std::move(pass->entries);
    emit Reset();
}

std::size_t MapLibrary::Position(const std::string& name) const {
    return std::size_t(
        std::lower_bound(entries_.begin(), entries_.end(), name,
                         [](const Entry& e, const std::string& n) { return Before(e.name, n); }) -
        entries_.begin());
}

const Entry& MapLibrary::Probed(int index) const {
    Entry& e = entries_[std::size_t(index)];
    ProbePicture(e);
    return e;
}

int MapLibrary::IndexOf(const std::string& name) const {
    const std::size_t at = Position(name);
    return at < entries_.size() && entries_[at].name == name ? int(at) : -1;
}

int MapLibrary::Update(const std::string& native) {
    return Apply(native).index;
}

MapLibrary::Outcome MapLibrary::Apply(const std::string& native, bool probe) {
    if (native.empty() || native[0] == '.' || nativeFolder_.empty()) return {};
    std::string name = native;
    if (!OwnName(native)) {
        // Its name may be an alias, and names of others may depend on it: the folder says.
        std::vector<Platform::FolderEntry> listing;
        const bool listed = Platform::ListFolder(nativeFolder_, listing);
        Listed byNative;
        for (const auto& f : listing) byNative.emplace(f.native, &f);
        if (listed) Rename(byNative);
        const auto it = byNative.find(native);
        if (it != byNative.end()) {
            name = it->second->name;
        } else { // gone: the entry it had, if any
            const auto at = std::find_if(entries_.begin(), entries_.end(),
                                         [&](const Entry& x) { return x.native == native; });
            if (at == entries_.end()) return {};
            name = at->name;
        }
    }
    const bool wanted = IsDefinitionName(name) &&
                        Platform::TypeOf(nativeFolder_ + "/" + native) == Platform::EntryType::File;
    const std::size_t at = Position(name);
    const bool present = at < entries_.size() && entries_[at].name == name;
    if (!wanted) {
        if (present) {
            entries_.erase(entries_.begin() + std::ptrdiff_t(at));
            emit Removed(int(at), name);
        }
        return {};
    }
    // As deep as the entry was read before (or the pass read the others), so that a picture left
    // unread does not count as a change; deeper when the caller is about to show it.
    const bool deep = probe || (present ? entries_[at].probed : depth_ == Depth::Pictures);
    Entry fresh =
        ReadEntryIn(folder_, nativeFolder_, name, native,
                    present && entries_[at].probed ? Depth::Pictures : Depth::Definitions);
    const bool same = present && entries_[at] == fresh;
    if (deep) ProbePicture(fresh);
    if (!present) {
        entries_.insert(entries_.begin() + std::ptrdiff_t(at), std::move(fresh));
        emit Added(int(at));
    } else if (!same) {
        entries_[at] = std::move(fresh);
        emit Changed(int(at));
    } else {
        entries_[at] = std::move(fresh); // perhaps probed now
        return {int(at), false};
    }
    return {int(at), true};
}

void MapLibrary::Rename(const Listed& listed) {
    // Every entry named anew goes, and then comes back under its new name, so that no two
    // entries share a name on the way; an entry whose file the folder no longer holds goes too.
    std::vector<const Platform::FolderEntry*> back;
    for (std::size_t i = entries_.size(); i-- > 0;) {
        const auto it = listed.find(entries_[i].native);
        if (it != listed.end() && it->second->name == entries_[i].name) continue;
        if (it != listed.end()) back.push_back(it->second);
        const std::string name = std::move(entries_[i].name);
        entries_.erase(entries_.begin() + std::ptrdiff_t(i));
        emit Removed(int(i), name);
    }
    for (const Platform::FolderEntry* f : back) {
        if (!f->regular || !IsDefinitionName(f->name)) continue;
        const std::size_t at = Position(f->name);
        entries_.insert(entries_.begin() + std::ptrdiff_t(at),
                        ReadEntryIn(folder_, nativeFolder_, f->name, f->native, depth_));
        emit Added(int(at));
    }
}

int MapLibrary::Reread(const std::string& name) {
    std::string native;
    if (const int at = IndexOf(name); at >= 0) {
        native = entries_[std::size_t(at)].native;
    } else {
        const auto path = Platform::ToNativePath(folder_ + "\\" + name);
        if (!path) return -1;
        native = path->substr(path->find_last_of('/') + 1);
    }
    const Outcome outcome = Apply(native, true);
    if (outcome.index >= 0 && !outcome.reported) emit Read(outcome.index);
    return outcome.index;
}

} // namespace Library
