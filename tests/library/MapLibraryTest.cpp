// The library model over a held Maps folder: what it says of each definition, and how it
// follows a file that changes.
#include "library/MapLibrary.h"
#include "support/TempHost.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

using Library::State;

namespace {

struct Want {
    const char* name;
    State state;
    const char* says;                            // in the reason ("" when the state is ok)
    std::optional<std::array<float, 4>> corners; // north, west, south, east in degrees
    const char* picture; // native file name of the picture named, or nullptr
    int width = 0, height = 0;
};

class MapLibraryTest : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& bytes) {
        TempHost::Write(maps + "/" + name, bytes);
    }
    TempHost host;
    // As the user knows the folder: the drive's own, not its link.
    std::string maps = std::filesystem::canonical(host.MakeHost()).string();
    Library::MapLibrary library;
};

} // namespace

TEST_F(MapLibraryTest, AHeldLibrarySaysWhatEachDefinitionIs) {
    Write("london.bmp", TempHost::Bmp(40, 30));
    Write("junk.jpg", "not a picture");
    Write("cut.bmp", TempHost::Bmp(300, 200).substr(0, 1000));
    Write("london.inf", "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.bmp\r\n");
    Write("Plain.INF", ";a comment\r\n 001.30.00w , 51.30.00n \r\n51N,1E\r\nLONDON\r\n");
    Write("mapinf", "1N,1E\r\n0N,2E\r\nnowhere\r\n");
    Write("two.inf", "1N,1E\r\n0N,2E\r\n");
    Write("blank.inf", "1N,1E\r\n0N,2E\r\n\r\n");
    Write("atlantis.inf", "1N,1E\r\n0N,2E\r\natlantis.jpg\r\n");
    Write("junk.inf", "1N,1E\r\n0N,2E\r\njunk.jpg\r\n");
    Write("junk2.inf", "1N,1E\r\n0N,2E\r\njunk.jpg\r\n"); // a picture named twice
    Write("london2.inf", "1N,1E\r\n0N,2E\r\nlondon.bmp\r\n");
    Write("cut.inf", "1N,1E\r\n0N,2E\r\ncut.bmp\r\n");
    Write("nocomma.inf", "51.30.00N 001.30.00W\r\n51N,1E\r\nlondon.bmp\r\n");
    Write("badcoord.inf", "1N,1E\r\n,2E\r\nlondon.bmp\r\n");
    Write("empty.inf", "");
    std::string endless;
    while (endless.size() <= MapCode::kMaxDefinitionBytes) endless += ";no end\r\n";
    Write("endless.inf", endless);
    Write(".hidden.inf", "1N,1E\r\n0N,2E\r\nlondon.bmp\r\n");
    Write("notes.txt", "1N,1E\r\n0N,2E\r\nlondon.bmp\r\n");
    TempHost::MakeFolder(maps + "/folder.inf");
    ASSERT_EQ(mkfifo((maps + "/pipe.inf").c_str(), 0644), 0);

    const std::array<float, 4> unit{1, 1, 0, 2};
    const Want want[] = {
        {"atlantis.inf", State::PictureMissing, "atlantis.jpg", unit, "atlantis.jpg"},
        {"badcoord.inf", State::CornersUnreadable, "bottom-right corner \",2E\"", {}, nullptr},
        {"blank.inf", State::NoPicture, "names no picture", unit, nullptr},
        {"cut.inf", State::PictureUnreadable, "incomplete", unit, "cut.bmp"},
        {"empty.inf", State::CornersUnreadable, "no corners", {}, nullptr},
        {"endless.inf", State::Unreadable, "File too long", {}, nullptr},
        {"junk.inf", State::PictureUnreadable, "not a picture", unit, "junk.jpg"},
        {"junk2.inf", State::PictureUnreadable, "not a picture", unit, "junk.jpg"},
        {"london.inf", State::Ok, "", std::array<float, 4>{51.5, -1.5, 51, -0.5}, "london.bmp", 40,
         30},
        {"london2.inf", State::Ok, "", unit, "london.bmp", 40, 30},
        {"mapinf", State::PictureMissing, "none of nowhere.gif", unit, "nowhere"},
        {"nocomma.inf", State::CornersUnreadable, "top-left corner", {}, nullptr},
        // Written longitude first, in lower case with spaces: read as the tree reads it.
        {"Plain.INF", State::Ok, "", std::array<float, 4>{51.5, -1.5, 51, 1}, "london.bmp", 40, 30},
        {"two.inf", State::NoPicture, "names no picture", unit, nullptr},
    };
    library.Load(TEST_DRIVE "\\Stelmar\\Maps");
    EXPECT_EQ(library.Error(), "");
    const auto& entries = library.Entries();
    ASSERT_EQ(entries.size(), std::size(want));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Library::Entry& e = entries[i];
        const Want& w = want[i];
        SCOPED_TRACE(w.name);
        EXPECT_EQ(e.name, w.name);
        EXPECT_EQ(e.nativePath, maps + "/" + w.name);
        EXPECT_EQ(e.state, w.state) << e.reason;
        EXPECT_NE(e.reason.find(w.says), std::string::npos) << e.reason;
        EXPECT_EQ(e.reason.empty(), w.state == State::Ok);
        ASSERT_EQ(e.HasCorners(), w.corners.has_value());
        const auto& d = e.definition; // minutes, exact for these corners
        if (w.corners) {
            EXPECT_EQ((std::array{d.topLeftLatitude / 60, d.topLeftLongitude / 60,
                                  d.bottomRightLatitude / 60, d.bottomRightLongitude / 60}),
                      *w.corners);
        }
        EXPECT_EQ(e.pictureNative, w.picture ? maps + "/" + w.picture : "");
        EXPECT_EQ(e.width, w.width);
        EXPECT_EQ(e.height, w.height);
        EXPECT_EQ(e.Georeference().has_value(), w.width > 0);
    }

    // Read for the definitions alone, as the tree is filled: no picture is opened until an entry
    // is asked for probed, and then the entry is the one read whole.
    Library::MapLibrary shallow;
    shallow.Load(TEST_DRIVE "\\Stelmar\\Maps", {}, Library::Depth::Definitions);
    ASSERT_EQ(shallow.Entries().size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Library::Entry& e = shallow.Entries()[i];
        SCOPED_TRACE(e.name);
        const bool named = want[i].picture && e.NamesPicture();
        EXPECT_EQ(e.probed, !named);
        EXPECT_EQ(e.state, named ? State::Ok : want[i].state);
        EXPECT_EQ(e.width, 0);
        EXPECT_EQ(shallow.Probed(int(i)), entries[i]);
    }
    // Read ahead on a thread of its own, as the program's start does: the load takes the same.
    Library::Prefetch(TEST_DRIVE "\\Stelmar\\Maps", Library::Depth::Pictures);
    Library::MapLibrary ahead;
    ahead.Load(TEST_DRIVE "\\Stelmar\\Maps");
    EXPECT_EQ(ahead.Entries(), entries);
}

