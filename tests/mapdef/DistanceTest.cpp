#include "mapdef/MapCode.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace MapCode;

TEST(GetDistance, MatchesTheReferenceTable) {
    struct Case {
        double lat1, lon1, lat2, lon2;
        float distance, bearing;
    } cases[] = {
        {51.5, -1.5, 51.5, -0.5, 69.4691f, 89.6097f},
        {51.5, -1.5, 51.0, -1.5, 55.6445f, 180},
        {0, 0, 0, 1, 111.1251f, 90},
        {0, 0, 0, -1, 111.1251f, 270},
        {0, 0, 1, 0, 110.3600f, 0},
        {10, 20, -10, -20, 4942.792f, 244.6434f},
    };
    for (const auto& c : cases) {
        float bearing = -1;
        const float d = GetDistance(c.lat1, c.lon1, c.lat2, c.lon2, bearing);
        // The table gives the values to its last digit.
        EXPECT_NEAR(d, c.distance, c.distance > 1000 ? 5e-4 : 5e-5) << c.lat2 << "," << c.lon2;
        EXPECT_NEAR(bearing, c.bearing, 5e-5) << c.lat2 << "," << c.lon2;
        float back = 0;
        EXPECT_EQ(GetDistance(c.lat2, c.lon2, c.lat1, c.lon1, back), d);
    }
    float bearing = 123;
    EXPECT_EQ(GetDistance(51.5, 0, 51.5, 0, bearing), 0);
    EXPECT_EQ(bearing, 123); // unchanged
}

TEST(GetDistance, NeverFailsAtTheEdgesOfItsArithmetic) {
    const double quarter = 6367 * std::acos(-1.0) / 2;
    float bearing = 0;
    // A quarter of a great circle: the cosine is exactly 0.
    EXPECT_NEAR(GetDistance(0, 0, 0, 90, bearing), quarter, 1e-3);
    // Points so close that rounding pushes the cosine beyond 1.
    for (double eps : {1e-9, 1e-12, 1e-15}) {
        const float d = GetDistance(51.5, -1.5, 51.5, -1.5 + eps, bearing);
        EXPECT_TRUE(std::isfinite(d));
        EXPECT_GE(d, 0);
        EXPECT_LT(d, 1e-3);
    }
    EXPECT_TRUE(std::isfinite(GetDistance(90, 0, -90, 0, bearing)));
    EXPECT_NEAR(GetDistance(0, 0, 0, 180, bearing), 2 * quarter, 1e-2);
}
