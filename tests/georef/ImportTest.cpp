#include "georef/Georef.h"
#include "georef/Rasters.h"
#include "mapdef/MapCode.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;
using Georef::Datum;

namespace {

constexpr int kW = 160, kH = 120;
const std::vector<std::array<int, 2>> kDots = {{8, 8},   {55, 8},   {104, 8},   {151, 8},
                                               {8, 60},  {55, 60},  {104, 60},  {151, 60},
                                               {8, 111}, {55, 111}, {104, 111}, {151, 111}};

// Everything in a folder, hidden names too.
std::set<std::string> Contents(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename());
    return names;
}

std::string Dms(double degrees, char positive, char negative) {
    const double v = std::fabs(degrees);
    char text[64];
    std::snprintf(text, sizeof text, "%d,%.6f,%c", int(v), (v - int(v)) * 60,
                  degrees < 0 ? negative : positive);
    return text;
}

// An OziExplorer calibration of a picture by four points (pixel, then latitude and longitude).
std::string OziMap(const std::string& image, const std::array<std::array<double, 4>, 4>& points) {
    std::string map =
        "OziExplorer Map Data File Version 2.2\r\nTest\r\n" + image +
        "\r\n1 ,Map Code,\r\nWGS 84,WGS 84,   0.0000,   0.0000,WGS 84\r\n"
        "Reserved 1\r\nReserved 2\r\nMagnetic Variation,,,E\r\n"
        "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n";
    for (int i = 0; i < 4; ++i) {
        const auto& p = points[std::size_t(i)];
        char head[64];
        std::snprintf(head, sizeof head, "Point%02d,xy,%d,%d,in, deg,", i + 1, int(p[0]),
                      int(p[1]));
        map += head + Dms(p[2], 'N', 'S') + "," + Dms(p[3], 'E', 'W') + ", grid, , , ,N\r\n";
    }
    return map + "Projection Setup,,,,,,,,,,\r\nIWH,Map Image Width/Height," + std::to_string(kW) +
           "," + std::to_string(kH) + "\r\n";
}

// Metres along the ground between two points in degrees (a sphere is close enough for a ratio).
double Metres(double lon1, double lat1, double lon2, double lat2) {
    const double r = 6371000 * M_PI / 180, phi = (lat1 + lat2) / 2 * M_PI / 180;
    return std::hypot((lon2 - lon1) * r * std::cos(phi), (lat2 - lat1) * r);
}

} // namespace

