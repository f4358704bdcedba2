#pragma once
// Start-up: the entry routine, the lookup of the host's folder and the program-wide variables.

#include "library/LibraryWatcher.h"
#include "library/MapLibrary.h"
#include "library/PlaceIndex.h"

#include <memory>
#include <string>

class frmMain;
class cPicScroll;

namespace StartupCode {

// The application's model of the Maps folder: the library, the watcher that keeps it in step
// with the folder, and the index of its maps' places. Made empty; the main window's load reads
// the folder into it.
struct LibraryModel {
    Library::MapLibrary maps;
    Library::LibraryWatcher watcher{maps};
    Library::PlaceIndex places{maps};
};

// The host's installation folder, read once at start-up (one trailing backslash removed).
extern std::string HostFolder;
// The main window, set before its load runs.
extern frmMain* MainWindow;
// The picture scroller, made by the main window's load.
extern std::unique_ptr<cPicScroll> PicScroll;
// The model the main window shows, made by CreateMainWindow; dropped with the application (or
// by the next CreateMainWindow).
extern std::unique_ptr<LibraryModel> Model;

// The entry routine: shows the splash window, finds the host and opens the main window, or
// tells the user that the host is missing.
void Main();

// From now on SIGTERM, SIGHUP and Ctrl+C (POSIX) end the program as File > Exit does: the
// placement kept, the picture's disc cache and an import under way ended. Main calls it once the
// main window is shown; a request that came before is acted on then.
void EndOnStopRequests();

// Reads "Program Folder" of "Tormund Systems" / "Stelmar32" ("" when absent), removes one
// trailing backslash, stores it in HostFolder and returns it.
std::string GetHostFolder();

// Makes an empty model in Model (the one before is dropped) and the main window handed it, not
// yet loaded; stores the window in MainWindow and returns it. A main window made already is
// returned as it is, with the model it shows.
frmMain& CreateMainWindow();

} // namespace StartupCode
