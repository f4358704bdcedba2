// Drive type and label: the tests' own answers when they give them, otherwise the system's.
#include "platform/Drive.h"

#include "platform/Native.h"

namespace Platform {
namespace {

DriveInfoOverride& Override() {
    static DriveInfoOverride o;
    return o;
}

char LetterOf(const std::string& s) {
    if (s.size() < 2 || s[1] != ':') return 0;
    const char c = static_cast<char>(s[0] & ~0x20);
    return c >= 'A' && c <= 'Z' ? c : 0;
}

} // namespace

void SetDriveInfoOverride(DriveInfoOverride override) {
    Override() = std::move(override);
}

int GetDriveType(const std::string& rootPath) {
    const char letter = LetterOf(rootPath);
    if (!letter) return DriveNoRootDir;
    if (Override())
        if (auto info = Override()(letter)) return info->type;
    return Native::DriveType(letter);
}

std::string GetVolumeLabel(const std::string& drive) {
    const char letter = LetterOf(drive);
    if (!letter) return {};
    if (Override())
        if (auto info = Override()(letter)) return info->label;
    return Native::VolumeLabel(letter);
}

} // namespace Platform
