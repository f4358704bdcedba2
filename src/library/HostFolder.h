#pragma once
// Where Stelmar records its folder: the host's entry in the per-user settings store
// (application "Tormund Systems", section "Stelmar32", key "Program Folder").

#include <string>

namespace Library {

// The host's installation folder as recorded, one trailing backslash removed; "" when none is.
std::string HostFolder();
// Where that is looked for, for a message: the settings file's path and the key.
std::string HostFolderSettingText();

} // namespace Library
