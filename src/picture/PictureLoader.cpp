#include "picture/PictureLoader.h"

#include "picture/Work.h"
#include "platform/CoreError.h"
#include "platform/MemoryBound.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace Picture {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

std::uint64_t BytesFor(QSize size, int reduction = 1) {
    const std::uint64_t w =
        (std::uint64_t(size.width()) + reduction - 1) / std::uint64_t(reduction);
    const std::uint64_t h =
        (std::uint64_t(size.height()) + reduction - 1) / std::uint64_t(reduction);
    return w * h * 4;
}

Protocol::Kind KindOf(const Source& source) {
    return source.format == "bmp"   ? Protocol::Kind::Bmp
           : source.format == "gif" ? Protocol::Kind::Gif
           : source.format == "png" ? Protocol::Kind::Png
                                    : Protocol::Kind::Jpeg;
}

const char* FormatName(Format format) {
    switch (format) {
    case Format::Bmp:
        return "bmp";
    case Format::Gif:
        return "gif";
    case Format::Png:
        return "png";
    case Format::Jpeg:
        break;
    }
    return "jpeg";
}

std::atomic<std::int64_t> cached{0};

} // namespace

std::uint64_t MemoryLimit() {
    return Platform::PictureMemoryBound();
}

namespace {

// The blocks kept for the view's parts. Never destroyed: a thread may still use it at the exit.
struct Kept {
    std::mutex mutex;
    std::vector<std::shared_ptr<System::SharedBlock>> blocks;
};
// The part decoded and the one drawn: more would hold memory long after the parts have gone.
constexpr std::size_t kKeptBlocks = 2;

Kept& KeptBlocks() {
    static Kept* kept = new Kept;
    return *kept;
}

// Whether a block of `bytes` may be kept: a small share of the cache.
bool Keepable(std::size_t bytes) {
    return bytes <= CacheLimit() / 8;
}

// Keeps `block` (with the lock held) in place of a free one smaller, when there are enough.
void Keep(Kept& kept, const std::shared_ptr<System::SharedBlock>& block) {
    if (!Keepable(block->Size())) return;
    if (kept.blocks.size() >= kKeptBlocks) {
        auto smaller = std::find_if(kept.blocks.begin(), kept.blocks.end(), [&](const auto& k) {
            return k.use_count() == 1 && k->Size() < block->Size();
        });
        if (smaller == kept.blocks.end()) return;
        CountCached(-std::int64_t((*smaller)->Size()));
        kept.blocks.erase(smaller);
    }
    kept.blocks.push_back(block);
    CountCached(std::int64_t(block->Size()));
}

} // namespace

std::shared_ptr<System::SharedBlock> ViewBlock(std::size_t bytes, bool& mapped) {
    Kept& kept = KeptBlocks();
    std::lock_guard lock(kept.mutex);
    // Only the list holds a free one, and only under the lock is another copy of it made.
    const std::shared_ptr<System::SharedBlock>* best = nullptr;
    for (const auto& k : kept.blocks)
        if (k.use_count() == 1 && k->Size() >= bytes && (!best || k->Size() < (*best)->Size()))
            best = &k;
    mapped = best;
    if (best) return *best;
    auto block = std::make_shared<System::SharedBlock>(bytes);
    Keep(kept, block);
    return block;
}

void Prepare() {
    Decoders::Prepare();
    System::RemoveAbandonedTiles(); // a run that died leaves its tiles behind
}

void PrepareFrame(QSize frame) {
    const std::size_t bytes = std::size_t(frame.width()) * std::size_t(frame.height()) * 4;
    if (frame.isEmpty() || !Keepable(bytes)) return;
    try {
        bool mapped = false;
        std::shared_ptr<System::SharedBlock> block = ViewBlock(bytes, mapped);
        if (mapped) return; // one is ready
        // Held by the thread until its pages are had: no part takes it before.
        std::thread([block = std::move(block)] {
            System::RunWhenIdle();
            block->MapByPages();
        }).detach();
    } catch (const std::exception&) {
        // No memory or thread for it now: the first part has its memory made for it, as any
        // other.
    }
}

std::string DecoderPath() {
    return System::FindDecoder();
}

std::uint64_t CacheLimit() {
    return std::min<std::uint64_t>(256 * MiB, MemoryLimit() / 8);
}

std::uint64_t CachedBytes() {
    return std::uint64_t(std::max<std::int64_t>(0, cached.load()));
}

void CountCached(std::int64_t bytes) {
    cached += bytes;
}

QImage Counted(QImage image, Count also) {
    if (image.isNull()) return image;
    struct Kept {
        QImage image;
        Count also;
    };
    const std::int64_t bytes = image.sizeInBytes();
    CountCached(bytes);
    if (also) *also += bytes;
    // The image refers to the pixels of a copy kept until its last copy goes.
    auto* kept = new Kept{std::move(image), std::move(also)};
    return QImage(
        kept->image.constBits(), kept->image.width(), kept->image.height(),
        kept->image.bytesPerLine(), kept->image.format(),
        [](void* p) {
            auto* k = static_cast<Kept*>(p);
            const std::int64_t bytes = k->image.sizeInBytes();
            CountCached(-bytes);
            if (k->also) *k->also -= bytes;
            delete k;
        },
        kept);
}

std::uint64_t DecodeLimit() {
    return MemoryLimit() - CacheLimit();
}

