#include "platform/WinPath.h"

namespace Platform {

char DriveLetterOf(const std::string& winPath) {
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (winPath.size() >= 2 && letter(winPath[0]) && winPath[1] == ':')
        return static_cast<char>(winPath[0] & ~0x20);
    if (!winPath.empty() && winPath[0] == '/' && !(winPath.size() > 1 && winPath[1] == '/'))
        return 'Z'; // a POSIX absolute path lies under Z:
    return 0;
}

} // namespace Platform
