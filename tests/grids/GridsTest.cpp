#include "grids/Grids.h"
#include "grids/References.h"
#include "mapdef/MapCode.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

using namespace Grids;
using References::Metres;

namespace {

constexpr Grid kLatLon{GridKind::LatLon, 0}, kBng{GridKind::Bng, 0}, kIrish{GridKind::Irish, 0},
    kItm{GridKind::Itm, 0}, kUtm{GridKind::Utm, 0}, kMgrs{GridKind::Mgrs, 0};

struct Where {
    const char* name;
    double latitude, longitude;
};
// Places across the grids, at their zones' and bands' edges, and where UTM stops.
const Where kPlaces[] = {
    {"London", 51.5071667, -0.1276667},
    {"Edinburgh", 55.9533, -3.1883},
    {"Shetland", 60.155, -1.145},
    {"Scilly", 49.92, -6.3},
    {"Dublin", 53.35, -6.26},
    {"Belfast", 54.597, -5.93},
    {"Galway", 53.27, -9.05},
    {"Cork", 51.9, -8.47},
    {"Sydney", -33.8568, 151.2153},
    {"Cape Horn", -55.98, -67.27},
    {"the equator", 0, 36.8},
    {"just south of it", -1e-7, 36.8},
    {"zone 31 to 6 E", 47, 5.9999999},
    {"zone 32 from 6 E", 47, 6},
    {"band T to 48 N", 47.9999999, 10},
    {"band U from 48 N", 48, 10},
    {"Norway's 32V from 3 E", 60, 3},
    {"31V west of 3 E", 60, 2.9999999},
    {"Bergen", 60.39, 5.32},
    {"Svalbard's 31X", 78.5, 8.9999999},
    {"33X from 9 E", 78.5, 9},
    {"Longyearbyen", 78.22, 15.65},
    {"35X", 80, 21},
    {"37X to 42 E", 79, 41.9999999},
    {"38X from 42 E", 79, 42},
    {"west of 180 E", 65, 179.9999999},
    {"at 180 W", -16.5, -180},
    {"80 S", -80, 10},
    {"just below 84 N", 83.9999999, 30},
};

int LibraryCode(Datum datum) {
    return datum == Datum::WGS84 ? 4326 : 4277;
}

// The EPSG system of a grid for a written place.
int SystemOf(Grid grid, const GridPoint& p) {
    switch (grid.kind) {
    case GridKind::Bng:
        return 27700;
    case GridKind::Irish:
        return 29903;
    case GridKind::Itm:
        return 2157;
    default:
        return (p.south ? 32700 : 32600) + p.zone;
    }
}

class GridsTest : public ::testing::Test {
protected:
    TempHost host;
    std::string scratch = host.Root() + "/points";
};

} // namespace

