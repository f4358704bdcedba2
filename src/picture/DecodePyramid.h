#pragma once
// Inside the decoding process: the rows a decoder hands on, and the pyramid of tiles built from
// them (see DecodeProtocol.h for its layout). The pyramid is built by two threads beside the
// decoder's: one gathers rows into tiles and halves them into the next level, one writes the
// tiles out, so that decoding, halving and the disc work at once.

#include "picture/DecodeProtocol.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace Picture::Protocol {

// Where a decoder may write the next rows itself, in the receiver's own pixels
// (PixelBytes() bytes each: 4, words 0xffRRGGBB; 3, bytes B, G, R).
class DirectRows {
public:
    virtual ~DirectRows() = default;
    virtual int PixelBytes() const = 0;
    // Room for up to `wanted` of the next rows: their addresses into `rows`; how many (at
    // least one). Throws std::runtime_error when the rows cannot be taken any more.
    virtual int Room(unsigned char** rows, int wanted) = 0;
    // The first `n` rows of the room given last are written.
    virtual void Wrote(int n) = 0;
};

// Rows of one level, top down; Take returns false when no more are wanted.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool Take(const std::uint32_t* row) = 0;
    virtual void End() = 0;
    // Set when the decoder may write rows of the sink's own width in place instead.
    virtual DirectRows* Direct() { return nullptr; }
};

// Told of each tile row of a level once it is in the output (from another thread).
using Progress = std::function<void(int level, std::int64_t rows)>;

// The rows of level `r.level` in, every tile of levels r.level .. r.lastLevel written to
// `output` (a file, or memory shared with the program). End() returns once every tile is out.
// Throws std::runtime_error saying why (the memory cannot be had, the file cannot be written),
// from the constructor, Take, Room or End.
std::unique_ptr<Sink> PyramidSink(const Request& r, int output, Progress progress);

// One row of the next level from rows `a` and `b` of `width` pixels of `pixelBytes` each: each
// pixel the mean of the 2 x 2 under it, the last column paired with itself at an odd edge.
void HalveRow(const unsigned char* a, const unsigned char* b, std::int64_t width, int pixelBytes,
              unsigned char* out);

} // namespace Picture::Protocol
