#include "mapdef/Georeference.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

using MapCode::Georeference;

// The rectangle's edges whichever way round a definition gives its corners.
TEST(Georeference, BoundsInDegreesWhicheverWayTheCornersRun) {
    const struct Case {
        float tlLon, tlLat, brLon, brLat;
    } cases[] = {
        {-90, 3090, -30, 3060}, // 51.30N 1.30W .. 51N 0.30W
        {-30, 3060, -90, 3090}, // the same, bottom-right first
        {-30, 3090, -90, 3060}, // running west across the picture
    };
    for (const auto& c : cases) {
        const Georeference g(c.tlLon, c.tlLat, c.brLon, c.brLat);
        EXPECT_EQ(g.North(), 51.5);
        EXPECT_EQ(g.South(), 51.0);
        EXPECT_EQ(g.West(), -1.5);
        EXPECT_EQ(g.East(), -0.5);
        EXPECT_TRUE(g.Contains(3075, -60));
        EXPECT_TRUE(g.Contains(3090, -30)); // an edge is inside
        EXPECT_FALSE(g.Contains(3091, -60));
        EXPECT_FALSE(g.HasSize());
    }
}

// Ground figures on the 6367 km sphere: a degree of longitude at the equator is 2 pi r / 360,
// half that at 60 degrees; a zone's area is 2 pi r times its height (Archimedes).
TEST(Georeference, GroundFiguresOnTheSphereOfDistances) {
    const Georeference degree(0, 60, 60, 0, 1000, 500); // 1N 0E .. 0N 1E
    EXPECT_NEAR(degree.MetresPerPixel(0), 111.12511, 1e-5);
    EXPECT_NEAR(degree.MetresPerPixel(60 * 60), 55.56256, 1e-5);
    EXPECT_NEAR(degree.ExtentKm(0).first, 111.12511, 1e-5);
    EXPECT_NEAR(degree.ExtentKm(0).second, 110.3600, 5e-5); // the meridian, as GetDistance has it
    EXPECT_EQ(Georeference(0, 60, 60, 0).MetresPerPixel(0), 0); // no size, no scale

    EXPECT_NEAR(Georeference(0, 30 * 60, 90 * 60, 0).GroundArea(), 31839011.9, 0.1);
    EXPECT_NEAR(Georeference(-180 * 60, 90 * 60, 180 * 60, -90 * 60).GroundArea(), 509424190.2,
                0.1);
    // Beyond a pole counts as the pole.
    EXPECT_EQ(Georeference(0, 100 * 60, 90 * 60, 0).GroundArea(),
              Georeference(0, 90 * 60, 90 * 60, 0).GroundArea());
}

TEST(Georeference, PixelsAndPlacesBothWays) {
    const Georeference g(-90, 3090, -30, 3060, 600, 300); // a tenth of a minute a pixel
    const auto [lat, lon] = g.PixelCentre(0, 0);
    EXPECT_NEAR(lat, 3090 - 0.05, 1e-9);
    EXPECT_NEAR(lon, -90 + 0.05, 1e-9);
    for (double x : {0.0, 0.5, 123.25, 600.0}) EXPECT_NEAR(g.XAt(g.LongitudeAt(x)), x, 1e-9);
    for (double y : {0.0, 0.5, 77.75, 300.0}) EXPECT_NEAR(g.YAt(g.LatitudeAt(y)), y, 1e-9);
    EXPECT_NEAR(g.DegreesPerPixelX(), 0.1 / 60, 1e-15);
    EXPECT_NEAR(g.DegreesPerPixelY(), -0.1 / 60, 1e-15);

    // Without a size there are no pixels.
    EXPECT_EQ(ErrorOf([] { Georeference(-90, 3090, -30, 3060).XAt(-60); }),
              ErrorKind::DivisionByZero);
    EXPECT_EQ(ErrorOf([] { Georeference(-90, 3090, -30, 3060, 0, 300); }),
              ErrorKind::DivisionByZero);
}