// Every grid's coordinates of every place it covers, on either datum, against cs2cs through the
// same EPSG systems; and the place each written text names (its square's south-west corner) read
// back, against cs2cs's inverse. To a millimetre; the core's National Grid routines, on OSGB
// 1936, to 5 mm. UTM on WGS 84 is GeoConvert's to check, and on OSGB 1936 is checked where that
// datum is at home, in the British Isles.
TEST_F(GridsTest, AgreeWithCs2csToAMillimetre) {
    for (const Datum datum : {Datum::OSGB36, Datum::WGS84}) {
        struct Written {
            const Where* place;
            Grids::Written written;
            Place read;
        };
        std::map<std::pair<int, bool>, std::vector<Written>> bySystem; // with the core's or not
        for (const Grid grid : {kBng, kIrish, kItm, kUtm}) {
            for (const Where& where : kPlaces) {
                const bool isles = where.latitude > 49 && where.latitude < 61 &&
                                   where.longitude > -11 && where.longitude < 2;
                if (grid == kUtm && (datum == Datum::WGS84 || !isles)) continue;
                const auto w = WritePlace(where.latitude, where.longitude, grid, datum);
                ASSERT_NE(w.outcome, Outcome::Failed) << where.name << ": " << w.why;
                if (w.outcome == Outcome::Outside) continue;
                const Place read = ReadPlace(w.text, datum);
                ASSERT_TRUE(read.ok) << w.text << ": " << read.error;
                const bool core = grid == kBng && datum == Datum::OSGB36;
                bySystem[{SystemOf(grid, w.point), core}].push_back({&where, w, read});
            }
        }
        EXPECT_GE(bySystem.size(), datum == Datum::WGS84 ? 3u : 5u); // grids, UTM's zones
        for (const auto& [system, written] : bySystem) {
            const double tolerance = system.second ? 0.005 : 0.001;
            std::vector<std::array<double, 2>> places, corners;
            for (const Written& w : written) {
                places.push_back({w.place->latitude, w.place->longitude});
                corners.push_back({w.read.point.x, w.read.point.y});
            }
            const auto forward =
                References::Cs2cs(LibraryCode(datum), system.first, places, scratch);
            const auto inverse =
                References::Cs2cs(system.first, LibraryCode(datum), corners, scratch);
            for (std::size_t i = 0; i < written.size(); ++i) {
                const Written& w = written[i];
                EXPECT_NEAR(w.written.point.x, forward[i][0], tolerance) << w.place->name;
                EXPECT_NEAR(w.written.point.y, forward[i][1], tolerance) << w.place->name;
                EXPECT_LT(Metres(w.read.latitude, w.read.longitude, inverse[i][0], inverse[i][1]),
                          tolerance)
                    << w.written.text;
            }
        }
    }
}

// UTM and MGRS on WGS 84 against GeoConvert: the zone and band it chooses, the coordinates to a
// millimetre, the MGRS reference as it cuts it, and both texts read back (MGRS at its square's
// south-west corner, as GeoConvert -n reads it).
TEST_F(GridsTest, UtmAndMgrsAgreeWithGeoConvert) {
    std::vector<std::string> places, utmTexts, mgrsTexts;
    std::vector<Grids::Written> utm, mgrs;
    for (const Where& where : kPlaces) {
        char place[64];
        std::snprintf(place, sizeof place, "%.10f %.10f", where.latitude, where.longitude);
        places.push_back(place);
        utm.push_back(WritePlace(where.latitude, where.longitude, kUtm, Datum::WGS84));
        mgrs.push_back(WritePlace(where.latitude, where.longitude, kMgrs, Datum::WGS84));
        ASSERT_EQ(utm.back().outcome, Outcome::Written) << where.name << ": " << utm.back().why;
        ASSERT_EQ(mgrs.back().outcome, Outcome::Written) << where.name << ": " << mgrs.back().why;
        // GeoConvert's UTM: the zone, then n or s for the hemisphere.
        std::istringstream words(utm.back().text);
        std::string zoneBand, easting, northing;
        words >> zoneBand >> easting >> northing;
        const char hemisphere = zoneBand.back() < 'N' ? 's' : 'n';
        utmTexts.push_back(zoneBand.substr(0, zoneBand.size() - 1) + hemisphere + " " + easting +
                           " " + northing);
        std::string compact;
        for (const char c : mgrs.back().text)
            if (c != ' ') compact += c;
        mgrsTexts.push_back(compact);
    }
    const auto toUtm = References::Run("GeoConvert -u -p 6", places, scratch);
    const auto toMgrs = References::Run("GeoConvert -m -p 0", places, scratch);
    const auto fromUtm = References::Run("GeoConvert -p 4", utmTexts, scratch);
    const auto fromMgrs = References::Run("GeoConvert -n -p 4", mgrsTexts, scratch);
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::string& name = kPlaces[i].name;
        const GridPoint& p = utm[i].point;
        EXPECT_EQ(toUtm[i][0],
                  (p.zone < 10 ? "0" : "") + std::to_string(p.zone) + (p.south ? "s" : "n"))
            << name;
        EXPECT_NEAR(p.x, std::stod(toUtm[i][1]), 0.001) << name;
        EXPECT_NEAR(p.y, std::stod(toUtm[i][2]), 0.001) << name;
        EXPECT_EQ(toMgrs[i][0], (p.zone < 10 ? "0" : "") + mgrsTexts[i]) << name;
        std::string why;
        const auto back = PlaceOf(p, kUtm, Datum::WGS84, why);
        ASSERT_TRUE(back) << why;
        EXPECT_LT(Metres(back->first, back->second, kPlaces[i].latitude, kPlaces[i].longitude),
                  1e-6)
            << name;
        for (const auto& [text, reference] :
             {std::pair{utm[i].text, fromUtm[i]}, std::pair{mgrs[i].text, fromMgrs[i]}}) {
            const Place read = ReadPlace(text, Datum::WGS84);
            ASSERT_TRUE(read.ok) << text << ": " << read.error;
            EXPECT_LT(Metres(read.latitude, read.longitude, std::stod(reference[0]),
                             std::stod(reference[1])),
                      0.001)
                << text;
        }
    }
}

