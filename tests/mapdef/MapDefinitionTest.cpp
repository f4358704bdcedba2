#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "support/Errors.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace MapCode;

namespace {
struct Read {
    bool ok = false;
    float tlLon = -1, tlLat = -1, brLon = -1, brLat = -1;
    std::string image = "untouched", tl = "untouched", br = "untouched";
    bool operator==(const Read&) const = default;
};
void PrintTo(const Read& r, std::ostream* os) {
    *os << r.ok << " " << r.tlLon << "," << r.tlLat << " " << r.brLon << "," << r.brLat << " '"
        << r.image << "' '" << r.tl << "' '" << r.br << "'";
}
Read ReadDef(const std::string& name, const std::string& folder = TEST_DRIVE "\\Maps\\") {
    Read r;
    r.ok = ReadMapDefinition(folder, TEST_DRIVE "\\Maps\\" + name, r.tlLon, r.tlLat, r.brLon,
                             r.brLat, r.image, r.tl, r.br);
    return r;
}
} // namespace

TEST(ReadMapDefinition, ReadsTheFormatAndItsVariants) {
    TempHost host;
    const std::string maps = host.OnC("Maps/");
    TempHost::Write(maps + "london.bmp", "x");
    TempHost::Write(maps + "london.jpg", "x");
    struct Case {
        std::string bytes;
        Read read;
    } cases[] = {
        {"51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.gif\r\n",
         {true, -90, 3090, -30, 3060, "london.gif", "51.30.00N,001.30.00W",
          "51.00.00N,000.30.00W"}},
        {";c1\r\n;c2\r\n51.30.00n , 001.30.00w\n001.30.00W,51.30.00N\rLondon\r\nignored,line\r\n",
         {true, -90, 3090, -90, 3090, "London.bmp", "51.30.00N,001.30.00W",
          "001.30.00W,51.30.00N"}},
        {"51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\n",
         {true, -90, 3090, -30, 3060, "untouched", "51.30.00N,001.30.00W", "51.00.00N,000.30.00W"}},
        {"\r\n51.30.00N,001.30.00W\r\n", {false, -1, -1, -1, -1, "untouched", "", "untouched"}},
        {"  ;x,y\r\n", {true, 0, 0, -1, -1, "untouched", ";X,Y", "untouched"}},
        {"51.30.00N 001.30.00W\r\n",
         {false, -1, -1, -1, -1, "untouched", "51.30.00N 001.30.00W", "untouched"}},
        {"51.30.00N,001.30.00W\r\n.30N,1W\r\nx.gif\r\n",
         {false, -90, 3090, -60, -1, "untouched", "51.30.00N,001.30.00W", ".30N,1W"}},
        {"1,1\r\n2,2\r\nnothere\r\n", {true, 0, 0, 0, 0, "", "1,1", "2,2"}},
        {"a,b\r\nc,d\r\nMy Map.PNG \r\n", {true, 0, 0, 0, 0, "My Map.PNG", "A,B", "C,D"}},
        {"a,b\r\nc,d\r\nname,with comma.gif\r\n",
         {true, 0, 0, 0, 0, "name,with comma.gif", "A,B", "C,D"}},
    };
    for (const auto& c : cases) {
        TempHost::Write(maps + "t.inf", c.bytes);
        EXPECT_EQ(ReadDef("t.inf"), c.read) << c.bytes;
    }
}

TEST(ReadMapDefinition, FailsWithoutHarmForFilesItCannotRead) {
    TempHost host;
    TempHost::MakeFolder(host.OnC("Maps/folder.inf"));
    // A huge file without line breaks is refused without reading it into memory.
    TempHost::Write(host.OnC("Maps/long.inf"),
                    "51.30.00N,0" + std::string(3 * Platform::kMaxLineLength, '0'));
    for (const char* name : {"missing.inf", "folder.inf", "long.inf"})
        EXPECT_EQ(ReadDef(name), Read{}) << name;
}

TEST(ImageNameRule, TriesGifBmpJpgInTurn) {
    TempHost host;
    TempHost::Write(host.OnC("Maps/a.bmp"), "x");
    TempHost::Write(host.OnC("Maps/a.jpg"), "x");
    TempHost::Write(host.OnC("Maps/b.jpg"), "x");
    TempHost::Write(host.OnC("Maps/C.GIF"), "x");
    struct Case {
        const char *name, *result;
    } cases[] = {{"a", "a.bmp"},
                 {"b", "b.jpg"},
                 {"c", "c.gif"},
                 {"d", ""},
                 {"d.png", "d.png"},
                 {"", ""},
                 {"london.png", "london.png"}};
    for (const char* folder : {TEST_DRIVE "\\Maps", TEST_DRIVE "\\Maps\\"})
        for (const auto& c : cases)
            EXPECT_EQ(CompleteImageName(folder, c.name), c.result) << c.name;
}

