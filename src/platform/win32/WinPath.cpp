// Windows paths on Windows: they are the system's own, so they need no translation beyond
// one separator for two; the system looks names up without regard to case itself.
#include "platform/WinPath.h"

#include "platform/Native.h"

#include <windows.h>

namespace Platform {

std::optional<std::string> DriveRoot(char letter) {
    if (!Native::IsDriveLetter(letter)) return std::nullopt;
    const std::string root = std::string(1, char(letter & ~0x20)) + ":\\";
    if (::GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) return std::nullopt;
    return root;
}

std::optional<std::string> ToNativePath(const std::string& winPath) {
    std::string out;
    out.reserve(winPath.size());
    for (std::size_t i = 0; i < winPath.size(); ++i) {
        const char c = Native::IsSeparator(winPath[i]) ? '\\' : winPath[i];
        // A doubled separator is one, but a network path keeps its leading two.
        if (c == '\\' && !out.empty() && out.back() == '\\' && i > 1) continue;
        out += c;
    }
    return out;
}

std::optional<std::string> DirectNativePath(const std::string& winPath) {
    return ToNativePath(winPath);
}

std::string NativeNameToCore(const std::string& native, bool* lossless) {
    // The system's single-byte names are the core's; a character it could not hold is '?'.
    if (lossless) *lossless = native.find('?') == std::string::npos;
    return native;
}

std::string CoreNameToNative(const std::string& core) {
    return core;
}

} // namespace Platform
