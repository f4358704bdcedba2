#include "library/LibraryWatcher.h"

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

namespace {
constexpr int kSettleMs = 200;  // changes this close together are one
constexpr int kLatestMs = 1000; // ... but never later than this after the first
constexpr int kMostFiles = 10000;
} // namespace

LibraryWatcher::LibraryWatcher(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, [this] {
        since_.invalidate();
        emit Changed();
    });
}

void LibraryWatcher::Stop() {
    delete watcher_; // a fresh watcher drops every path at once
    watcher_ = nullptr;
    settle_.stop();
    since_.invalidate();
}

void LibraryWatcher::Watch(const std::string& folder) {
    Stop();
    const auto native = Platform::ToNativePath(folder);
    if (!native) return;
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &LibraryWatcher::Noticed);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &LibraryWatcher::Noticed);
    const QString dir = QString::fromStdString(*native);
    watcher_->addPath(dir);
    std::vector<Platform::FolderEntry> entries;
    if (!Platform::ListFolder(*native, entries)) return;
    QStringList files;
    for (const auto& e : entries)
        if (e.regular && e.name.size() >= 3 &&
            Platform::Upper(e.name.substr(e.name.size() - 3)) == "INF")
            files << dir + "/" + QString::fromStdString(e.native);
    if (!files.isEmpty() && files.size() <= kMostFiles) watcher_->addPaths(files);
}

void LibraryWatcher::Noticed() {
    if (!since_.isValid()) since_.start();
    const qint64 left = kLatestMs - since_.elapsed();
    settle_.start(int(std::max<qint64>(0, std::min<qint64>(kSettleMs, left))));
}