TEST(ImageNameRule, TheWriterWritesOnlyNamesTheReaderGivesBack) {
    TempHost host;
    struct Case {
        const char* name;
        bool reads;
    } cases[] = {{"a b.jpg", true},      {"\tx.jpg", true},    {"x;y.jpg", true},
                 {";semi.jpg", false},   {" lead.jpg", false}, {"trail.jpg ", false},
                 {"noextension", false}, {"", false},          {"a\rb.jpg", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempHost::Write(host.OnC("Maps/d.inf"), "old");
        const auto write = [&] {
            WriteMapDefinition(TEST_DRIVE "\\Maps\\d.inf", "1N", "1E", "0N", "2E", c.name);
        };
        EXPECT_EQ(ImageNameProblem(c.name).empty(), c.reads);
        if (c.reads) {
            write();
            EXPECT_EQ(ReadDef("d.inf").image, c.name);
        } else {
            EXPECT_EQ(ErrorOf(write), ErrorKind::InvalidArgument);
            EXPECT_EQ(TempHost::Read(host.OnC("Maps/d.inf")), "old");
        }
    }
}

TEST(EditorFormat, LoadsDataLinesAndKeepsCommentsInTheirPlaces) {
    TempHost host;
    using V = std::vector<std::string>;
    struct Case {
        const char* what;
        std::string file;
        V boxes;
        std::string saved; // after saving the boxes unchanged
    } cases[] = {
        {"what the writer writes loads back unchanged",
         "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.gif\r\n",
         {"51.30.00N", "001.30.00W", "51.00.00N", "000.30.00W", "london.gif"},
         "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.gif\r\n"},
        {"comments before and between the lines",
         ";made by hand\r\n;second\r\n51.30.00N,001.30.00W\r\n; after "
         "one\r\n51.00.00N,000.30.00W\r\n"
         "london.gif\r\n;trailing\r\n",
         {"51.30.00N", "001.30.00W", "51.00.00N", "000.30.00W", "london.gif"},
         ";made by hand\r\n;second\r\n51.30.00N,001.30.00W\r\n; after "
         "one\r\n51.00.00N,000.30.00W\r\n"
         "london.gif\r\n;trailing\r\n"},
        {"an image name holding a comma loads whole",
         "1N,1E\n0N,2E\nmy,map.gif\n",
         {"1N", "1E", "0N", "2E", "my,map.gif"},
         "1N,1E\r\n0N,2E\r\nmy,map.gif\r\n"},
        {"spaces and quotes around the halves go, the halves stay in their order",
         "  001.30.00W , \"51.30.00N\"\r\n51N,0W\r\n london \r\nfourth,line\r\n",
         {"001.30.00W", "51.30.00N", "51N", "0W", "london.gif"},
         "001.30.00W,51.30.00N\r\n51N,0W\r\nlondon.gif\r\n"},
        {"a corner without a comma",
         "51N 1W\r\n50N,0W\r\nlondon.gif\r\n",
         {"51N 1W", "", "50N", "0W", "london.gif"},
         "51N 1W,\r\n50N,0W\r\nlondon.gif\r\n"},
    };
    TempHost::Write(host.OnC("Maps/london.gif"), "x");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempHost::Write(host.OnC("Maps/d.inf"), c.file);
        V boxes;
        const auto comments =
            ReadEditorItems(TEST_DRIVE "\\Maps\\d.inf", TEST_DRIVE "\\Maps",
                            [&](int, const std::string& s) { boxes.push_back(s); });
        EXPECT_EQ(boxes, c.boxes);
        WriteMapDefinition(TEST_DRIVE "\\Maps\\d.inf", boxes[0], boxes[1], boxes[2], boxes[3],
                           boxes[4], comments);
        EXPECT_EQ(TempHost::Read(host.OnC("Maps/d.inf")), c.saved);
    }
}

TEST(EditorFormat, TooFewItemsAreAClearError) {
    TempHost host;
    TempHost::Write(host.OnC("Maps/short.inf"), "51.30.00N,001.30.00W\r\n");
    std::vector<std::string> items;
    std::string why;
    EXPECT_EQ(ErrorOf(
                  [&] {
                      ReadEditorItems(TEST_DRIVE "\\Maps\\short.inf", TEST_DRIVE "\\Maps",
                                      [&](int, const std::string& s) { items.push_back(s); });
                  },
                  &why),
              ErrorKind::InputPastEnd);
    EXPECT_NE(why.find("1 of its three lines"), std::string::npos);
    EXPECT_EQ(items.size(), 2u); // the items read before the error were handed on
    EXPECT_THROW(ReadEditorItems(TEST_DRIVE "\\Maps\\none.inf", TEST_DRIVE "\\Maps",
                                 [](int, const std::string&) {}),
                 CoreError);

    TempHost::Write(host.OnC("Maps/ro.inf"), "old\r\n");
    TempHost::MakeReadOnly(host.OnC("Maps/ro.inf"));
    EXPECT_THROW(WriteMapDefinition(TEST_DRIVE "\\Maps\\ro.inf", "1N", "1E", "0N", "2E", "x.gif"),
                 CoreError);
    EXPECT_EQ(TempHost::Read(host.OnC("Maps/ro.inf")), "old\r\n");
}
