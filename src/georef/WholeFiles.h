#pragma once
// Files an import or export writes, each appearing whole or not at all: an import's under their
// own names in a work folder of its own, then renamed into place; an export's through the
// platform's replace. No GDAL. Private to src/georef/.

#include <string>
#include <utility>
#include <vector>

namespace Georef::Detail {

// A hidden folder of its own in a folder (native), where an import writes its files under their
// final names before they are renamed into place (so no name is longer than the file's own):
// ".varnet-import-<pid>-<serial>@<host>", which tells a later import whether the process that
// made it still runs. The constructor first removes the work folders in `folder` of this
// machine's processes that have ended (RemoveAbandonedWork), then makes its own, private to the
// user; the destructor removes it with all it holds. Throws Error(Failed) starting with
// `failure` ("The picture of x.tif could not be written") when the folder cannot be made.
class WorkFolder {
public:
    WorkFolder(const std::string& folder, const std::string& failure);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    // The native path of the native file name `name` in the work folder.
    std::string Path(const std::string& name) const;
    // Keeps the folder and what it holds when this object goes (it holds the only copy of a
    // file).
    void Keep() const { kept_ = true; }

private:
    std::string path_;
    mutable bool kept_ = false;
};

// Removes the work folders in `folder` whose processes have ended on this machine (another
// machine's, on a shared folder, stay, and so does one holding a replaced picture that could
// not be put back). Never throws.
void RemoveAbandonedWork(const std::string& folder);

// Moves the new picture and then the new definition from the work folder (under the file names
// of `picture` and `definition`) to those native paths in the folder, each replacing what has
// the name. The picture that had its name stays reachable from the work folder until the
// definition has followed, and takes its name again when the definition cannot, so a failure
// leaves the old map exactly as it was. Throws Error(Failed) naming the file and the system's
// reason.
void MoveIntoPlace(const WorkFolder& work, const std::string& picture,
                   const std::string& definition);

// Creates the file at `path` (a fresh name) holding `bytes`. Throws Error(Failed), leaving
// nothing.
void WriteNew(const std::string& path, const std::string& bytes);

// Replaces the file at `path` by one holding `bytes`: written under a fresh name beside it, then
// renamed over it, so a symbolic link there is replaced, never followed. Throws Error(Failed).
void WriteWhole(const std::string& path, const std::string& bytes);
// Replaces several files so (path, bytes), none unless all can be written, with one wait for
// the disc for all their names. Throws Error(Failed) naming the file that failed.
void WriteWhole(const std::vector<std::pair<std::string, std::string>>& files);

// Whether anything (a file, folder or link, dangling or not) has this name.
bool Occupied(const std::string& path);

} // namespace Georef::Detail
