#include "platform/Drive.h"
#include "platform/Native.h"

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <fstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace Platform {
namespace {

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

namespace Native {

int DriveType(char letter) {
    auto root = DriveRoot(letter);
    if (!root) return DriveNoRootDir;
    return TypeOfFolder(*root);
}

std::string VolumeLabel(char letter) {
    auto root = DriveRoot(letter);
    if (!root) return {};
    // A label is short; a file whose first line is not (or that is no plain file) gives none.
    return Utf8ToCp1252(ReadFirstLine(*root + "/.windows-label", 4096));
}

} // namespace Native

} // namespace Platform
