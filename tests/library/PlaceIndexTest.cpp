// Which maps show a place, as the library changes under the index.
#include "library/PlaceIndex.h"
#include "support/TempHost.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

std::vector<std::string> Names(const Library::MapLibrary& library, const std::vector<int>& found) {
    std::vector<std::string> names;
    for (int i : found) names.push_back(library.Entries()[std::size_t(i)].name);
    return names;
}

} // namespace

TEST(PlaceIndex, FollowsTheLibraryEntryByEntry) {
    TempHost host;
    const std::string maps = host.MakeHost();
    auto write = [&](const std::string& name, const std::string& corners) {
        TempHost::Write(maps + "/" + name, corners + "\r\nmap.bmp\r\n");
    };
    TempHost::Write(maps + "/map.bmp", TempHost::Bmp(8, 8));
    write("europe.inf", "72N,25W\r\n34N,45E");
    write("kent.inf", "51.30N,0.20E\r\n51N,1.30E");
    // Corners given bottom-right first, and a map with none.
    write("Sussex.inf", "50.40N,0.40E\r\n51.10N,1W");
    TempHost::Write(maps + "/broken.inf", "no corners\r\n");
    Library::MapLibrary library;
    library.Load(TEST_DRIVE "\\Stelmar\\Maps");
    const Library::PlaceIndex index(library);
    EXPECT_EQ(index.Size(), 3u);
    // 51.05N 0.30E: in Kent and in Sussex, both on the earth's widest maps; Kent is smaller.
    auto at = [&] { return Names(library, index.Covering(51 * 60 + 5, 30)); };
    EXPECT_EQ(at(), (std::vector<std::string>{"kent.inf", "Sussex.inf", "europe.inf"}));

    write("a-kent.inf", "51.30N,0.20E\r\n51N,1.30E"); // as large as Kent: by name, before it
    library.Update("a-kent.inf");
    EXPECT_EQ(at(),
              (std::vector<std::string>{"a-kent.inf", "kent.inf", "Sussex.inf", "europe.inf"}));
    write("Sussex.inf", "50.40N,1W\r\n51N,0.40E"); // moved south of the place
    library.Update("Sussex.inf");
    std::filesystem::remove(maps + "/kent.inf");
    library.Update("kent.inf");
    write("broken.inf", "51.10N,0.25E\r\n51N,0.35E"); // mended: the smallest
    library.Update("broken.inf");
    EXPECT_EQ(at(), (std::vector<std::string>{"broken.inf", "a-kent.inf", "europe.inf"}));
    // On an edge is on the map; a hair beyond it is not.
    EXPECT_EQ(Names(library, index.Covering(34 * 60, -25 * 60)),
              std::vector<std::string>{"europe.inf"});
    EXPECT_TRUE(index.Covering(34 * 60 - 0.01f, 0).empty());
    library.Load(TEST_DRIVE "\\Stelmar\\Nowhere");
    EXPECT_TRUE(at().empty());
}