// Each form read (the form named) and its place written again in the same grid.
TEST(ReadPlace, ReadsEveryFormAndWritesItsPlaceBack) {
    const struct {
        const char* text;
        Datum datum;
        const char* form;
        const char* written;
    } cases[] = {
        {"51.30.43N 000.07.66W", Datum::OSGB36, "latlon", "51.30.43N 000.07.66W"},
        {"000.07.66w , 51.30.43n", Datum::WGS84, "latlon", "51.30.43N 000.07.66W"},
        {"51.5N 0.1E", Datum::OSGB36, "latlon", "51.05.00N 000.01.00E"},
        {"51.5071667 -0.1276667", Datum::OSGB36, "decimal", "51.5071667 -0.1276667"},
        {"-33.8568,\t151.2153", Datum::WGS84, "decimal", "-33.8568000 151.2153000"},
        {"TQ 29925 80408", Datum::OSGB36, "bng", "TQ 29925 80408"},
        {"tq2992580408", Datum::WGS84, "bng", "TQ 29925 80408"},
        {"TQ 2 8", Datum::OSGB36, "bng", "TQ 20000 80000"},
        {"TQ 2992 8040", Datum::WGS84, "bng", "TQ 29920 80400"},
        {"O 15000 34000", Datum::OSGB36, "irish", "O 15000 34000"},
        {"o1534", Datum::WGS84, "irish", "O 15000 34000"},
        {"ITM 715830 734697", Datum::OSGB36, "itm", "ITM 715830 734697"},
        {"30U 699316 5710164", Datum::WGS84, "utm", "30U 699316 5710164"},
        {"30u 699316 5710164", Datum::OSGB36, "utm", "30U 699316 5710164"},
        {"5V 500000 6500000", Datum::WGS84, "utm", "5V 500000 6500000"},
        {"30U XC 99316 10164", Datum::OSGB36, "mgrs", "30U XC 99316 10164"},
        {"30uxc9931610164", Datum::WGS84, "mgrs", "30U XC 99316 10164"},
        {"4QFJ12345678", Datum::WGS84, "mgrs", "4Q FJ 12340 56780"},
        {"30U XC", Datum::WGS84, "mgrs", "30U XC 00000 00000"},
        {"EPSG:27700 529925.312 180408.746", Datum::OSGB36, "epsg:27700",
         "EPSG:27700 529925.312 180408.746"},
        {"epsg:4326 -0.1276667, 51.5071667", Datum::WGS84, "epsg:4326",
         "EPSG:4326 -0.1276667 51.5071667"},
        {"EPSG:32756 334369.5 6250948.5", Datum::WGS84, "epsg:32756",
         "EPSG:32756 334369.500 6250948.500"},
        // The Position panel's own texts.
        {"51.30.43N 000.07.66W  TQ 299 804", Datum::OSGB36, "latlon", "51.30.43N 000.07.66W"},
        {"51.30.43N 000.07.66W  TQ 29925 80408", Datum::OSGB36, "latlon", "51.30.43N 000.07.66W"},
        {"53.20.63N 006.16.39W  O 150 340", Datum::OSGB36, "latlon", "53.20.63N 006.16.39W"},
        {"51.30.43N 000.07.66W  (outside the Irish Grid)", Datum::OSGB36, "latlon",
         "51.30.43N 000.07.66W"},
    };
    for (const auto& c : cases) {
        const Place p = ReadPlace(c.text, c.datum);
        ASSERT_TRUE(p.ok) << c.text << ": " << p.error;
        EXPECT_EQ(KeyOf(p.form), c.form) << c.text;
        std::string why;
        const auto grid = GridOfKey(c.form, why);
        ASSERT_TRUE(grid) << why;
        EXPECT_EQ(WritePlace(p.latitude, p.longitude, *grid, c.datum).text, c.written) << c.text;
    }
}

