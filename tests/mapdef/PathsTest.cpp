#include "mapdef/MapCode.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

using namespace MapCode;

TEST(Paths, SplitAtTheLastBackslash) {
    struct Case {
        const char *path, *file, *folder;
    } cases[] = {
        {"C:\\Maps\\london.inf", "london.inf", "C:\\Maps"},
        {"C:\\Maps\\", "Maps", "C:"},
        {"C:\\london.inf", "london.inf", "C:"},
        {"london.inf", "", ""},
        {"", "", ""},
        {"\\", "", ""},
        {"C:\\Maps\\\\x.inf", "x.inf", "C:\\Maps\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileFromPath(c.path), c.file) << c.path;
        EXPECT_EQ(FolderFromPath(c.path), c.folder) << c.path;
    }
}

TEST(Paths, FileExistsMeansOpensForReading) {
    TempHost host;
    TempHost::Write(host.OnC("Maps/a.inf"), "x");
    struct Case {
        const char* path;
        bool exists;
    } cases[] = {
        {TEST_DRIVE "\\Maps\\a.inf", true},
        {TEST_DRIVE "\\Maps\\\\a.inf", true},
        {TEST_DRIVE_LOWER "\\maps\\A.INF", true},
        {TEST_DRIVE "\\Maps\\a.inf\\", true},
        {TEST_DRIVE "\\Maps", false},
        {TEST_DRIVE "\\Maps\\", false},
        {TEST_DRIVE "\\Maps\\b.inf", false},
        {"Q:\\a.inf", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(FileExists(c.path), c.exists) << c.path;
}
