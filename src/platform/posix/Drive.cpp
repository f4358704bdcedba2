#include "platform/Drive.h"

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <fstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

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

bool RemovableDevice(dev_t dev) {
    const std::string base =
        "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    for (const char* rel : {"/removable", "/../removable"}) {
        std::ifstream f(base + rel);
        int v = 0;
        if (f >> v) return v == 1;
    }
    return false;
}

int TypeOfFolder(const std::string& native) {
    struct statfs fs {};
    struct stat st {};
    if (statfs(native.c_str(), &fs) != 0 || stat(native.c_str(), &st) != 0) return DriveUnknown;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969:     // nfs
    case 0x517B:     // smb
    case 0xFF534D42: // cifs
    case 0xFE534D42: // smb2
    case 0x564C:     // ncp
    case 0x73757245: // coda
    case 0x5346414F: // afs
    case 0x01021997: // 9p
        return DriveRemote;
    case 0x01021994: // tmpfs
    case 0x858458F6: // ramfs
        return DriveRamDisk;
    case 0x9660:     // iso9660
    case 0x15013346: // udf
        return DriveCdRom;
    default:
        return RemovableDevice(st.st_dev) ? DriveRemovable : DriveFixed;
    }
}

} // namespace

void SetDriveInfoOverride(DriveInfoOverride override) {
    Override() = std::move(override);
}

int GetDriveType(const std::string& rootPath) {
    const char letter = LetterOf(rootPath);
    if (!letter) return DriveNoRootDir;
    if (Override()) {
        if (auto info = Override()(letter)) return info->type;
    }
    auto root = DriveRoot(letter);
    if (!root) return DriveNoRootDir;
    return TypeOfFolder(*root);
}

std::string GetVolumeLabel(const std::string& drive) {
    const char letter = LetterOf(drive);
    if (!letter) return {};
    if (Override()) {
        if (auto info = Override()(letter)) return info->label;
    }
    auto root = DriveRoot(letter);
    if (!root) return {};
    // A label is short; a file whose first line is not (or that is no plain file) gives none.
    return Utf8ToCp1252(ReadFirstLine(*root + "/.windows-label", 4096));
}

} // namespace Platform