// References of 4 and 6 digits are read as the editor reads them, to the corner it writes.
TEST(ReadPlace, AFourOrSixDigitReferenceLiesOnTheEditorsCorner) {
    for (const char* reference : {"TQ 290 800", "TQ 29 80", "nn166712"}) {
        std::string latitude = reference, longitude;
        ASSERT_EQ(MapCode::ValidatePosition(latitude, longitude, false), "True");
        const Place p = ReadPlace(reference, Datum::OSGB36);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(float(p.latitude * 60), MapCode::CoordToMinutes(latitude)) << reference;
        EXPECT_EQ(float(p.longitude * 60), MapCode::CoordToMinutes(longitude)) << reference;
    }
}

TEST(ReadPlace, SaysWhyATextIsNotAPlace) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"  ", "type a place: "},
        {"London", "\"London\" is not a place: type a latitude"},
        {"51N,52N", "both latitudes"},
        {"5x.30N,0.1W", "not a coordinate"},
        {"91N 0E", "at most 90"},
        {"1 2 3", "two numbers"},
        {"TQ 29 8", "2, 4, 6, 8 or 10 digits"},
        {"ZZ 000 000", "ZZ is not one of the National Grid's squares"},
        {"HL 00 00", "outside the grid's area"},
        {"I 1 1", "I is not one of the Irish Grid's squares"},
        {"A 00 00", "outside the Irish Grid's area"},
        {"ITM 0 0", "outside the area of Irish Transverse Mercator"},
        {"31U 0 0", "\"31U 0 0\" is not a UTM position: the easting must lie between 100000 "
                    "and 900000"},
        {"61U 500000 5000000", "the zone must be 1 to 60"},
        {"30I 500000 5000000", "the latitude band must be a letter from C to X"},
        {"30U 699316 1000000", "its northing lies in band P, not in band U"},
        {"33X 500000 9400000", "north of 84 N"},
        {"17C 500000 1000000", "south of 80 S"},
        {"30U AC 1 1", "the 100 km square AC does not exist in zone 30"},
        {"30V XC 1 1", "the 100 km square XC does not lie in band V of zone 30"},
        {"30U XC 123", "two halves of equal length"},
        {"EPSG:99999 1 2", "PROJ knows no coordinate system EPSG:99999"},
        {"EPSG:4978 1 2 ", "is neither latitude and longitude"},
        {"EPSG:27700 -900000 0", "outside the system's area"},
        {"51.30.43N 000.07.66W  TQ 100 100", "disagree"},
        {"51.30.43N 000.07.66W  TQ 299 805", "disagree"},
        {"51.30.43N 000.07.66W  3", "\"3\" after the position is not a grid reference"},
    };
    for (const auto& c : cases) {
        const Place p = ReadPlace(c.text, Datum::OSGB36);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << c.text << ": " << p.error;
        EXPECT_EQ(DescribePlace(p, Datum::OSGB36), "") << c.text;
    }
}

