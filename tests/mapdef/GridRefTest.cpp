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

TEST(EastNorthToLatLon, MatchesTheOrdnanceSurveyExamples) {
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
}

TEST(EastNorthToLatLon, AlwaysEnds) {
    double lat = 0, lon = 0;
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY), 1e300}) {
        EXPECT_THROW(EastNorthToLatLon(bad, 180000, lat, lon), CoreError) << bad;
        EXPECT_THROW(EastNorthToLatLon(529000, bad, lat, lon), CoreError) << bad;
    }
}

namespace {
// The Ordnance Survey's forward formulae (latitude and longitude to the grid), to check the
// inverse against.
void LatLonToEastNorth(double latDeg, double lonDeg, double& e, double& n) {
    const double aF0 = 6375020.481, bF0 = 6353722.49, nn = 0.00167322025;
    const double e2 = 0.006670539762, pi = 3.14159265358979;
    const double phi0 = 49 * pi / 180, lambda0 = -2 * pi / 180;
    const double phi = latDeg * pi / 180, lambda = lonDeg * pi / 180;
    const double s = std::sin(phi), c = std::cos(phi), t = std::tan(phi);
    const double nu = aF0 / std::sqrt(1 - e2 * s * s);
    const double rho = nu * (1 - e2) / (1 - e2 * s * s);
    const double eta2 = nu / rho - 1;
    const double d = phi - phi0, sum = phi + phi0, n2 = nn * nn, n3 = n2 * nn;
    const double M = bF0 * ((1 + nn + 1.25 * n2 + 1.25 * n3) * d -
                            (3 * nn + 3 * n2 + 21.0 / 8 * n3) * std::sin(d) * std::cos(sum) +
                            (15.0 / 8 * n2 + 15.0 / 8 * n3) * std::sin(2 * d) * std::cos(2 * sum) -
                            35.0 / 24 * n3 * std::sin(3 * d) * std::cos(3 * sum));
    const double I = M - 100000;
    const double II = nu / 2 * s * c;
    const double III = nu / 24 * s * c * c * c * (5 - t * t + 9 * eta2);
    const double IIIA = nu / 720 * s * std::pow(c, 5) * (61 - 58 * t * t + std::pow(t, 4));
    const double IV = nu * c;
    const double V = nu / 6 * c * c * c * (nu / rho - t * t);
    const double VI = nu / 120 * std::pow(c, 5) *
                      (5 - 18 * t * t + std::pow(t, 4) + 14 * eta2 - 58 * t * t * eta2);
    const double P = lambda - lambda0;
    n = I + II * P * P + III * std::pow(P, 4) + IIIA * std::pow(P, 6);
    e = 400000 + IV * P + V * std::pow(P, 3) + VI * std::pow(P, 5);
}
} // namespace

TEST(EastNorthToLatLon, InvertsTheProjectionAcrossGreatBritain) {
    for (double e = 0; e <= 700000; e += 25000) {
        for (double n = 0; n <= 1250000; n += 25000) {
            double lat = 0, lon = 0, e2 = 0, n2 = 0;
            EastNorthToLatLon(e, n, lat, lon);
            LatLonToEastNorth(lat, lon, e2, n2);
            EXPECT_NEAR(e2, e, 1.0) << e << "," << n;
            EXPECT_NEAR(n2, n, 1.0) << e << "," << n;
        }
    }
}
