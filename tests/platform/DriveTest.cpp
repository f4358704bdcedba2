#include "platform/Drive.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(Drive, LabelAndTypeComeFromTheDrivesFolder) {
    TempHost host;
    EXPECT_EQ(GetVolumeLabel("C:"), "");
    TempHost::Write(host.OnC(".windows-label"), "NAVDATA\n");
    EXPECT_EQ(GetVolumeLabel("C:"), "NAVDATA");
    EXPECT_EQ(GetVolumeLabel("c:\\"), "NAVDATA");
    EXPECT_EQ(GetVolumeLabel("Q:"), "");

    // The type follows the file system of the drive's folder.
    EXPECT_EQ(GetDriveType("Q:\\"), DriveNoRootDir);      // no folder behind it
    EXPECT_EQ(GetDriveType("\\\\srv\\"), DriveNoRootDir); // not a drive letter
    const int c = GetDriveType("C:\\");
    EXPECT_TRUE(c == DriveFixed || c == DriveRamDisk || c == DriveRemote || c == DriveRemovable)
        << c;
    // /dev/shm is a tmpfs on every Linux machine: a RAM disk.
    host.LinkDrive('R', "/dev/shm");
    EXPECT_EQ(GetDriveType("R:\\"), DriveRamDisk);

    // Tests can replace what the drives say.
    SetDriveInfoOverride([](char letter) -> std::optional<DriveInfo> {
        if (letter == 'C') return DriveInfo{DriveCdRom, "MAPDISC"};
        return std::nullopt;
    });
    EXPECT_EQ(GetDriveType("c:\\"), DriveCdRom);
    EXPECT_EQ(GetVolumeLabel("C:"), "MAPDISC");
    EXPECT_EQ(GetDriveType("Q:\\"), DriveNoRootDir); // falls through to the real drives
    SetDriveInfoOverride(nullptr);
}
