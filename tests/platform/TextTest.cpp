#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(Text, EveryByteSurvivesTheTripThroughUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    bool lossless = false;
    EXPECT_EQ(Utf8ToCp1252(utf8, &lossless), all);
    EXPECT_TRUE(lossless);
}

TEST(Text, ConvertsTheCodePagesOwnCharacters) {
    struct Case {
        std::string cp, utf8;
    } cases[] = {
        {"\x80", "\xE2\x82\xAC"}, // euro
        {"\xE9", "\xC3\xA9"},     // e acute
        {"\x8A", "\xC5\xA0"},     // S caron
        {"abc", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1252ToUtf8(c.cp), c.utf8);
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp);
    }
    bool lossless = true;
    EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD"
                           "b",
                           &lossless),
              "a?b"); // a CJK character
    EXPECT_FALSE(lossless);
    EXPECT_EQ(Utf8ToCp1252("\xFF\xFE"), "\xFF\xFE"); // not UTF-8: taken byte for byte
}

TEST(Text, CaseAndWildcards) {
    EXPECT_EQ(Upper("abc\xE9\x9A\xFF"), "ABC\xC9\x8A\x9F");
    EXPECT_EQ(Lower("ABC\xC9"), "abc\xE9");
    EXPECT_TRUE(EqualsNoCase("Map1.INF", "map1.inf"));
    EXPECT_TRUE(LessNoCase("a.inf", "B.inf"));
    EXPECT_FALSE(LessNoCase("b.inf", "A.inf"));
    struct Case {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"*.inf", "MAP.INF", true},    {"*.inf", "mapinf", false}, {"*.inf", ".inf", true},
        {"?.inf", "ab.inf", false},    {"a*b*c", "aXbYbc", true},  {"*", "", true},
        {"a?c", "abc", true},          {"a*", "b", false},         {"**x", "abx", true},
        {"*.inf", "a.inf.bak", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}
