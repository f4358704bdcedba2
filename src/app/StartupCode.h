#pragma once
// Start-up: the entry routine, the lookup of the host's folder and the program-wide variables.

#include <memory>
#include <string>

class frmMain;
class cPicScroll;

namespace StartupCode {

// The host's installation folder, read once at start-up (one trailing backslash removed).
extern std::string HostFolder;
// The main window, set before its load runs.
extern frmMain* MainWindow;
// The picture scroller, made by the main window's load.
extern std::unique_ptr<cPicScroll> PicScroll;

// The entry routine: shows the splash window, finds the host and opens the main window, or
// tells the user that the host is missing.
void Main();

// Reads "Program Folder" of "Tormund Systems" / "Stelmar32" ("" when absent), removes one
// trailing backslash, stores it in HostFolder and returns it.
std::string GetHostFolder();

} // namespace StartupCode
