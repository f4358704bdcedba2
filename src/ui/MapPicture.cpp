#include "ui/MapPicture.h"

#include "app/StartupCode.h"
#include "library/MapLibrary.h"
#include "platform/CoreError.h"
#include "platform/Text.h"
#include "ui/frmMain.h"

namespace MapCode {

bool LoadMapPicture(const std::string& folder, const std::string& fileName) {
    std::string name = fileName;
    if (name.size() < 4 || Platform::Upper(name.substr(name.size() - 4)) != ".INF") name += ".inf";
    const Library::Entry entry = Library::ReadEntry(folder, name);
    if (!entry.definition.ok) return false;
    if (!entry.NamesPicture()) return false; // the folder itself is no picture
    if (!StartupCode::MainWindow) throw CoreError(ErrorKind::InvalidArgument, "no main window");
    StartupCode::MainWindow->ShowMapPicture(entry);
    return true;
}

} // namespace MapCode
