#include "platform/DirList.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

using namespace Platform;

namespace {
std::vector<std::string> All(const std::string& what) {
    DirListing l;
    std::vector<std::string> out;
    for (std::string n = l.First(what); !n.empty(); n = l.Next()) out.push_back(n);
    EXPECT_EQ(l.Next(), ""); // stays ended
    return out;
}
} // namespace

TEST(DirListing, ListsPlainFilesSortedWithoutRegardToCase) {
    TempHost host;
    for (const char* n : {"b.inf", "A.INF", "mapinf", "c.Inf", "notes.txt", ".hidden.inf"})
        TempHost::Write(host.OnC("Maps/") + n, "x");
    TempHost::Hide(host.OnC("Maps/.hidden.inf"));
    TempHost::MakeFolder(host.OnC("Maps/folder.inf"));
    using V = std::vector<std::string>;
    struct Case {
        std::string what;
        V names;
    } cases[] = {
        {TEST_DRIVE "\\Maps", {"A.INF", "b.inf", "c.Inf", "mapinf", "notes.txt"}},
        {TEST_DRIVE "\\maps\\", {"A.INF", "b.inf", "c.Inf", "mapinf", "notes.txt"}},
        {TEST_DRIVE "\\Maps\\*.inf", {"A.INF", "b.inf", "c.Inf"}},
        {TEST_DRIVE "\\MAPS\\?.INF", {"A.INF", "b.inf", "c.Inf"}},
        {TEST_DRIVE "\\Maps\\*inf", {"A.INF", "b.inf", "c.Inf", "mapinf"}},
        {TEST_DRIVE "\\Maps\\NOTES.TXT", {"notes.txt"}},
        {TEST_DRIVE "\\Maps\\*.bmp", {}},
        {TEST_DRIVE "\\Missing\\*.inf", {}},
        {TEST_DRIVE "\\Missing", {}},
        {"Q:\\Maps", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(All(c.what), c.names) << c.what;
}

TEST(DirListing, AStartedListingIsNotDisturbedByReadingItsFiles) {
    TempHost host;
    for (int i = 0; i < 50; ++i) TempHost::Write(host.OnC("M/f" + std::to_string(100 + i)), "x");
    DirListing l;
    int n = 0;
    for (std::string name = l.First(TEST_DRIVE "\\M"); !name.empty(); name = l.Next()) {
        DirListing inner; // another listing meanwhile
        EXPECT_EQ(inner.First(TEST_DRIVE "\\M\\" + name), name);
        ++n;
    }
    EXPECT_EQ(n, 50);
}
