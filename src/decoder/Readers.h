#pragma once
// Inside the decoder: the readers of the picture formats, each reading a picture file row after
// row from its descriptor into a sink, so that what it holds is a few rows (and what the format
// itself makes it keep whole, counted against the request's working memory first). Each checks
// that the file is the size the request says, and throws Failure saying why it cannot go on.

#include "decoder/Rows.h"

namespace Decoder {

// Rows of level `from` (0 to 3: libjpeg's own scaling), those from `firstRow` on, of which
// columns `x0` .. `x1` - 1 are wanted (others may be left as they are).
void ReadJpeg(int fd, const Request& r, int from, std::int64_t firstRow, std::int64_t x0,
              std::int64_t x1, Sink& sink);
// The first picture of the file on its logical screen, at full size.
void ReadGif(int fd, const Request& r, Sink& sink);
// Rows from `firstRow` on, at full size.
void ReadBmp(int fd, const Request& r, std::int64_t firstRow, Sink& sink);
// Every row, at full size.
void ReadPng(int fd, const Request& r, Sink& sink);

} // namespace Decoder