TEST_F(MapLibraryTest, AChangedFileChangesItsEntryAlone) {
    Write("map.bmp", TempHost::Bmp(8, 8));
    Write("b.inf", "1N,1E\r\n0N,2E\r\nmap.bmp\r\n");
    Write("d.inf", "1N,1E\r\n0N,2E\r\nmap.bmp\r\n");
    library.Load(TEST_DRIVE "\\Stelmar\\Maps");
    std::vector<std::string> said;
    auto name = [&](int i) { return library.Entries()[std::size_t(i)].name; };
    QObject::connect(&library, &Library::MapLibrary::Added,
                     [&](int i) { said.push_back("added " + name(i)); });
    QObject::connect(&library, &Library::MapLibrary::Changed,
                     [&](int i) { said.push_back("changed " + name(i)); });
    QObject::connect(&library, &Library::MapLibrary::Removed, [&](int i, const std::string& n) {
        said.push_back("removed " + std::to_string(i) + " " + n);
    });
    QObject::connect(&library, &Library::MapLibrary::Read,
                     [&](int i) { said.push_back("read " + name(i)); });
    QObject::connect(&library, &Library::MapLibrary::Reset, [&] { said.push_back("reset"); });

    Write("C.inf", "1N,1E\r\n0N,2E\r\nmap.bmp\r\n");
    EXPECT_EQ(library.Update("C.inf"), 1); // between b and d, without regard to case
    Write("b.inf", "2N,1E\r\n0N,2E\r\nmap.bmp\r\n");
    EXPECT_EQ(library.Update("b.inf"), 0);
    EXPECT_EQ(library.Update("b.inf"), 0); // read again unchanged: nothing said
    std::filesystem::rename(maps + "/d.inf", maps + "/a.inf");
    library.Update("d.inf");
    library.Update("a.inf");
    Write("map.bmp", TempHost::Bmp(16, 8)); // a picture changes no definition by itself
    Write("notes.txt", "");
    EXPECT_EQ(library.Update("notes.txt"), -1);
    EXPECT_EQ(library.Reread("b.inf"), 1); // a click reads it again: its picture is larger now
    EXPECT_EQ(library.Entries()[1].width, 16);
    EXPECT_EQ(library.Reread("b.inf"), 1); // and again, as it was: said all the same
    EXPECT_EQ(library.Reread("nothere.inf"), -1);
    EXPECT_EQ(said, (std::vector<std::string>{"added C.inf", "changed b.inf", "removed 2 d.inf",
                                              "added a.inf", "changed b.inf", "read b.inf"}));
    EXPECT_FLOAT_EQ(library.Entries()[1].definition.topLeftLatitude, 120);
    EXPECT_EQ(library.IndexOf("a.inf"), 0);
    EXPECT_EQ(library.IndexOf("A.inf"), -1);
}

