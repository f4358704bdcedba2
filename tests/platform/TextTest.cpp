#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(Text, ConversionKeepsEveryByteAndMarksWhatItCannotHold) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    bool lossless = false;
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all), &lossless), all);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(Cp1252ToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9");    // euro, e acute
    EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD\x62", &lossless), "a?b"); // a CJK character before b
    EXPECT_FALSE(lossless);
    EXPECT_EQ(Utf8ToCp1252("\xFF\xFE"), "\xFF\xFE"); // not UTF-8: taken byte for byte
}

TEST(Text, CaseAndWildcards) {
    EXPECT_EQ(Upper("abc\xE9\x9A\xFF"), "ABC\xC9\x8A\x9F");
    EXPECT_TRUE(EqualsNoCase("Map1.INF", "map1.inf"));
    struct Case {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"*.inf", ".inf", true}, {"a*b*c", "aXbYbc", true}, {"*", "", true},
        {"a*", "b", false},      {"**x", "abx", true},      {"*.inf", "a.inf.bak", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}
