#include "platform/WinPath.h"
#include "support/TempHost.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace Platform;

namespace {
// Drive folders are reached through their links; compare where the paths lead.
std::string Real(const std::string& p) {
    std::string r = std::filesystem::weakly_canonical(p).string();
    if (!p.empty() && p.back() == '/' && r.back() != '/') r += '/';
    return r;
}
} // namespace

TEST(WinPath, TranslatesDrivesComponentsAndSeparatorsOrSaysThereIsNoPath) {
    TempHost host;
    TempHost::Write(host.OnC("Stelmar/Maps/London.inf"), "x");
    TempHost::Write(host.OnC("Stelmar/Maps/london.INF"), "y"); // exact match wins
    const std::string d = host.Root() + "/drive_d";
    host.LinkDrive('D', d); // an upper-case link name
    TempHost::Write(d + "/Data/File.txt", "z");
    TempHost::Write(host.OnC("Cartes \xC3\x89t\xC3\xA9/a.inf"), "x"); // "Cartes Été" in UTF-8
    const std::string c = host.DriveC();

    struct Case {
        std::string win, native;
    } cases[] = {
        {"C:\\Stelmar\\Maps\\London.inf", c + "/Stelmar/Maps/London.inf"},
        {"c:\\stelmar\\maps\\london.INF", c + "/Stelmar/Maps/london.INF"},
        {"C:\\STELMAR\\MAPS\\LONDON.inf", c + "/Stelmar/Maps/London.inf"},
        {"C:\\Stelmar\\Maps\\\\London.inf", c + "/Stelmar/Maps/London.inf"},
        {"C:\\Stelmar\\Maps\\", c + "/Stelmar/Maps/"},
        {"C:\\Stelmar\\Maps\\..\\Maps\\.\\London.inf", c + "/Stelmar/Maps/London.inf"},
        {"C:/Stelmar/Maps/London.inf", c + "/Stelmar/Maps/London.inf"},
        {"C:\\stelmar\\New Folder\\new.inf", c + "/Stelmar/New Folder/new.inf"},
        {"d:\\data\\file.TXT", d + "/Data/File.txt"},
        // Names outside ASCII match without regard to case, given in Windows-1252.
        {"C:\\CARTES \xC9T\xC9\\a.inf", c + "/Cartes \xC3\x89t\xC3\xA9/a.inf"},
        {"C:\\", c},
        // Z: has no link here: it stands for /, and a POSIX path means the same.
        {"Z:" + c + "/stelmar/maps/London.inf", c + "/Stelmar/Maps/London.inf"},
        {c + "\\STELMAR\\Maps\\London.inf", c + "/Stelmar/Maps/London.inf"},
    };
    for (const auto& cs : cases) {
        auto native = ToNativePath(cs.win);
        ASSERT_TRUE(native) << cs.win;
        EXPECT_EQ(Real(*native), Real(cs.native)) << cs.win;
    }
    // Drives without a folder and network paths have no native path.
    EXPECT_FALSE(ToNativePath("Q:\\Maps\\a.inf"));
    EXPECT_FALSE(DriveRoot('Q'));
    EXPECT_FALSE(ToNativePath("\\\\server\\share\\a.inf"));
    EXPECT_EQ(DriveRoot('Z'), std::string("/"));
    EXPECT_EQ(DriveLetterOf("c:\\x"), 'C');
    EXPECT_EQ(DriveLetterOf("/tmp"), 'Z');
    EXPECT_EQ(DriveLetterOf("\\\\server\\share"), 0);
}
