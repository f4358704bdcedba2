#include "mapdef/MapCode.h"

#include <gtest/gtest.h>
#include <random>

using namespace MapCode;

namespace {
struct Case {
    std::string typed, result, box, partner;
};
void Check(const Case& c, bool isLongitude) {
    std::string box = c.typed, partner = "partner";
    EXPECT_EQ(ValidatePosition(box, partner, isLongitude), c.result) << "'" << c.typed << "'";
    EXPECT_EQ(box, c.box) << "'" << c.typed << "'";
    EXPECT_EQ(partner, c.partner) << "'" << c.typed << "'";
}
} // namespace

TEST(ValidatePosition, LatitudesAndLongitudes) {
    const std::string degree = "51\xB0"
                               "30N";
    const Case latitudes[] = {
        {"", "True", "", "partner"},
        {"   ", "True", "   ", "partner"},
        {"51N", "Ok", "51.00.00N", "partner"},
        {" 51N ", "Ok", "51.00.00N", "partner"},
        {"51.30N", "Ok", "51.30.00N", "partner"},
        {"5.3N", "Ok", "05.03.00N", "partner"},
        {"51.3N", "Ok", "51.03.00N", "partner"},
        {"51.30.5N", "Ok", "51.30.05N", "partner"},
        {"51.30.00N", "Ok", "51.30.00N", "partner"},
        {"90.00.00S", "Ok", "90.00.00S", "partner"},
        {"51.30.N", "Ok", "51.30.00N", "partner"},
        {"51. 30N", "Ok", "51.30.00N", "partner"},   // spaces after the first point are skipped
        {"51. 3.00N", "Ok", "51.03.00N", "partner"}, // and never kept in the box
        {"90.00.01N", "latitude", "90.00.01N", "partner"},
        {"91N", "latitude", "91N", "partner"},
        {"51.60N", "latitude", "51.60N", "partner"},
        {"51.30.100N", "latitude", "51.30.100N", "partner"},
        {"51.30.00n", "latitude", "51.30.00n", "partner"},
        {"51.30.00E", "latitude", "51.30.00E", "partner"},
        {"5 1.30N", "latitude", "5 1.30N", "partner"},
        {"51 N", "latitude", "51 N", "partner"},
        {"-1.30N", "latitude", "-1.30N", "partner"},
        {"99999N", "latitude", "99999N", "partner"},
        {"N", "latitude", "N", "partner"},
        // Characters the lenient rule would skip or stop at are not coordinates.
        {"5x.30.00N", "latitude", "5x.30.00N", "partner"},
        {degree, "latitude", degree, "partner"},
        {"51.3x.00N", "latitude", "51.3x.00N", "partner"},
        {"1e1N", "latitude", "1e1N", "partner"},
        {"TQ 290 800", "True", "51.30.22N", "000.08.47W"},
        {"SU 123 456", "True", "51.12.54N", "001.49.43W"},
    };
    const Case longitudes[] = {
        {"1.30W", "Ok", "001.30.00W", "partner"},
        {"180E", "Ok", "180.00.00E", "partner"},
        {"001.30.00W", "Ok", "001.30.00W", "partner"},
        {"0.0.0E", "Ok", "000.00.00E", "partner"},
        {"180.00.01E", "longitude", "180.00.01E", "partner"},
        {"181W", "longitude", "181W", "partner"},
        {"51.30.00N", "longitude", "51.30.00N", "partner"},
        {"TQ 290 800", "True", "000.08.47W", "51.30.22N"},
    };
    for (const auto& c : latitudes) Check(c, false);
    for (const auto& c : longitudes) Check(c, true);
}

TEST(ValidatePosition, WhatItWritesAlwaysReadsBack) {
    // Random short texts over the characters users type; every "Ok" box must be readable and
    // mean the numbers it holds.
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789.. NS";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), len(1, 10);
    int accepted = 0;
    for (int i = 0; i < 50000; ++i) {
        std::string typed;
        for (std::size_t k = len(rng); k > 0; --k) typed += alphabet[pick(rng)];
        std::string box = typed, partner;
        const std::string result = ValidatePosition(box, partner, false);
        if (result != "Ok") {
            if (result != "True") { // grid references like NS 123456 fill both boxes
                EXPECT_EQ(box, typed);
            }
            continue;
        }
        ++accepted;
        ASSERT_EQ(box.size(), 9u) << typed << " -> " << box;
        const float minutes = CoordToMinutes(box);
        EXPECT_LE(std::abs(minutes), 5400) << box;
        std::string again = box, p2;
        EXPECT_EQ(ValidatePosition(again, p2, false), "Ok");
        EXPECT_EQ(again, box); // canonical texts stay as they are
    }
    EXPECT_GT(accepted, 100);
}
