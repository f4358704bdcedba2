#include "picture/PictureLoader.h"

#include "picture/DecodeSystem.h"
#include "picture/Decoders.h"
#include "picture/PictureHeader.h"
#include "platform/CoreError.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/System.h"
#include "platform/WinPath.h"

using Picture::Protocol::LevelSide;

#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Picture {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

[[noreturn]] void Fail(const std::string& why) {
    throw CoreError(ErrorKind::FileError, why);
}

std::uint64_t BytesFor(QSize size, int reduction = 1) {
    const std::uint64_t w =
        (std::uint64_t(size.width()) + reduction - 1) / std::uint64_t(reduction);
    const std::uint64_t h =
        (std::uint64_t(size.height()) + reduction - 1) / std::uint64_t(reduction);
    return w * h * 4;
}

std::uint64_t Default() {
    return std::max<std::uint64_t>(256 * MiB, Platform::PhysicalMemoryBytes() / 4);
}

// Says once on standard error why the value set is not the one used.
void Note(const std::string& set, const std::string& why) {
    static std::mutex mutex;
    static std::string told;
    std::lock_guard lock(mutex);
    if (told == set) return;
    told = set;
    std::fprintf(stderr, "varnet: VARNET_PICTURE_LIMIT_MB=%s %s\n", set.c_str(), why.c_str());
}

} // namespace

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(std::size_t(at), ",");
    return digits;
}

Protocol::Kind KindOf(const Source& source) {
    return source.format == "bmp"   ? Protocol::Kind::Bmp
           : source.format == "gif" ? Protocol::Kind::Gif
           : source.format == "png" ? Protocol::Kind::Png
                                    : Protocol::Kind::Jpeg;
}

std::uint64_t MemoryLimit() {
    const std::string set = Platform::GetEnv("VARNET_PICTURE_LIMIT_MB");
    if (set.empty()) return Default();
    char* end = nullptr;
    const unsigned long long mb = std::strtoull(set.c_str(), &end, 10);
    const bool number =
        end && *end == '\0' && set.find_first_not_of("0123456789") == std::string::npos;
    if (!number || mb == 0) {
        Note(set, "is not a positive number of MiB; the default of " + Grouped(Default() / MiB) +
                      " MiB is used");
        return Default();
    }
    const std::uint64_t machine = Platform::PhysicalMemoryBytes();
    if (machine > 0 && (mb >= machine / MiB || mb >= (1ull << 40))) {
        Note(set, "is more than this machine's memory; " + Grouped(machine / MiB) + " MiB is used");
        return machine;
    }
    return mb * MiB;
}

void Prepare() {
    Decoders::Prepare();
}

std::uint64_t TileCacheLimit() {
    return std::min<std::uint64_t>(256 * MiB, MemoryLimit() / 8);
}

std::uint64_t DecodeLimit() {
    return MemoryLimit() - TileCacheLimit();
}