// Four georeferenced forms, each made with GDAL and imported; every dot of the source must lie
// in the imported picture, placed by the written corners, within half a pixel of where
// gdaltransform (GDAL and PROJ) puts it.
TEST(Import, PlacesEveryPixelWhereGdalAndProjPutIt) {
    TempHost host;
    host.MakeHost();
    const std::string in = host.Root() + "/in", maps = host.OnC("Stelmar/Maps");
    TempHost::MakeFolder(in);
    const auto grey = Rasters::Dots(kW, kH, kDots);

    // A National Grid GeoTIFF, 25 m pixels.
    const double grid[] = {529000, 25, 0, 182000, 0, -25};
    Rasters::Write("GTiff", in + "/grid.tif", kW, kH, 1, grey, grid, 27700);
    // A GeoTIFF in latitude and longitude on OSGB 1936, its pixels taller than wide on the
    // ground and its corners off the hundredths of a minute.
    const double degrees[] = {-1.2345678, 0.00031, 0, 52.3456789, 0, -0.00023};
    Rasters::Write("GTiff", in + "/latlon.tif", kW, kH, 1, grey, degrees, 4277);
    // A JPEG with a world file and an Esri .prj in UTM zone 30, 30 m pixels.
    Rasters::Write("JPEG", in + "/utm.jpg", kW, kH, 1, grey, nullptr, 0);
    TempHost::Write(in + "/utm.jgw", "30\n0\n0\n-30\n699015\n5709985\n");
    TempHost::Write(in + "/utm.prj", Rasters::Prj(32630, "FORMAT=WKT1_ESRI"));
    // An OziExplorer .map calibrating a picture turned by about 5 degrees, in WGS 84.
    Rasters::Write("PNG", in + "/ozi.png", kW, kH, 1, grey, nullptr, 0);
    std::array<std::array<double, 4>, 4> points{};
    const double pixel[][2] = {{0, 0}, {kW, 0}, {kW, kH}, {0, kH}};
    for (int i = 0; i < 4; ++i) {
        const double x = pixel[i][0], y = pixel[i][1], turn = 5 * M_PI / 180;
        points[std::size_t(i)] = {x, y, 52.2 - (x * std::sin(turn) + y * std::cos(turn)) * 0.0002,
                                  -1.3 + (x * std::cos(turn) - y * std::sin(turn)) * 0.0003};
    }
    TempHost::Write(in + "/ozi.map", OziMap("ozi.png", points));
    // A KML ground overlay of a colour picture (WGS 84, as KML always is).
    Rasters::Write("PNG", in + "/overlay.png", kW, kH, 3, grey, nullptr, 0);
    TempHost::Write(in + "/overlay.kml",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><GroundOverlay><name>o</name>"
                    "<Icon><href>overlay.png</href></Icon><LatLonBox><north>51.62</north>"
                    "<south>51.60</south><east>-0.10</east><west>-0.14</west></LatLonBox>"
                    "</GroundOverlay></kml>\n");

    const struct Case {
        const char* file;
        bool prj; // GDAL does not read a .prj beside a JPEG: gdaltransform is given it
        Datum datum;
    } cases[] = {
        {"grid.tif", false, Datum::OSGB36},    {"latlon.tif", false, Datum::OSGB36},
        {"utm.jpg", true, Datum::OSGB36},      {"ozi.map", false, Datum::WGS84},
        {"overlay.kml", false, Datum::OSGB36},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Georef::ImportRequest request;
        request.source = in + "/" + c.file;
        request.mapsFolder = maps;
        request.datum = c.datum;
        double last = -1;
        request.progress = [&last](double done) {
            EXPECT_GE(done, last);
            last = done;
            return true;
        };
        const auto result = Georef::Import(request);
        EXPECT_EQ(last, 1.0);
        const std::string stem = fs::path(c.file).stem();
        EXPECT_EQ(result.name, stem + ".inf");
        EXPECT_EQ(result.datum, c.datum);

        // The corners as the program reads them back, and the picture as GDAL reads it.
        float west = 0, north = 0, east = 0, south = 0;
        std::string image, tl, br;
        ASSERT_TRUE(MapCode::ReadMapDefinition(TEST_DRIVE "\\Stelmar\\Maps\\",
                                               TEST_DRIVE "\\Stelmar\\Maps\\" + stem + ".inf", west,
                                               north, east, south, image, tl, br));
        EXPECT_EQ(image, stem + ".jpg");
        int w = 0, h = 0;
        const auto out = Rasters::Read(maps + "/" + stem + ".jpg", w, h);
        ASSERT_EQ(w, result.georeference.Width());
        ASSERT_EQ(h, result.georeference.Height());
        // Corners on whole hundredths of a minute.
        for (float corner : {west, north, east, south})
            EXPECT_NEAR(corner * 100, std::round(corner * 100), 0.02) << corner;

        std::vector<std::array<double, 2>> sourcePoints;
        for (const auto& d : kDots) sourcePoints.push_back({d[0] + 0.5, d[1] + 0.5});
        // The source's centre pixel's sides, for its ground resolution.
        sourcePoints.insert(sourcePoints.end(), {{kW / 2.0 - 0.5, kH / 2.0},
                                                 {kW / 2.0 + 0.5, kH / 2.0},
                                                 {kW / 2.0, kH / 2.0 - 0.5},
                                                 {kW / 2.0, kH / 2.0 + 0.5}});
        const std::string epsg = c.datum == Datum::WGS84 ? "EPSG:4326" : "EPSG:4277";
        const auto ll =
            Rasters::Gdaltransform((c.prj ? "-s_srs '" + in + "/utm.prj'" : std::string()) +
                                       " -t_srs " + epsg + " '" + request.source + "'",
                                   sourcePoints, host.Root() + "/points");
        const double lonStep = (east - west) / 60.0 / w, latStep = (north - south) / 60.0 / h;

        double worst = 0;
        for (std::size_t i = 0; i < kDots.size(); ++i) {
            const double ex = (ll[i][0] - west / 60.0) / lonStep;
            const double ey = (north / 60.0 - ll[i][1]) / latStep;
            double sum = 0, sx = 0, sy = 0;
            for (int y = int(ey) - 4; y <= int(ey) + 4; ++y)
                for (int x = int(ex) - 4; x <= int(ex) + 4; ++x) {
                    if (x < 0 || y < 0 || x >= w || y >= h) continue;
                    const double weight = std::max(0, 170 - int(out[std::size_t(y * w + x)]));
                    sum += weight, sx += weight * (x + 0.5), sy += weight * (y + 0.5);
                }
            ASSERT_GT(sum, 500) << "no dot near " << ex << ", " << ey;
            worst = std::max({worst, std::fabs(sx / sum - ex), std::fabs(sy / sum - ey)});
        }
        EXPECT_LT(worst, 0.5);
        std::printf("[ accuracy ] %s: worst dot %.3f px\n", c.file, worst);

        // Each axis keeps the ground size of the source's centre pixel along it; a source in
        // latitude and longitude keeps its degrees a pixel.
        const std::size_t m = kDots.size();
        const double mid = (north + south) / 120.0;
        EXPECT_NEAR(Metres(0, mid, lonStep, mid) /
                        Metres(ll[m][0], ll[m][1], ll[m + 1][0], ll[m + 1][1]),
                    1, 0.02);
        EXPECT_NEAR(Metres(0, mid, 0, mid + latStep) /
                        Metres(ll[m + 2][0], ll[m + 2][1], ll[m + 3][0], ll[m + 3][1]),
                    1, 0.02);
        if (c.file == std::string("latlon.tif")) {
            EXPECT_NEAR(lonStep / degrees[1], 1, 0.005);
            EXPECT_NEAR(latStep / -degrees[5], 1, 0.005);
        }
    }
    // Outside the turned picture, white.
    int w = 0, h = 0;
    EXPECT_GT(Rasters::Read(maps + "/ozi.jpg", w, h)[0], 250);
}

