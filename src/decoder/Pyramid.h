#pragma once
// Inside the decoder: the pyramid of tiles built from the rows a reader hands on (see Protocol.h
// for its layout). It is built by two threads beside the reader's: one gathers rows into tiles
// and halves them into the next level, one writes the tiles out, so that decoding, halving and
// the disc work at once.

#include "decoder/Rows.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace Decoder {

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

} // namespace Decoder
