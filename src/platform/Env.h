#pragma once
// Locations of the per-user stand-ins, each overridable by the environment.

#include <string>

namespace Platform {

// The value of an environment variable, or "" when unset.
std::string GetEnv(const char* name);
// $HOME, or the user database's home folder when HOME is unset.
std::string HomeFolder();
// ${XDG_CONFIG_HOME:-$HOME/.config}
std::string ConfigHome();
// ${WINEPREFIX:-$HOME/.wine}
std::string WinePrefix();

} // namespace Platform