// A place a grid does not cover: the grid refuses it, naming those that do, and the Position
// panel writes the latitude and longitude with the grid's name.
TEST(WritePlace, OutsideAGridSaysWhichGridsCoverThePlace) {
    std::string why;
    const struct {
        double latitude, longitude;
        Grid grid;
        const char* says;
        const char* panel;
    } cases[] = {
        {51.5071667, -0.1276667, kIrish, "grids that cover it: British National Grid, UTM, MGRS",
         "51.30.43N 000.07.66W  (outside the Irish Grid)"},
        {48.8566, 2.3522, kBng, "grids that cover it: UTM, MGRS",
         "48.51.40N 002.21.13E  (outside the British National Grid)"},
        {84.5, 10, kUtm, "only latitude and longitude cover it",
         "84.30.00N 010.00.00E  (outside the UTM)"},
        {-80.5, 10, kMgrs, "only latitude and longitude",
         "80.30.00S 010.00.00E  (outside the MGRS)"},
        {-33.8568, 151.2153, *GridOfKey("EPSG:27700", why), "outside the EPSG:27700",
         "33.51.41S 151.12.92E  (outside the EPSG:27700)"},
    };
    for (const auto& c : cases) {
        const auto w = WritePlace(c.latitude, c.longitude, c.grid, Datum::OSGB36);
        EXPECT_EQ(w.outcome, Outcome::Outside) << c.says;
        EXPECT_NE(w.why.find(c.says), std::string::npos) << w.why;
        EXPECT_EQ(PanelText(c.latitude, c.longitude, c.grid, Datum::OSGB36), c.panel);
    }
}

// The Position panel's text in every grid, on either datum, read back to its place within the
// text's own precision (Copy Position, then Find Maps).
TEST(PanelText, ReadsBackToItsPlace) {
    EXPECT_EQ(PanelText(51.5071667, -0.1276667, kLatLon, Datum::OSGB36),
              "51.30.43N 000.07.66W  TQ 299 804");
    EXPECT_EQ(PanelText(51.5071667, -0.1276667, kBng, Datum::OSGB36), "TQ 29925 80408");
    for (const Datum datum : {Datum::OSGB36, Datum::WGS84})
        for (const Grid grid : {kLatLon, kBng, kIrish, kItm, kUtm, kMgrs})
            for (const Where& where : kPlaces) {
                const std::string text = PanelText(where.latitude, where.longitude, grid, datum);
                const Place p = ReadPlace(text, datum);
                ASSERT_TRUE(p.ok) << text << ": " << p.error;
                // A metre's square's diagonal, or half a hundredth of a minute each way.
                const bool metric = text.find('(') == std::string::npos && grid != kLatLon;
                EXPECT_LT(Metres(p.latitude, p.longitude, where.latitude, where.longitude),
                          metric ? 1.5 : 13.2)
                    << text;
            }
}

// The default panel and the National Grid on OSGB 1936 go through the core's routines alone:
// PROJ is never loaded for them.
TEST(PanelText, TheNationalGridOnOsgb36NeedsNoProj) {
    EXPECT_EQ(PanelText(55.9533, -3.1883, kLatLon, Datum::OSGB36),
              "55.57.20N 003.11.30W  NT 258 739");
    EXPECT_TRUE(ReadPlace("NT 25808 73996", Datum::OSGB36).ok);
    EXPECT_EQ(WritePlace(55.9533, -3.1883, kBng, Datum::OSGB36).text, "NT 25808 73996");
    std::ifstream maps("/proc/self/maps");
    const std::string loaded((std::istreambuf_iterator<char>(maps)), {});
    EXPECT_EQ(loaded.find("libproj"), std::string::npos);
    EXPECT_EQ(loaded.find("libvarnet-grids"), std::string::npos);
}
