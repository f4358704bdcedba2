#pragma once
// Keeps a map library in step with its folder as other programs change it. One watch on the
// folder (never one per file): a definition added, rewritten, renamed or removed changes its
// entry alone, and a picture of the folder appearing, rewritten or removed has the entries that
// name it read again (reported even when they read as before, so a map shown is shown anew), once
// the changes have paused for a moment (and at the latest a second after the first of them), so a
// copy of thousands of files is applied in one go. When the folder itself goes (deleted, renamed
// away, unmounted) or can no longer be read, the library is read again (empty, with the reason) and
// the folder looked for every quarter of a second until it is back, when the library is read again
// whole.
//
// QtCore only: it waits in the event loop of the thread it lives in.

#include "library/MapLibrary.h"
#include "platform/FolderWatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <set>
#include <string>

namespace Library {

class LibraryWatcher : public QObject {
    Q_OBJECT
public:
    explicit LibraryWatcher(MapLibrary& library, QObject* parent = nullptr);
    ~LibraryWatcher() override;

    // Follows the library's folder from now on (as last loaded); what was followed is dropped.
    void Watch();
    void Stop();
    // True while a watch on the folder is in place (false while the folder is looked for).
    bool Watching() const { return watch_.Active(); }

signals:
    // A batch of changes has been applied to the library (entry by entry, or a whole re-read).
    void Applied();

private:
    void Arrived();
    void Apply();
    // Reads again the entries whose picture is one of the folder's files `names` (native).
    void FollowPictures(const std::set<std::string>& names);
    void LookForFolder();
    void ReadAgain();

    MapLibrary& library_;
    Platform::FolderWatch watch_;
    QObject* notifier_ = nullptr;   // waits on the watch's handle in the event loop
    std::set<std::string> pending_; // native names changed since the last batch
    bool folderChanged_ = false;    // ... or the folder as a whole
    QTimer settle_, lookFor_;
    QElapsedTimer since_; // since the first change not yet applied
};

} // namespace Library
