#include "mapdef/MapCode.h"
#include "platform/Text.h"
#include "support/Errors.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

using namespace MapCode;

namespace {
struct Corners {
    std::string tlLat, tlLon, brLat, brLon;
    bool operator==(const Corners&) const = default;
};
void PrintTo(const Corners& c, std::ostream* os) {
    *os << c.tlLat << "," << c.tlLon << " " << c.brLat << "," << c.brLon;
}
// The corners a world file beside C:\Maps\<image> gives an image of w x h pixels.
Corners Import(const std::string& image, int w, int h) {
    const std::string path = TEST_DRIVE "\\Maps\\" + image;
    const std::string world = FindWorldFile(path);
    const WorldFile wf = ReadWorldFile(world);
    Corners c;
    WorldFileCorners(wf, UnitsOf(wf, world), w, h, world, c.tlLat, c.tlLon, c.brLat, c.brLon);
    return c;
}
} // namespace

TEST(WorldFiles, PlaceThePictureByItsOuterCorners) {
    TempHost host;
    struct Case {
        const char *what, *image, *world, *text;
        int w, h;
        const char* corners; // as "top-left latitude,longitude bottom-right latitude,longitude"
    } cases[] = {
        // A degree a pixel width of 1/60: corners half a pixel beyond the centres.
        {"degrees", "a.jpg", "a.JGW",
         "0.0166666666666667\n0\n0\n-0.0166666666666667\n-1.99166666666667\n51.9916666666667\n",
         120, 60, "52.00.00N,002.00.00W 51.00.00N,000.00.00E"},
        {"exponents, blank lines, tabs", "b.gif", "b.wld",
         "1.0E-2\n\n0\r\n0\n\t-1e-2\n10.005\n9.995\n", 100, 100,
         "10.00.00N,010.00.00E 09.00.00N,011.00.00E"},
        // National Grid metres, 100 m pixels from 529000 E 180100 N; the corners are PROJ's
        // (cs2cs, OSGB36).
        {"grid by magnitude", "c.bmp", "c.bpw", "100\n0\n0\n-100\n529050\n180050\n", 10, 10,
         "51.30.28N,000.08.47W 51.29.72N,000.07.62W"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempHost::Write(host.OnC("Maps/") + c.image, "x");
        TempHost::Write(host.OnC("Maps/") + c.world, c.text);
        EXPECT_EQ(::testing::PrintToString(Import(c.image, c.w, c.h)), c.corners);
    }
    EXPECT_EQ(FindWorldFile(TEST_DRIVE "\\Maps\\none.jpg"), "");
}

TEST(WorldFiles, RefuseWhatTheyCannotPlaceAndSayWhy) {
    TempHost host;
    struct Case {
        const char *text, *says, *also = nullptr;
    } cases[] = {
        {"1\n0.5\n0\n-1\n0\n0\n", "turns the picture", "Tools > Import Map..."},
        {"-0.1\n0\n0\n-0.1\n1\n1\n", "mirrors the picture", "Tools > Import Map..."},
        {"0.1\n0\n0\n0.1\n1\n1\n", "mirrors the picture", "Tools > Import Map..."},
        {"0\n0\n0\n-1\n0\n0\n", "pixel size of 0"},
        {"1e-320\n0\n0\n-1e-320\n1\n1\n", "corners coincide"},
        {"1e-9\n0\n0\n-1\n1\n1\n", "corners coincide", "longitude"},
        {"1\n0\n0\n-1\n5\n", "holds 5 of its six numbers"},
        {"1\n0\n0\n-1\n5\nx\n", "holds \"x\" where a number belongs"},
        {"\xEF\xBB\xBF"
         "1\n0\n0\n-1\n5\n",
         "holds 5 of its six numbers"},
        {"1\n0\n0\n-1\n-5000\n-5000\n", "neither degrees nor British National Grid"},
        {"1\n0\n0\n-1\n1e307\n0\n", "at 1e+307, 0,"},
        // Corners beyond the Earth, or too far from the grid for a latitude: which, and why.
        {"1\n0\n0\n-1\n179.5\n0\n", "bottom-right corner", "180 degrees east"},
        {"1\n0\n0\n-1\n0\n89.9\n", "top-left corner", "north pole"},
        {"1\n0\n0\n-20\n0\n-75\n", "bottom-right corner", "south pole"},
        {"1e300\n0\n0\n-100\n529050\n180050\n", "top-left corner", "National Grid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TempHost::Write(host.OnC("Maps/m.jpg"), "x");
        TempHost::Write(host.OnC("Maps/m.jgw"), c.text);
        std::string why;
        EXPECT_EQ(ErrorOf([] { Import("m.jpg", 10, 10); }, &why), ErrorKind::FileError);
        EXPECT_NE(why.find(TEST_DRIVE "\\Maps\\m.jgw"), std::string::npos) << why;
        for (const char* part : {c.says, c.also})
            EXPECT_TRUE(!part || why.find(part) != std::string::npos) << why;
        EXPECT_TRUE(Platform::IsValidUtf8(why) && why.find('\0') == std::string::npos) << why;
    }
}

TEST(WorldFiles, WhatVarnetWritesReadsBackToTheSameCorners) {
    TempHost host;
    const float corners[][4] = {{-90, 3090, -30, 3060},       // 51.30N 1.30W .. 51N 0.30W
                                {-10800, 5400, 10800, -5400}, // the world
                                {3712.57f, -2001.33f, 3790.01f, -2100.5f}};
    for (const char* image : {"p.jpg", "p.gif", "p.bmp", "p.png"}) {
        TempHost::Write(host.OnC("Maps/") + image, "x");
        for (const auto& c : corners) {
            const std::string path = WorldFileNameFor(std::string(TEST_DRIVE "\\Maps\\") + image);
            std::string text;
            for (const auto& line : WorldFileLines(Georeference(c[0], c[1], c[2], c[3], 1234, 987)))
                text += line + "\r\n";
            TempHost::Write(host.OnC("Maps/") + path.substr(8), text);
            Corners want;
            FormatPosition(c[1], c[0], want.tlLat, want.tlLon);
            FormatPosition(c[3], c[2], want.brLat, want.brLon);
            EXPECT_EQ(Import(image, 1234, 987), want) << path;
        }
    }
    EXPECT_EQ(WorldFileNameFor(TEST_DRIVE "\\Maps\\p.jpg"), TEST_DRIVE "\\Maps\\p.jgw");
    EXPECT_EQ(WorldFileNameFor(TEST_DRIVE "\\Maps\\p.bmp"), TEST_DRIVE "\\Maps\\p.bpw");
    EXPECT_EQ(WorldFileNameFor(TEST_DRIVE "\\Maps\\p.tif"), TEST_DRIVE "\\Maps\\p.wld");
}
