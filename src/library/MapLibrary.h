#pragma once
// The map library: one entry per map definition file of a Maps folder, in the order the tree
// lists them, read in one pass and then kept up to date file by file. It is the one place that
// reads definition files for showing them: the main window's tree and details, the coverage
// window, finding maps and the command line present its entries.
//
// Widget-free: the standard library, the core (mapdef/), the picture header reader and the
// platform layer, with QtCore for the change signals only; a test or the command line needs no
// display and no event loop.

#include "mapdef/Georeference.h"
#include "mapdef/MapCode.h"
#include "picture/PictureHeader.h"
#include "platform/FileIO.h"

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Library {

// What stands between an entry and its map, most basic first: when several apply, the first
// wins. Ok when none does.
enum class State {
    Unreadable,        // the definition file cannot be read
    CornersUnreadable, // a corner line is missing or does not convert
    NoPicture,         // the definition names no picture
    PictureMissing,    // the picture it names is not there
    PictureUnreadable, // the picture is there but is no picture Varnet can show
    Ok,
};
// "unreadable", "corners-unreadable", "no-picture", "picture-missing", "picture-unreadable", "ok".
const char* StateName(State state);

struct Entry {
    std::string name;       // as the tree shows it (an alias where the native name cannot be)
    std::string native;     // the file's own name in its folder
    std::string path;       // Windows path: the Maps folder, '\', name
    std::string nativePath; // the same, native
    MapCode::MapDefinition definition; // as the definition reader takes it
    // The picture the definition names: its Windows and native paths ("" when it names none;
    // set also when the picture is missing), and its size in pixels from its header (0 when
    // unknown).
    std::string picturePath, pictureNative;
    int width = 0, height = 0;
    // What the picture's header says (its format, size and what its decoder must hold), or why
    // it cannot be shown ("Path not found" when no picture was looked for): the picture opened
    // from it is not read again for these.
    Picture::Probe picture{Picture::Probe::Fault::Missing, "Path not found"};
    State state = State::Ok;
    std::string reason; // why the state is not Ok; "" when it is
    // False while the picture the definition names has not been looked at (a library read for
    // its definitions alone): `picture`, the size and a state of Ok then say nothing of it.
    bool probed = true;

    // Whether reading the definition yields an image name: the tree's "File" icon, not "FileX".
    bool NamesPicture() const { return !definition.imageName.empty(); }
    // Both corners were read.
    bool HasCorners() const { return definition.lines >= 2; }
    // Where the map lies: both corners were read; with the picture's size when it is known.
    std::optional<MapCode::Georeference> Corners() const;
    // Where the picture lies on the earth: both corners and the picture's size are known.
    std::optional<MapCode::Georeference> Georeference() const;
    bool operator==(const Entry&) const = default;
};

// How far a pass reads each entry: its definition alone (what the tree and the place index
// need: no picture is opened), or its picture's header too (its size and whether it can be
// shown).
enum class Depth { Definitions, Pictures };

// Reads the entry of one definition file: `folder` is the Maps folder (a Windows path without
// a trailing separator), `name` the file's name as the tree shows it, `native` its native name
// when known (found from the name otherwise). Never fails: what goes wrong is the entry's state.
Entry ReadEntry(const std::string& folder, const std::string& name, const std::string& native = {},
                Depth depth = Depth::Pictures);
// Completes an entry read for its definitions alone: its picture's header read (once), its size
// and state set from it. Nothing happens to an entry already probed.
void ProbePicture(Entry& entry);

// Starts reading a Maps folder as MapLibrary::Load does, on threads of its own, for a start that
// has other work to do first: the next Load of that folder at that depth, by any library, takes
// what they read (waiting for them, its progress told meanwhile) instead of reading it again.
void Prefetch(const std::string& folder, Depth depth);

// Whether a file name is a definition's as the tree takes them: its last three letters, in any
// case, are "inf" (so "mapinf" is one too).
bool IsDefinitionName(const std::string& name);

class MapLibrary : public QObject {
    Q_OBJECT
public:
    explicit MapLibrary(QObject* parent = nullptr);

    // Reads a Maps folder (a Windows path without a trailing separator) in one pass: an entry for
    // each plain file whose name IsDefinitionName, in the folder listing's order, each as deep
    // as `depth` says (entries added later by Update as deep). `progress` is called after each
    // entry with the number read so far. Emits Reset.
    void Load(const std::string& folder, const std::function<void(int done)>& progress = {},
              Depth depth = Depth::Pictures);
    // The folder last loaded, its native path, and why it could not be listed ("" when it could).
    const std::string& Folder() const { return folder_; }
    const std::string& NativeFolder() const { return nativeFolder_; }
    const std::string& Error() const { return error_; }

    const std::vector<Entry>& Entries() const { return entries_; }
    // The entry at `index` (a valid index) with its picture probed: read now, once, when the
    // pass left it out. Completing an entry changes nothing the definition says, so no signal
    // tells of it; references to entries stay valid.
    const Entry& Probed(int index) const;
    // The index of the entry with this name (as the tree shows it, exactly), or -1.
    int IndexOf(const std::string& name) const;

    // Reads one file of the folder again as it stands now, by its native name: its entry is
    // added, changed or removed, with Added, Changed or Removed when anything changed. For a
    // name that other entries' names may depend on (one beyond plain ASCII) the folder is listed
    // (not read): entries it names anew are removed and added again under their new names.
    // Returns the entry's index, -1 when there is none.
    int Update(const std::string& native);
    // The same by the name the tree shows, for a view that is about to show the entry; a name
    // not yet in the library is looked up in the folder. An entry found as it was is reported
    // with Read, so that the entry read is always reported.
    int Reread(const std::string& name);

signals:
    // Every entry may have changed: views show the library afresh.
    void Reset();
    void Added(int index);
    void Changed(int index);
    // Reread found the entry at `index` as it was: views that show it show it as read now.
    void Read(int index);
    // The entry that stood at `index`, named `name`, is gone.
    void Removed(int index, const std::string& name);

private:
    // Update's work: the entry's index, and whether Added or Changed reported it. `probe`: the
    // entry is read with its picture whatever depth the library's others were read at.
    struct Outcome {
        int index = -1;
        bool reported = false;
    };
    Outcome Apply(const std::string& native, bool probe = false);
    // The folder's files by native name, as a listing gives them.
    using Listed = std::unordered_map<std::string, const Platform::FolderEntry*>;
    // Brings the entries' names into line with a listing of the folder.
    void Rename(const Listed& listed);
    // Where an entry of this name stands, or would stand, in the listing's order.
    std::size_t Position(const std::string& name) const;

    std::string folder_, nativeFolder_, error_;
    Depth depth_ = Depth::Pictures;
    // Mutable for Probed: an entry's probe completes it without changing it.
    mutable std::vector<Entry> entries_;
};

} // namespace Library
