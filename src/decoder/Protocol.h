#pragma once
// What passes between a program and its decoding process, the program varnet-decoder: the
// picture component's side and the decoder's include it, nothing else. The decoder serves the
// socket it finds at descriptor kSocket. A request names a picture file and one piece of work;
// the decoder answers with progress and then one final reply. Pixels never pass through the
// socket: they are written into a file or shared memory handed over with the request.
//
// Pixels are 32-bit words 0xffRRGGBB (QImage::Format_RGB32), or in a pyramid's tiles of
// `pixelBytes` 3, bytes B, G, R (a quarter less to write to the disc). Level k of a picture of W x
// H pixels is ceil(W / 2^k) x ceil(H / 2^k), each pixel the mean of the 2 x 2 (or fewer, at an odd
// edge) pixels of level k - 1 under it.

#include <cstdint>

namespace Decoder::Protocol {

// The descriptor of the socket a decoder serves, set up by the program that starts it.
constexpr int kSocket = 3;
// Changed with the requests' layout: a decoder refuses a request of another version.
constexpr std::uint32_t kVersion = 1;

enum class Work : std::uint32_t {
    // Region x, y, w, h of level `level`, written row after row (w * 4 bytes each) into the
    // shared memory handed over.
    Region = 1,
    // Every tile of levels `level` .. `lastLevel`, each tile * tile * pixelBytes bytes (pixels
    // beyond the level's edge left as they are), level after level in the file or memory handed
    // over: level k's tile (column c, row r) at offset levelOffset[k] + (r * columns_k + c) *
    // tileBytes. Tile rows are reported as they are written, each level's in order.
    Pyramid = 2,
};

enum class Kind : std::uint32_t { Bmp = 0, Gif = 1, Jpeg = 2, Png = 3 };

constexpr int kMaxLevels = 32;

// The side of level `level` of a side of `side` pixels.
constexpr std::int64_t LevelSide(std::int64_t side, int level) {
    return (side + (std::int64_t(1) << level) - 1) >> level;
}

// Rows a decoder hands on to a pyramid at a time, and how many such bundles it may fill ahead.
constexpr int kBundleRows = 32, kBundles = 4;

// What building a pyramid of levels `level` .. `lastLevel` of a picture `width` pixels wide
// holds beside its decoder, in bytes: the bundles of rows, and of each level a row and two strips
// of tiles (one filled while the other is written).
constexpr std::uint64_t PyramidBytes(std::int64_t width, int level, int lastLevel, int tile,
                                     int pixelBytes) {
    std::uint64_t bytes = std::uint64_t(kBundles) * std::uint64_t(kBundleRows) *
                          std::uint64_t(LevelSide(width, level)) * std::uint64_t(pixelBytes);
    for (int k = level; k <= lastLevel; ++k) {
        const std::uint64_t columns = std::uint64_t((LevelSide(width, k) + tile - 1) / tile);
        bytes += columns * std::uint64_t(tile) * std::uint64_t(pixelBytes);
        bytes +=
            2 * columns * std::uint64_t(tile) * std::uint64_t(tile) * std::uint64_t(pixelBytes);
    }
    return bytes;
}

struct Request {
    std::uint32_t protocol = kVersion;
    Work work = Work::Region;
    Kind kind = Kind::Jpeg;
    std::int64_t width = 0, height = 0; // the picture's full size, as its header says
    std::int32_t level = 0, lastLevel = 0;
    std::int64_t x = 0, y = 0, w = 0, h = 0;
    std::int32_t tile = 256;
    std::int32_t pixelBytes = 4; // of a pyramid's tiles
    std::uint64_t levelOffset[kMaxLevels] = {};
    std::uint64_t memory = 0;    // the working memory the process may take for this work, bytes
    std::uint32_t pathBytes = 0; // followed by the picture's native path
};

enum class Answer : std::uint32_t {
    Progress = 1, // tile rows 0 .. `rows` - 1 of `level` are written
    Done = 2,
    Failed = 3, // followed by `textBytes` of the reason, in the program's words
};

struct Reply {
    Answer answer = Answer::Done;
    std::int32_t level = 0;
    std::int64_t rows = 0;
    std::uint32_t textBytes = 0;
};

} // namespace Decoder::Protocol
