#include "mapdef/Place.h"
#include "mapdef/MapCode.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using namespace MapCode;

// Positions from PROJ 9.1 (EPSG:27700 to EPSG:4277, OSGB 1936, and back): the grid references'
// places, and the 100 m squares of the other forms' places.
TEST(ReadPlace, ReadsEachFormWhereProjPutsIt) {
    struct Case {
        const char* text;
        PlaceForm form;
        double latitude, longitude; // degrees
        const char* gridRef;        // as the description gives it, "" outside the grid's area
    } cases[] = {
        {"TQ 290 800", PlaceForm::GridReference, 51.503709214, -0.141149125, "TQ 290 800"},
        {"tq2980", PlaceForm::GridReference, 51.508088708, -0.133764744, "TQ 295 805"},
        {"SU 123 422", PlaceForm::GridReference, 51.178381069, -1.824017889, "SU 123 422"},
        {" NN166712 ", PlaceForm::GridReference, 56.796270162, -5.003488649, "NN 166 712"},
        {"HP 600 150", PlaceForm::GridReference, 60.813981852, -0.896952338, "HP 600 150"},
        {"SV 900 100", PlaceForm::GridReference, 49.909054648, -6.318527096, "SV 900 100"},
        // E 529934.276 N 180074.715
        {"51.30.25N,000.07.66W", PlaceForm::LatitudeLongitude, 51 + 30.25 / 60, -7.66 / 60,
         "TQ 299 800"},
        {"000.07.66w , 51.30.25n", PlaceForm::LatitudeLongitude, 51 + 30.25 / 60, -7.66 / 60,
         "TQ 299 800"},
        // 51.5N is 51 degrees 5 minutes; E 541235.386 N 133550.569
        {"51.5N,0.1E", PlaceForm::LatitudeLongitude, 51 + 5 / 60.0, 1 / 60.0, "TQ 412 335"},
        {"33.51.25S,151.12.55E", PlaceForm::LatitudeLongitude, -(33 + 51.25 / 60), 151 + 12.55 / 60,
         ""},
        // E 529930.272 N 180412.111
        {"51.5072, -0.1276", PlaceForm::DecimalDegrees, 51.5072, -0.1276, "TQ 299 804"},
        {"51.5072 -0.1276", PlaceForm::DecimalDegrees, 51.5072, -0.1276, "TQ 299 804"},
        // E 325695.699 N 673630.894
        {"55.95,-3.19", PlaceForm::DecimalDegrees, 55.95, -3.19, "NT 256 736"},
        {"-33.8568\t151.2153", PlaceForm::DecimalDegrees, -33.8568, 151.2153, ""},
        {"-90 180", PlaceForm::DecimalDegrees, -90, 180, ""},
    };
    for (const auto& c : cases) {
        const Place p = ReadPlace(c.text);
        ASSERT_TRUE(p.ok) << c.text << ": " << p.error;
        EXPECT_EQ(p.form, c.form) << c.text;
        // Metres on the ground: a grid reference's place is the editor's, written to the
        // hundredth of a minute (half of one is 9.3 m); the others are read as typed.
        const double tolerance = c.form == PlaceForm::GridReference ? 10 : 0.5;
        const double metresPerMinute = 1852;
        EXPECT_LT(std::fabs(p.latitude / 60.0 - c.latitude) * 60 * metresPerMinute, tolerance)
            << c.text;
        EXPECT_LT(std::fabs(p.longitude / 60.0 - c.longitude) * 60 * metresPerMinute *
                      std::cos(c.latitude * std::numbers::pi / 180),
                  tolerance)
            << c.text;
        const std::string said = DescribePlace(p);
        const std::size_t ref = said.find(c.gridRef);
        if (*c.gridRef)
            EXPECT_NE(ref, std::string::npos) << c.text << ": " << said;
        else
            EXPECT_EQ(said.find("  "), std::string::npos) << c.text << ": " << said;
    }
}

TEST(ReadPlace, SaysWhyATextIsNotAPlace) {
    struct Case {
        const char* text;
        const char* says;
    } cases[] = {
        {"  ", "type a place"},
        {"51.5N 0.1W", "comma"},
        {"51N,52N", "both latitudes"},
        {"1E,2W", "both longitudes"},
        {"51.5N,0.1", "neither"},
        {"N,E", "no degrees"},
        {"5x.30N,0.1W", "not a coordinate"},
        {"91N,0E", "at most 90"},
        {"0N,180.00.01W", "at most 180"},
        {"-90.5, 0", "at most 90"},
        {"51.5", "two numbers"},
        {"1 2 3", "two numbers"},
        {"51.5, abc", "not a number"},
        {"1, 2, 3", "not a number"},
        {"TQ 290 80", "4 or 6 digits"},
        {"ZZ 000 000", "not one of the National Grid's squares"},
        {"London", "comma"},
    };
    for (const auto& c : cases) {
        const Place p = ReadPlace(c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << c.text << ": " << p.error;
        EXPECT_EQ(DescribePlace(p), "") << c.text;
    }
}

// A place typed as a grid reference lies exactly on a corner the editor wrote from the same
// reference: a map whose edge it is covers it.
TEST(ReadPlace, AGridReferenceLiesOnTheEditorsCorner) {
    std::string latitude = "TQ 290 800", longitude;
    ASSERT_EQ(ValidatePosition(latitude, longitude, false), "True");
    float lon = 0, lat = 0;
    ASSERT_TRUE(ParsePosition(latitude + "," + longitude, lon, lat));
    const Place p = ReadPlace("TQ 290 800");
    EXPECT_EQ(p.latitude, lat);
    EXPECT_EQ(p.longitude, lon);
}