TEST(Import, RefusesWithTheReasonAndLeavesNothingBehind) {
    TempHost host;
    host.MakeHost();
    const std::string in = host.Root() + "/in", maps = host.OnC("Stelmar/Maps");
    TempHost::MakeFolder(in);
    const auto grey = Rasters::Dots(40, 30, {});
    const double grid[] = {529000, 25, 0, 182000, 0, -25};
    Rasters::Write("PNG", in + "/plain.png", 40, 30, 1, grey, nullptr, 0);
    Rasters::Write("GTiff", in + "/nosystem.tif", 40, 30, 1, grey, grid, 0);
    Rasters::Write("GTiff", in + "/grid.tif", 40, 30, 1, grey, grid, 27700);
    Rasters::Write("JPEG", in + "/badprj.jpg", 40, 30, 1, grey, nullptr, 0);
    TempHost::Write(in + "/badprj.jgw", "25\n0\n0\n-25\n529000\n182000\n");
    TempHost::Write(in + "/badprj.prj", "PROJCS[\"nothing\"");
    TempHost::Write(in + "/notes.txt", "not a picture\n");
    TempHost::Write(maps + "/Taken.INF", "51.00.00N,001.00.00W\n50.00.00N,000.00.00E\nx.jpg\n");
    Rasters::Write("GTiff", in + "/taken.tif", 40, 30, 1, grey, grid, 27700);

    const struct Case {
        const char* file;
        Georef::Error::Kind kind;
        const char* says;
        bool cancel = false;
    } cases[] = {
        {"plain.png", Georef::Error::Kind::Refused, "no georeference"},
        {"notes.txt", Georef::Error::Kind::Refused, "not recognized as a supported file format"},
        {"missing.tif", Georef::Error::Kind::Refused, "No such file"},
        {"nosystem.tif", Georef::Error::Kind::Refused, "no coordinate system"},
        {"badprj.jpg", Georef::Error::Kind::Refused, "badprj.prj cannot be read"},
        {"taken.tif", Georef::Error::Kind::Exists, "Taken.INF"},
        {"grid.tif", Georef::Error::Kind::Cancelled, "cancelled", true},
    };
    const auto before = Contents(maps);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Georef::ImportRequest request;
        request.source = in + "/" + c.file;
        request.mapsFolder = maps;
        if (c.cancel) request.progress = [](double done) { return done < 0.3; };
        try {
            Georef::Import(request);
            ADD_FAILURE() << "imported";
        } catch (const Georef::Error& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_NE(std::string(e.what()).find(request.source), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_EQ(Contents(maps), before);
    }

    // Asked to, an import replaces the map of its name (under the name the folder has).
    Georef::ImportRequest request;
    request.source = in + "/taken.tif";
    request.mapsFolder = maps;
    request.replace = true;
    EXPECT_EQ(Georef::Import(request).definition, maps + "/Taken.INF");
    EXPECT_EQ(Contents(maps), (std::set<std::string>{"Taken.INF", "taken.jpg"}));
    // A picture of the Maps folder would be replaced by its own import.
    request.source = maps + "/taken.jpg";
    EXPECT_THROW(Georef::Import(request), Georef::Error);
}

TEST(Import, TheLibrarysDatumIsASettingOfVarnet) {
    TempHost host;
    const struct {
        const char* value;
        Datum datum;
        bool warns;
    } cases[] = {{nullptr, Datum::OSGB36, false},
                 {"OSGB36", Datum::OSGB36, false},
                 {"wgs84", Datum::WGS84, false},
                 {"ED50", Datum::OSGB36, true}};
    for (const auto& c : cases) {
        host.WriteSettings("Varnet", c.value ? std::string("[Settings]\nDatum=") + c.value + "\n"
                                             : std::string("[Settings]\n"));
        std::string warning;
        EXPECT_EQ(Georef::LibraryDatum(&warning), c.datum) << (c.value ? c.value : "absent");
        EXPECT_EQ(!warning.empty(), c.warns) << warning;
    }
}
