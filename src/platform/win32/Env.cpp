#include "platform/Env.h"

#include <cstdlib>

namespace Platform {

std::string HomeFolder() {
    std::string home = GetEnv("USERPROFILE");
    return home.empty() ? GetEnv("HOMEDRIVE") + GetEnv("HOMEPATH") : home;
}

std::string ConfigHome() {
    const std::string appData = GetEnv("APPDATA");
    return appData.empty() ? HomeFolder() : appData;
}

std::string WinePrefix() {
    return {}; // Windows' drives are its own
}

} // namespace Platform
