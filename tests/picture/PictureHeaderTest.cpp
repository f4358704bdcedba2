#include "picture/PictureHeader.h"

#include <gtest/gtest.h>
#include <string>

using namespace Picture;
using namespace std::string_literals;

namespace {
std::string Le32(std::uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
// A 24-bit BMP header for w x h pixels whose data starts at byte 54.
std::string Bmp(std::int32_t w, std::int32_t h) {
    return "BM" + Le32(0) + Le32(0) + Le32(54) + Le32(40) + Le32(std::uint32_t(w)) +
           Le32(std::uint32_t(h)) + std::string("\x01\x00\x18\x00", 4) + Le32(0);
}
} // namespace

TEST(PictureHeader, SizesAndCompletenessFromTheHeaderAlone) {
    const std::string jpeg = "\xFF\xD8\xFF\xE0\x00\x04xx\xFF\xC0\x00\x11\x08\x01\x2C\x02\x58"s;
    struct Case {
        const char* what;
        std::string head, tail;
        std::uint64_t size;
        std::int64_t width, height;
        bool complete;
    } cases[] = {
        {"a whole bmp", Bmp(10, -4), "", 54 + 32 * 4, 10, 4, true},
        {"a bmp cut short", Bmp(10, 4), "", 54 + 32 * 3, 10, 4, false},
        {"a bmp header of 30 bytes", Bmp(10, 4).substr(0, 30), "", 30, 0, 0, false},
        {"widths beyond any file", Bmp(INT32_MIN, INT32_MIN), "", 1000, 2147483648LL, 2147483648LL,
         false},
        {"a gif with its trailer", "GIF89a\x20\x00\x10\x00"s, ";", 100, 32, 16, true},
        {"a gif without it", "GIF89a\x20\x00\x10\x00"s, "\x00"s, 100, 32, 16, false},
        {"a gif header cut short", "GIF89a\x20", "", 7, 0, 0, false},
        {"a jpeg", jpeg, "\xFF\xD9", 1000, 600, 300, true},
        {"a jpeg cut short", jpeg, "xx", 1000, 600, 300, false},
        {"a jpeg frame header past the bytes", jpeg.substr(0, 15), "\xFF\xD9", 15, 0, 0, true},
        {"a jpeg segment longer than the file", "\xFF\xD8\xFF\xE0\xFF\xFF"s, "\xFF\xD9", 6, 0, 0,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto h = InspectHeader(c.head, c.tail, c.size);
        ASSERT_TRUE(h.has_value());
        EXPECT_EQ(h->width, c.width);
        EXPECT_EQ(h->height, c.height);
        EXPECT_EQ(h->complete, c.complete);
    }
    EXPECT_FALSE(InspectHeader("\x89PNG", "", 4).has_value());
    EXPECT_FALSE(InspectHeader("", "", 0).has_value());
}