Source Open(const std::string& winPath) {
    std::string head, tail, error;
    std::uint64_t fileSize = 0;
    if (!Platform::ReadFileEnds(winPath, kHeadBytes, kTailBytes, head, tail, fileSize, error)) {
        if (error.find("names a folder") != std::string::npos)
            Fail("the path names a folder, not a picture");
        if (error == "File not found" || error == "Path not found") Fail(error);
        Fail("the picture cannot be read: " + error);
    }
    const auto native = Platform::ToNativePath(winPath);
    if (!native) Fail("Path not found");

    Source source;
    source.path = *native;
    const auto header = InspectHeader(head, tail, fileSize);
    if (!header) Fail("it is not a picture in a format Varnet can read");
    source.format = header->format == Format::Bmp   ? "bmp"
                    : header->format == Format::Gif ? "gif"
                    : header->format == Format::Png ? "png"
                                                    : "jpeg";
    if (header->width <= 0 || header->height <= 0 || header->width > INT32_MAX ||
        header->height > INT32_MAX)
        Fail("the picture is damaged or cannot be decoded (its header gives no size)");
    source.size = QSize(int(header->width), int(header->height));
    if (!header->complete) Fail("the picture file is incomplete (cut short or damaged)");

    const std::uint64_t limit = MemoryLimit();
    source.heldBytes = header->heldBytes;
    if (header->format == Format::Png) { // decoded whole and copied, then handed on by rows
        source.heldBytes =
            std::uint64_t(source.size.width()) * std::uint64_t(source.size.height()) * 8;
        source.heldWhy = "a PNG";
    }
    switch (header->held) {
    case Held::Nothing:
        break;
    case Held::Progressive:
        source.heldWhy = "a progressive JPEG";
        break;
    case Held::SeveralScans:
        source.heldWhy = "a JPEG of several scans";
        break;
    case Held::CompressedBmp:
        source.heldWhy = "a compressed BMP";
        break;
    case Held::InterlacedGif:
        source.heldWhy = "an interlaced GIF";
        break;
    }
    // What any decode holds whatever its scale: the whole-picture data, and a few rows.
    const std::uint64_t least = source.heldBytes + std::uint64_t(source.size.width()) * 4 * 64;
    if (least > DecodeLimit())
        Fail("the picture is too large to decode (" +
             (source.heldWhy.empty() ? std::string("a picture") : source.heldWhy) + " of " +
             std::to_string(source.size.width()) + " x " + std::to_string(source.size.height()) +
             " pixels needs " + Grouped((least + MiB - 1) / MiB) +
             " MiB at any scale; this machine allows " + Grouped(DecodeLimit() / MiB) + " MiB)");
    // The largest scale, halving each way, at which the whole picture fits the bound beside
    // what its decode holds (BMP and GIF rows are halved as they are read).
    int reduction = 1;
    while (BytesFor(source.size, reduction) + source.heldBytes > limit && reduction < (1 << 20))
        reduction *= 2;
    source.reduction = reduction;
    return source;
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
                        std::shared_ptr<System::SharedBlock>& block) {
    Decoders::Job job;
    job.request = BaseRequest(source);
    job.request.work = Protocol::Work::Region;
    job.request.level = job.request.lastLevel = level;
    job.request.x = rect.x(), job.request.y = rect.y();
    job.request.w = rect.width(), job.request.h = rect.height();
    job.request.memory = DecodeLimit();
    job.path = source.path;
    const std::size_t bytes = std::size_t(rect.width()) * std::size_t(rect.height()) * 4;
    block = std::make_shared<System::SharedBlock>(bytes);
    job.output = block->Handle();
    job.keep = block;
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

struct Thumbnails::Shared {
    Decoders::Mailbox mailbox;
    std::mutex mutex;
    std::set<Decoders::Ticket> tickets;
    std::uint64_t generation = 0;
    explicit Shared(QObject* target) : mailbox(target) {}
};

Thumbnails::Thumbnails(QObject* parent) : QObject(parent) {
    // Files opened off the interface thread; the decoding itself is the processes'.
    pool_.setMaxThreadCount(2);
    shared_ = std::make_shared<Shared>(this);
}

Thumbnails::~Thumbnails() {
    Clear();
    shared_->mailbox.Close();
    pool_.waitForDone();
}

void Thumbnails::Clear() {
    pool_.clear(); // requests not started go at once
    std::set<Decoders::Ticket> tickets;
    {
        std::lock_guard lock(shared_->mutex);
        ++shared_->generation;
        tickets.swap(shared_->tickets);
    }
    for (const auto& t : tickets) Decoders::Cancel(t);
    pending_ = 0;
}

void Thumbnails::Request(const QString& key, const std::string& winPath, int longest) {
    ++pending_;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(shared_->mutex);
        generation = shared_->generation;
    }
    auto shared = shared_;
    auto answer = [this, shared, key, longest, generation](QImage image, std::string error) {
        shared->mailbox.Post([=, this] {
            {
                std::lock_guard lock(shared->mutex);
                if (generation != shared->generation) return; // cleared since
            }
            --pending_;
            emit Ready(key, image, QString::fromStdString(error), longest);
        });
    };
    pool_.start([shared, winPath, longest, generation, answer] {
        {
            std::lock_guard lock(shared->mutex);
            if (generation != shared->generation) return;
        }
        Source source;
        int level = 0;
        QRect rect;
        std::shared_ptr<System::SharedBlock> block;
        Decoders::Job job;
        try {
            source = Open(winPath);
            // The finest level no larger than needed, then smoothly reduced to the size asked.
            const int larger = std::max(source.size.width(), source.size.height());
            while ((LevelSide(larger, level + 1)) >= longest && level < 30) ++level;
            level = std::max(level, ReductionLevel(source));
            rect = LevelRect(QRect(QPoint(), source.size), level, source.size);
            job = RegionJob(source, level, rect, block);
        } catch (const std::exception& e) {
            answer(QImage(), e.what());
            return;
        }
        job.ticket = std::make_shared<std::atomic<bool>>(false);
        job.done = [answer, block, rect, source, longest, shared,
                    ticket = job.ticket](const std::string& error) {
            {
                std::lock_guard lock(shared->mutex);
                shared->tickets.erase(ticket);
            }
            if (!error.empty()) return answer(QImage(), error);
            const QSize target = source.size.scaled(longest, longest, Qt::KeepAspectRatio);
            QImage image = ImageOf(block, rect.size());
            if (target.width() < rect.width() || target.height() < rect.height())
                image = image.scaled(target.boundedTo(rect.size()), Qt::IgnoreAspectRatio,
                                     Qt::SmoothTransformation);
            else
                image = image.copy(); // off the shared memory
            answer(image, {});
        };
        std::lock_guard lock(shared->mutex);
        if (generation != shared->generation) return;
        shared->tickets.insert(job.ticket);
        Decoders::Submit(std::move(job));
    });
}

} // namespace Picture
