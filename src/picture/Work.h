#pragma once
// Inside the picture component: the work its pictures hand the decoders, and the images made of
// what comes back.

#include "decoder/Protocol.h"
#include "picture/DecodeSystem.h"
#include "picture/DecoderPool.h"
#include "picture/PictureLoader.h"

#include <QImage>
#include <QRect>
#include <atomic>
#include <memory>

namespace Picture {

namespace Protocol = Decoder::Protocol;
using Protocol::LevelSide;

// The level a decode at `scale` is done at: the largest 1/2^k at least `scale`, not finer than
// `finest`.
int LevelFor(double scale, int finest);
// The level of the source's reduction (reduction 4: level 2).
int ReductionLevel(const Source& source);
// A part of the full picture (full-scale pixels) in pixels of `level`, and back: the full-scale
// pixels a part of a level covers.
QRect LevelRect(QRect full, int level, QSize size);
QRect FullRect(QRect rect, int level, QSize size);

// A request of the source's kind and size, for no work yet.
Protocol::Request BaseRequest(const Source& source);
// The work of decoding `rect` (pixels of `level`) into a block of shared memory made for it.
// Throws std::runtime_error when the memory cannot be had.
// `forView`: into a ViewBlock.
Decoders::Job RegionJob(const Source& source, int level, QRect rect,
                        std::shared_ptr<System::SharedBlock>& block, bool forView = false);
// A block of shared memory of at least `bytes` for a part the view draws: one that earlier parts
// used, now free, when there is one (its pages had already); else a new one, kept for the parts
// to come while few are. `mapped` says whether its pages are had. Kept blocks count in
// CachedBytes(). Throws std::runtime_error when the memory cannot be had.
std::shared_ptr<System::SharedBlock> ViewBlock(std::size_t bytes, bool& mapped);
// The pixels of a block as an image, the block kept until the last copy of it goes.
QImage ImageOf(const std::shared_ptr<System::SharedBlock>& block, QSize size);

// Counts `bytes` more (or fewer, when negative) in CachedBytes().
void CountCached(std::int64_t bytes);
// A count of bytes that pictures add to while they are held.
using Count = std::shared_ptr<std::atomic<std::int64_t>>;
// The same pixels, counted in CachedBytes() (and in `also`, when given) until the last copy of
// them goes.
QImage Counted(QImage image, Count also = {});

} // namespace Picture
