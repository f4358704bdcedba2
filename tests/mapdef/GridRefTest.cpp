#include "mapdef/MapCode.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace MapCode;

TEST(GridRefToEastNorth, ReadsGridReferences) {
    struct Case {
        const char* ref;
        double easting, northing;
    } cases[] = {
        {"TQ 290 800", 529000, 180000},      {"tq290800", 529000, 180000},
        {"T Q 2 9 0 8 0 0", 529000, 180000}, {"TQ 29 80", 529500, 180500},
        {"SU 123 456", 412300, 145600},      {"SV 000 000", 0, 0},
        {"HP 999 999", 499900, 1299900},     {"NN 166 712", 216600, 771200},
    };
    for (const auto& c : cases) {
        double n = -1, e = -1;
        ASSERT_TRUE(GridRefToEastNorth(c.ref, n, e)) << c.ref;
        EXPECT_EQ(e, c.easting) << c.ref;
        EXPECT_EQ(n, c.northing) << c.ref;
    }
    for (const char* bad : {"TI 290 800", "IQ 290 800", "TQ 290 8000", "TQ 290 80", "TQ 29A 800",
                            "T1 290 800", "", "TQ", "[Q 290 800", "TQ 2908001"}) {
        double n = 7, e = 8;
        EXPECT_FALSE(GridRefToEastNorth(bad, n, e)) << bad;
        EXPECT_EQ(n, 7);
        EXPECT_EQ(e, 8);
    }
}

TEST(EastNorthToLatLon, MatchesTheOrdnanceSurveyExamplesAndAlwaysEnds) {
    struct Case {
        double e, n, lat, lon;
    } cases[] = {
        {651409.903, 313177.270, 52.6575703, 1.7179216},
        {529000, 180000, 51.5037092, -0.1411491},
        {412300, 145600, 51.2089571, -1.8239014},
    };
    for (const auto& c : cases) {
        double lat = 0, lon = 0;
        EastNorthToLatLon(c.e, c.n, lat, lon);
        EXPECT_NEAR(lat, c.lat, 1e-7) << c.e;
        EXPECT_NEAR(lon, c.lon, 1e-7) << c.e;
    }
    double lat = 0, lon = 0;
    EastNorthToLatLon(400000, -100000, lat, lon);
    EXPECT_EQ(lat, 49);
    EXPECT_EQ(lon, -2);
    // Numbers no place has end in an error, never a loop without end.
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY), 1e300}) {
        EXPECT_THROW(EastNorthToLatLon(bad, 180000, lat, lon), CoreError) << bad;
        EXPECT_THROW(EastNorthToLatLon(529000, bad, lat, lon), CoreError) << bad;
    }
    EXPECT_THROW(LatLonToEastNorth(NAN, 0, lat, lon), CoreError);
    EXPECT_THROW(LatLonToEastNorth(90, 0, lat, lon), CoreError);
}

TEST(EastNorthToLatLon, InvertsTheProjectionAcrossGreatBritain) {
    // Within 275 km of the central meridian, where the published series are meant to be used;
    // at the grid's western edge, 400 km from it, their truncation differs by up to 11 mm.
    for (double e = 125000; e <= 675000; e += 25000) {
        for (double n = 0; n <= 1250000; n += 25000) {
            double lat = 0, lon = 0, e2 = 0, n2 = 0;
            EastNorthToLatLon(e, n, lat, lon);
            LatLonToEastNorth(lat, lon, e2, n2);
            EXPECT_NEAR(e2, e, 0.001) << e << "," << n; // metres: a millimetre
            EXPECT_NEAR(n2, n, 0.001) << e << "," << n;
        }
    }
}

TEST(EastNorthToGridRef, NamesThe100MetreSquareThatHoldsThePoint) {
    struct Case {
        double e, n;
        const char* ref;
    } cases[] = {
        {529000, 180000, "TQ 290 800"},
        {529099.9, 180099.9, "TQ 290 800"}, // cut, not rounded
        {500000, 100000, "TQ 000 000"},
        {499999.9, 99999.9, "SZ 999 999"}, // square edges
        {0, 0, "SV 000 000"},
        {699999, 1299999, "JM 999 999"},
        {432100, 1234500, "HP 321 345"},
        {700000, 0, ""},
        {0, 1300000, ""},
        {-0.1, 5, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EastNorthToGridRef(c.e, c.n), c.ref) << c.e << "," << c.n;
        double n = 0, e = 0;
        if (*c.ref && GridRefToEastNorth(c.ref, n, e)) { // and it reads back as the same square
            EXPECT_EQ(std::floor(e / 100), std::floor(c.e / 100)) << c.ref;
            EXPECT_EQ(std::floor(n / 100), std::floor(c.n / 100)) << c.ref;
        }
    }
}
