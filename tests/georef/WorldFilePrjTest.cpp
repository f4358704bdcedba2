#include "georef/Georef.h"
#include "georef/Rasters.h"
#include "mapdef/MapCode.h"
#include "support/Errors.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

using Rasters::Prj;

// New Inf file and the editor's World File button: a .prj read through GDAL takes the library's
// latitude and longitude and the National Grid, in any WKT dialect, and sends the rest to Import.
TEST(WorldFilePrj, TakesTheLibrarysSystemsAndPointsTheRestToImport) {
    TempHost host;
    const std::string grid = "100\n0\n0\n-100\n529050\n180050\n";
    const std::string degrees = "0.01\n0\n0\n-0.01\n-0.995\n51.995\n";
    // The grid's corners from PROJ (cs2cs, OSGB36); in WGS 84 as gdaltransform shifts them.
    const std::array<std::string, 4> gridCorners{"51.30.28N", "000.08.47W", "51.29.72N",
                                                 "000.07.62W"};
    const auto shifted = Rasters::Gdaltransform(
        "-s_srs EPSG:4277 -t_srs EPSG:4326",
        {{-8.47 / 60, 51 + 30.28 / 60}, {-7.62 / 60, 51 + 29.72 / 60}}, host.Root() + "/points");
    std::array<std::string, 4> gridWgs84;
    MapCode::FormatPosition(float(shifted[0][1] * 60), float(shifted[0][0] * 60), gridWgs84[0],
                            gridWgs84[1]);
    MapCode::FormatPosition(float(shifted[1][1] * 60), float(shifted[1][0] * 60), gridWgs84[2],
                            gridWgs84[3]);
    using Georef::Datum;
    const std::array<std::string, 4> degreeCorners{"52.00.00N", "001.00.00W", "51.54.00N",
                                                   "000.54.00W"};
    const std::string cut = "PROJCS[\"British_National_Grid\",GEOGCS[";
    const struct Case {
        const char* what;
        std::string world, prj;
        Datum datum;
        std::array<std::string, 4> corners; // empty when refused, saying `says`
        const char* says = "Tools > Import Map";
    } cases[] = {
        {"grid, Esri", grid, Prj(27700, "FORMAT=WKT1_ESRI"), Datum::OSGB36, gridCorners},
        {"grid, WKT2", grid, Prj(27700, "FORMAT=WKT2_2018"), Datum::OSGB36, gridCorners},
        {"grid into WGS 84", grid, Prj(27700, "FORMAT=WKT1_GDAL"), Datum::WGS84, gridWgs84},
        {"OSGB 1936 degrees", degrees, Prj(4277, "FORMAT=WKT1_ESRI"), Datum::OSGB36, degreeCorners},
        // Degrees on WGS 84 while the library is on OSGB 1936.
        {"WGS 84 degrees", degrees, Prj(4326, "FORMAT=WKT1_ESRI"), Datum::OSGB36, {}},
        {"UTM", grid, Prj(32630, "FORMAT=WKT1_ESRI"), Datum::OSGB36, {}},
        {"Irish Grid", grid, Prj(29903, "FORMAT=WKT1_GDAL"), Datum::OSGB36, {}},
        {"not a system", grid, cut, Datum::OSGB36, {}, "m.prj cannot be read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempHost::Write(host.OnC("Maps/m.jpg"), "x");
        TempHost::Write(host.OnC("Maps/m.jgw"), c.world);
        TempHost::Write(host.OnC("Maps/m.prj"), c.prj);
        std::array<std::string, 4> corners;
        std::string why;
        const auto kind = ErrorOf(
            [&] {
                corners = MapCode::CornerTexts(
                    Georef::WorldFileCorners(TEST_DRIVE "\\Maps\\m.jpg", 10, 10, c.datum));
            },
            &why);
        if (c.corners[0].empty()) {
            EXPECT_EQ(kind, ErrorKind::FileError);
            EXPECT_NE(why.find(c.says), std::string::npos) << why;
            EXPECT_NE(why.find(TEST_DRIVE "\\Maps\\m.jgw"), std::string::npos) << why;
        } else {
            EXPECT_EQ(kind, std::nullopt) << why;
            EXPECT_EQ(corners, c.corners);
        }
    }
}
