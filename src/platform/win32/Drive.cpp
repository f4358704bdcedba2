// Drives on Windows are the system's own: its drive type and volume label.
#include "platform/Drive.h"
#include "platform/Native.h"

#include <windows.h>

namespace Platform::Native {

int DriveType(char letter) {
    return int(::GetDriveTypeA((std::string(1, letter) + ":\\").c_str()));
}

std::string VolumeLabel(char letter) {
    char label[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationA((std::string(1, letter) + ":\\").c_str(), label, sizeof label,
                                 nullptr, nullptr, nullptr, nullptr, 0))
        return {};
    return label;
}

} // namespace Platform::Native
