#include "mapdef/MapCode.h"
#include "support/Errors.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace MapCode;

TEST(CoordToMinutes, ReadsCoordinateTexts) {
    struct Case {
        const char* text;
        float minutes;
    } cases[] = {
        {"51.30.00N", 3090},    {"51.30.50N", 3090.5}, {"001.30.00W", -90},
        {"00.00.00S", 0},       {"51N", 3060},         {"51.5N", 3065},
        {"51.30.00n", 0},       {"51.30.00", 0},       {"N", 0},
        {"180.00.00E", 10800},  {"90.00.00S", -5400},  {"51.60.00N", 3120},
        {"51. 3 0.5N", 3090.5}, {"-1.30.00N", -30},
    };
    for (const auto& c : cases) EXPECT_FLOAT_EQ(CoordToMinutes(c.text), c.minutes) << c.text;
    // Texts that are not numbers fail.
    struct Failure {
        std::string text;
        ErrorKind kind;
    } failures[] = {
        {"", ErrorKind::InvalidArgument},
        {".30N", ErrorKind::TypeMismatch},
        {"5x.30.00N", ErrorKind::TypeMismatch},
        {"1e3.00N", ErrorKind::TypeMismatch},
        {"1" + std::string(37, '0') + ".00N", ErrorKind::Overflow}, // 10^39 minutes
    };
    for (const auto& f : failures)
        EXPECT_EQ(ErrorOf([&] { CoordToMinutes(f.text); }), f.kind) << f.text;
}

TEST(ParsePosition, TakesEitherOrderAndNeedsAComma) {
    for (const char* text :
         {"51.30.00N,001.30.00W", "001.30.00W,51.30.00N", " 51.30.00N , 001.30.00W "}) {
        float lon = 1, lat = 1;
        ASSERT_TRUE(ParsePosition(text, lon, lat)) << text;
        EXPECT_FLOAT_EQ(lon, -90) << text;
        EXPECT_FLOAT_EQ(lat, 3090) << text;
    }
    float lon = 7, lat = 8;
    EXPECT_FALSE(ParsePosition("51.30.00N 001.30.00W", lon, lat));
    EXPECT_EQ(lon, 7);
    EXPECT_EQ(lat, 8);
    EXPECT_THROW(ParsePosition(".30N,001.30.00W", lon, lat), CoreError);
}

TEST(FormatPosition, WritesCanonicalTexts) {
    struct Case {
        float lat, lon;
        const char *latText, *lonText;
    } cases[] = {
        {3090.5f, -90, "51.30.50N", "001.30.00W"},
        {-0.5f, 0, "00.00.50S", "000.00.00E"},
        {3119.999f, 10800, "52.00.00N", "180.00.00E"}, // 59.999 minutes carry into the degrees
        {-5400, -10800, "90.00.00S", "180.00.00W"},
        {0.125f, 0.375f, "00.00.13N", "000.00.38E"}, // exactly half-way rounds away from zero
        {32819.99f, 0, "546.59.99N", "000.00.00E"},
    };
    for (const auto& c : cases) {
        std::string lat, lon;
        FormatPosition(c.lat, c.lon, lat, lon);
        EXPECT_EQ(lat, c.latText) << c.lat;
        EXPECT_EQ(lon, c.lonText) << c.lon;
    }
    std::string lat, lon;
    EXPECT_THROW(FormatPosition(32820, 0, lat, lon), CoreError); // 547 degrees
    EXPECT_THROW(FormatPosition(NAN, 0, lat, lon), CoreError);
}

TEST(FormatPosition, EveryTextItWritesReadsBack) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> latitudes(-5400, 5400), longitudes(-10800, 10800);
    for (int i = 0; i < 20000; ++i) {
        const float lat = latitudes(rng), lon = longitudes(rng);
        std::string latText, lonText;
        FormatPosition(lat, lon, latText, lonText);
        EXPECT_NEAR(CoordToMinutes(latText), lat, 0.005 + 1e-3) << latText;
        EXPECT_NEAR(CoordToMinutes(lonText), lon, 0.005 + 1e-3) << lonText;
        float a = 0, b = 0, c = 0, d = 0;
        ASSERT_TRUE(ParsePosition(latText + "," + lonText, a, b));
        ASSERT_TRUE(ParsePosition(lonText + "," + latText, c, d));
        EXPECT_EQ(a, c);
        EXPECT_EQ(b, d);
    }
}