Source Open(const std::string& native, const Probe& probe) {
    if (probe.fault != Probe::Fault::None) throw CoreError(ErrorKind::FileError, probe.error);
    const HeaderInfo& header = probe.info;
    Source source;
    source.path = native;
    source.format = FormatName(header.format);
    source.size = QSize(int(header.width), int(header.height));
    source.heldBytes = header.heldBytes;
    source.heldWhy = HeldName(header.held);
    // What any decode holds whatever its scale: the whole-picture data, and a few rows.
    const std::uint64_t least = source.heldBytes + std::uint64_t(source.size.width()) * 4 * 64;
    if (least > DecodeLimit())
        throw CoreError(ErrorKind::FileError,
                        "the picture is too large to decode (" +
                            (source.heldWhy.empty() ? std::string("a picture") : source.heldWhy) +
                            " of " + std::to_string(source.size.width()) + " x " +
                            std::to_string(source.size.height()) + " pixels needs " +
                            Platform::Grouped((least + MiB - 1) / MiB) +
                            " MiB at any scale; this machine allows " +
                            Platform::Grouped(DecodeLimit() / MiB) + " MiB)");
    // The largest scale, halving each way, at which the whole picture fits the bound beside
    // what its decode holds (BMP and GIF rows are halved as they are read).
    const std::uint64_t limit = MemoryLimit();
    while (BytesFor(source.size, source.reduction) + source.heldBytes > limit &&
           source.reduction < (1 << 20))
        source.reduction *= 2;
    return source;
}

Source Open(const std::string& winPath) {
    std::string native;
    const Probe probe = ProbeFile(winPath, &native);
    return Open(native, probe);
}

int LevelFor(double scale, int finest) {
    int level = 0;
    while (level < 30 && std::ldexp(1.0, -(level + 1)) >= scale * (1 - 1e-9)) ++level;
    return std::max(level, finest);
}

int ReductionLevel(const Source& source) {
    int level = 0;
    while ((1 << level) < source.reduction) ++level;
    return level;
}

Protocol::Request BaseRequest(const Source& source) {
    Protocol::Request r;
    r.kind = KindOf(source);
    r.width = source.size.width();
    r.height = source.size.height();
    return r;
}

Decoders::Job RegionJob(const Source& source, int level, QRect rect,
                        std::shared_ptr<System::SharedBlock>& block, bool forView) {
    Decoders::Job job;
    job.request = BaseRequest(source);
    job.request.work = Protocol::Work::Region;
    job.request.level = job.request.lastLevel = level;
    job.request.x = rect.x(), job.request.y = rect.y();
    job.request.w = rect.width(), job.request.h = rect.height();
    job.request.memory = DecodeLimit();
    job.path = source.path;
    const std::size_t bytes = std::size_t(rect.width()) * std::size_t(rect.height()) * 4;
    bool mapped = false;
    block = forView ? ViewBlock(bytes, mapped) : std::make_shared<System::SharedBlock>(bytes);
    job.output = block->Handle();
    job.keep = block;
    // Its pages had here while the decoder writes them, not when the part is first drawn.
    if (!mapped) job.meanwhile = [block = block.get()] { block->Map(); };
    // The output, a few rows of the widest level read, and what the format holds whole.
    job.reserve = bytes + std::uint64_t(source.size.width()) * 4 * 64 + source.heldBytes;
    return job;
}

QImage ImageOf(const std::shared_ptr<System::SharedBlock>& block, QSize size) {
    // The image uses the shared memory itself, kept until the last copy of the image goes.
    auto* keep = new std::shared_ptr<System::SharedBlock>(block);
    return QImage(
        block->Data(), size.width(), size.height(), size.width() * 4, QImage::Format_RGB32,
        [](void* p) { delete static_cast<std::shared_ptr<System::SharedBlock>*>(p); }, keep);
}

QRect LevelRect(QRect full, int level, QSize size) {
    const int s = 1 << level;
    const QRect whole(0, 0, LevelSide(size.width(), level), LevelSide(size.height(), level));
    return QRect(QPoint(full.left() / s, full.top() / s),
                 QPoint((full.right()) / s, (full.bottom()) / s))
        .intersected(whole);
}

QRect FullRect(QRect rect, int level, QSize size) {
    const int s = 1 << level;
    return QRect(QPoint(rect.left() * s, rect.top() * s),
                 QPoint(std::min(size.width(), (rect.right() + 1) * s) - 1,
                        std::min(size.height(), (rect.bottom() + 1) * s) - 1));
}

Decoded DecodeAt(const Source& source, QRect region, int level) {
    Decoded result;
    region = region.intersected(QRect(QPoint(), source.size));
    if (region.isEmpty()) {
        result.error = "nothing of the picture was asked for";
        return result;
    }
    const QRect rect = LevelRect(region, level, source.size);
    std::shared_ptr<System::SharedBlock> block;
    try {
        Decoders::Job job = RegionJob(source, level, rect, block);
        result.error = Decoders::Run(std::move(job));
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    if (result.error.empty()) {
        result.image = ImageOf(block, rect.size());
        result.region = FullRect(rect, level, source.size);
    }
    return result;
}

Decoded Decode(const Source& source, QRect region, double scale) {
    return DecodeAt(source, region, LevelFor(scale, ReductionLevel(source)));
}

} // namespace Picture