// Entries read for their definitions alone are read again as deep: a file rewritten unchanged
// is no change, and a click reads its picture.
TEST_F(MapLibraryTest, AnEntryReadShallowStaysShallowUntilShown) {
    Write("map.bmp", TempHost::Bmp(8, 4));
    Write("b.inf", "1N,1E\r\n0N,2E\r\nmap.bmp\r\n");
    library.Load(TEST_DRIVE "\\Stelmar\\Maps", {}, Library::Depth::Definitions);
    std::vector<std::string> said;
    QObject::connect(&library, &Library::MapLibrary::Changed,
                     [&](int) { said.push_back("changed"); });
    QObject::connect(&library, &Library::MapLibrary::Read, [&](int) { said.push_back("read"); });
    Write("c.inf", "1N,1E\r\n0N,2E\r\nmap.bmp\r\n");
    EXPECT_EQ(library.Update("b.inf"), 0);
    EXPECT_EQ(library.Update("c.inf"), 1);
    EXPECT_FALSE(library.Entries()[0].probed);
    EXPECT_FALSE(library.Entries()[1].probed); // added as the others were read
    EXPECT_EQ(library.Reread("b.inf"), 0);
    EXPECT_EQ(library.Entries()[0].width, 8);
    EXPECT_EQ(library.Update("b.inf"), 0); // read as deep as it now is: unchanged
    EXPECT_EQ(said, (std::vector<std::string>{"read"}));
}

// A Latin-1 "caf\xE9.inf" goes by an alias while a UTF-8 "café.inf" is there, and by that name
// once it has gone: the entry is named anew, and the folder is not read again.
TEST_F(MapLibraryTest, AnEntryNamedAnewWhenTheNameItsAliasAvoidedGoes) {
    Write("map.bmp", TempHost::Bmp(8, 8));
    Write("caf\xC3\xA9.inf", "1N,1E\r\n0N,2E\r\nmap.bmp\r\n");
    Write("caf\xE9.inf", "3N,1E\r\n0N,2E\r\nmap.bmp\r\n");
    library.Load(TEST_DRIVE "\\Stelmar\\Maps");
    ASSERT_EQ(library.Entries().size(), 2u);
    EXPECT_EQ(library.Entries()[0].native, "caf\xC3\xA9.inf"); // the Latin-1 one's alias after it
    std::vector<std::string> said;
    QObject::connect(&library, &Library::MapLibrary::Added, [&](int i) {
        said.push_back("added " + library.Entries()[std::size_t(i)].name);
    });
    QObject::connect(&library, &Library::MapLibrary::Removed, [&](int i, const std::string&) {
        said.push_back("removed " + std::to_string(i));
    });
    QObject::connect(&library, &Library::MapLibrary::Reset, [&] { said.push_back("reset"); });
    std::filesystem::remove(maps + "/caf\xC3\xA9.inf");
    EXPECT_EQ(library.Update("caf\xC3\xA9.inf"), -1);
    EXPECT_EQ(said, (std::vector<std::string>{"removed 1", "removed 0", "added caf\xE9.inf"}));
    ASSERT_EQ(library.Entries().size(), 1u);
    EXPECT_FLOAT_EQ(library.Entries()[0].definition.topLeftLatitude, 180);
    EXPECT_EQ(library.Update("caf\xE9.inf"), 0); // as it is now: nothing more to say
    EXPECT_EQ(said.size(), 3u);
}
