#pragma once
// Drive type and volume label of a drive letter.

#include <functional>
#include <optional>
#include <string>

namespace Platform {

enum DriveType : int {
    DriveUnknown = 0,
    DriveNoRootDir = 1,
    DriveRemovable = 2,
    DriveFixed = 3,
    DriveRemote = 4,
    DriveCdRom = 5,
    DriveRamDisk = 6,
};

// The type of the drive whose root is given ("C:\"): from the file system its folder lives on
// (network file systems are remote, tmpfs and ramfs RAM disks, iso9660 and udf CD-ROMs, a block
// device marked removable removable, anything else fixed). A root that is not a drive letter,
// or a drive with no folder behind it, has no root directory.
int GetDriveType(const std::string& rootPath);

// The label of a drive ("C:" or "C:\"): the first line of a `.windows-label` file at the
// drive's root, or "" when there is none.
std::string GetVolumeLabel(const std::string& drive);

// Tests replace the drive information with their own: a letter the override answers gets that
// answer; for the others it returns nothing and the real drive is asked.
struct DriveInfo {
    int type = DriveFixed;
    std::string label;
};
using DriveInfoOverride = std::function<std::optional<DriveInfo>(char letter)>;
void SetDriveInfoOverride(DriveInfoOverride override);

} // namespace Platform
