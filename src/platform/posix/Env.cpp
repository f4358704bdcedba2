#include "platform/Env.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace Platform {

std::string HomeFolder() {
    std::string home = GetEnv("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string ConfigHome() {
    std::string xdg = GetEnv("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg;
    return HomeFolder() + "/.config";
}

std::string WinePrefix() {
    std::string prefix = GetEnv("WINEPREFIX");
    if (!prefix.empty()) return prefix;
    return HomeFolder() + "/.wine";
}

} // namespace Platform
