#include "platform/WinPath.h"

#include "platform/Native.h"

namespace Platform {

bool Native::IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool Native::IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char DriveLetterOf(const std::string& winPath) {
    if (winPath.size() >= 2 && Native::IsDriveLetter(winPath[0]) && winPath[1] == ':')
        return static_cast<char>(winPath[0] & ~0x20);
    if (!winPath.empty() && winPath[0] == '/' && !(winPath.size() > 1 && winPath[1] == '/'))
        return 'Z'; // a POSIX absolute path lies under Z:
    return 0;
}

} // namespace Platform
