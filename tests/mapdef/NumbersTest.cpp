#include "mapdef/Numbers.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

using namespace MapCode;

TEST(Numbers, LenientRuleReadsTheLeadingNumber) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"30.50", 30.5}, {"30.50.12", 30.5}, {" 3 0 . 5 ", 30.5}, {"-12", -12},
        {"+7", 7},       {"- 5", -5},        {"5x", 5},           {"", 0},
        {"x5", 0},       {".5", 0.5},        {"5.", 5},           {"-", 0},
        {"1e3", 1},      {"&H10", 0},        {"1,000", 1},        {"$5", 0},
        {"0007", 7},     {"12.3.4", 12.3},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(LenientNumber(c.text), c.value) << c.text;
    EXPECT_THROW(LenientNumber(std::string(400, '9')), CoreError);
}

TEST(Numbers, StrictRuleNeedsTheWholeTextToBeANumber) {
    struct Case {
        const char* text;
        double value;
    } ok[] = {{"51", 51}, {" 51 ", 51}, {"-1", -1}, {"+ 2", 2}, {"1.5", 1.5}, {".5", 0.5}};
    for (const auto& c : ok) EXPECT_DOUBLE_EQ(StrictNumber(c.text), c.value) << c.text;
    for (const char* bad :
         {"", " ", "5x", "x", "1e3", "&H10", "1,000", "$5", "1.2.3", "-", "5 1"}) {
        EXPECT_EQ(ErrorOf([&] { StrictNumber(bad); }), ErrorKind::TypeMismatch) << bad;
    }
}

TEST(Numbers, RoundingIntoSixteenBitsGoesHalfToEvenAndOverflows) {
    struct Case {
        double value;
        int result;
    } cases[] = {{0.5, 0},   {1.5, 2},         {2.5, 2},           {-0.5, 0},
                 {-1.5, -2}, {32767.4, 32767}, {-32768.5, -32768}, {2.4999, 2}};
    for (const auto& c : cases) EXPECT_EQ(RoundToInt16(c.value), c.result) << c.value;
    for (double bad : {32767.5, 32768.0, -32769.0, 1e300})
        EXPECT_THROW(RoundToInt16(bad), CoreError);
    EXPECT_EQ(RoundToInt32(2147483647.0), 2147483647);
    EXPECT_THROW(RoundToInt32(2147483647.5), CoreError);
    EXPECT_THROW(ToSingle(1e39), CoreError);
    EXPECT_EQ(ZeroPadded(5, 3), "005");
    EXPECT_EQ(ZeroPadded(1234, 2), "1234");
    EXPECT_EQ(TrimSpaces("  a b\t "), "a b\t");
}
