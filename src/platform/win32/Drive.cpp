// Drives on Windows are the system's own: its drive type and volume label.
#include "platform/Drive.h"

#include <windows.h>
#undef GetDriveType // the layer's own name, not the system's macro

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
    return int(::GetDriveTypeA((std::string(1, letter) + ":\\").c_str()));
}

std::string GetVolumeLabel(const std::string& drive) {
    const char letter = LetterOf(drive);
    if (!letter) return {};
    if (Override())
        if (auto info = Override()(letter)) return info->label;
    char label[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationA((std::string(1, letter) + ":\\").c_str(), label, sizeof label,
                                 nullptr, nullptr, nullptr, nullptr, 0))
        return {};
    return label;
}

} // namespace Platform
