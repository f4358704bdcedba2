#include "picture/PictureLoader.h"

#include "picture/PictureHeader.h"
#include "platform/CoreError.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/System.h"
#include "platform/WinPath.h"

#include <QFile>
#include <QImageReader>
#include <QThread>
#include <algorithm>
#include <cmath>

namespace Picture {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

[[noreturn]] void Fail(const std::string& why) {
    throw CoreError(ErrorKind::FileError, why);
}

std::uint64_t BytesFor(QSize size, int reduction = 1) {
    const std::uint64_t w = std::uint64_t(size.width()) / std::uint64_t(reduction);
    const std::uint64_t h = std::uint64_t(size.height()) / std::uint64_t(reduction);
    return w * h * 4;
}

// Thousands separated: 6,400.
std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(std::size_t(at), ",");
    return digits;
}

// A file whose reads fail once its decode is abandoned, so the decoder stops where it is.
class CancellableFile : public QFile {
public:
    CancellableFile(const QString& name, std::shared_ptr<std::atomic<bool>> cancelled)
        : QFile(name), cancelled_(std::move(cancelled)) {}

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (cancelled_ && *cancelled_) return -1;
        return QFile::readData(data, maxSize);
    }

private:
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

Decoded DecodeFrom(QIODevice& device, const Source& source, QRect region, double scale) {
    Decoded result;
    const QRect whole(QPoint(0, 0), source.size);
    region = region.intersected(whole);
    if (region.isEmpty() || !device.open(QIODevice::ReadOnly)) {
        result.error = region.isEmpty() ? "nothing of the picture was asked for"
                                        : device.errorString().toStdString();
        return result;
    }
    QImageReader reader(&device, source.format);
    reader.setAutoTransform(false);
    scale = std::clamp(scale, 1e-6, 1.0);
    if (source.CanDecodeParts()) {
        // The decoder reads only as far as the region and reduces as it reads.
        if (scale < 1) {
            const QSize scaled(std::max(1, int(std::lround(source.size.width() * scale))),
                               std::max(1, int(std::lround(source.size.height() * scale))));
            const double sx = double(scaled.width()) / source.size.width();
            const double sy = double(scaled.height()) / source.size.height();
            const QRect part = QRect(QPoint(int(std::floor(region.left() * sx)),
                                            int(std::floor(region.top() * sy))),
                                     QPoint(int(std::ceil((region.right() + 1) * sx)) - 1,
                                            int(std::ceil((region.bottom() + 1) * sy)) - 1))
                                   .intersected(QRect(QPoint(), scaled));
            reader.setScaledSize(scaled);
            if (part != QRect(QPoint(), scaled)) reader.setScaledClipRect(part);
            result.image = reader.read();
            result.region = QRect(
                QPoint(int(std::lround(part.left() / sx)), int(std::lround(part.top() / sy))),
                QSize(int(std::lround(part.width() / sx)), int(std::lround(part.height() / sy))));
        } else {
            if (region != whole) reader.setClipRect(region);
            result.image = reader.read();
            result.region = region;
        }
    } else {
        // Decoded whole, then cut and reduced.
        result.image = reader.read();
        if (!result.image.isNull() && region != whole) result.image = result.image.copy(region);
        if (!result.image.isNull() && scale < 1)
            result.image =
                result.image.scaled(std::max(1, int(std::lround(region.width() * scale))),
                                    std::max(1, int(std::lround(region.height() * scale))),
                                    Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        result.region = region;
    }
    if (result.image.isNull())
        result.error = "the picture is damaged or cannot be decoded (" +
                       reader.errorString().toStdString() + ")";
    return result;
}

} // namespace

std::uint64_t MemoryLimit() {
    const std::string set = Platform::GetEnv("VARNET_PICTURE_LIMIT_MB");
    if (!set.empty()) {
        char* end = nullptr;
        const unsigned long long mb = std::strtoull(set.c_str(), &end, 10);
        if (end && *end == '\0' && mb > 0 && mb < (1ull << 40)) return mb * MiB;
    }
    return std::max<std::uint64_t>(256 * MiB, Platform::PhysicalMemoryBytes() / 4);
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

    const std::uint64_t limit = MemoryLimit();
    QImageReader::setAllocationLimit(int(std::min<std::uint64_t>(limit / MiB, INT32_MAX)));
    Source source;
    source.path = *native;
    const auto header = InspectHeader(head, tail, fileSize);
    if (header) {
        source.format = header->format == Format::Bmp   ? "bmp"
                        : header->format == Format::Gif ? "gif"
                        : header->format == Format::Png ? "png"
                                                        : "jpeg";
        if (header->width > 0 && header->height > 0 && header->width <= INT32_MAX &&
            header->height <= INT32_MAX)
            source.size = QSize(int(header->width), int(header->height));
    }
    if (!source.size.isValid() || source.size.isEmpty()) {
        QImageReader reader(QString::fromStdString(source.path));
        if (!reader.canRead()) Fail("it is not a picture in a format Varnet can read");
        source.format = reader.format();
        source.size = reader.size();
        if (!source.size.isValid() || source.size.isEmpty())
            Fail("the picture is damaged or cannot be decoded (" +
                 reader.errorString().toStdString() + ")");
    }
    // The largest scale, halving each way, at which the whole picture fits the bound; a format
    // that cannot decode reduced must fit whole.
    int reduction = 1;
    while (BytesFor(source.size, reduction) > limit && reduction < (1 << 20)) reduction *= 2;
    if (reduction > 1 && !source.CanDecodeParts()) {
        const std::uint64_t bytes = BytesFor(source.size);
        Fail("the picture is too large (" + std::to_string(source.size.width()) + " x " +
             std::to_string(source.size.height()) + " pixels needs " + std::to_string(bytes / MiB) +
             " MiB; this machine allows " + std::to_string(limit / MiB) + " MiB)");
    }
    source.reduction = reduction;
    if (header && !header->complete) Fail("the picture file is incomplete (cut short or damaged)");
    return source;
}

std::string ReducedText(const Source& source) {
    if (source.reduction <= 1) return {};
    return "Shown at 1/" + std::to_string(source.reduction * source.reduction) +
           " resolution: the picture needs " + Grouped(BytesFor(source.size) / MiB) +
           " MiB; this machine allows " + Grouped(MemoryLimit() / MiB) + " MiB.";
}

Decoded Decode(const Source& source, QRect region, double scale) {
    QFile file(QString::fromStdString(source.path));
    // Never larger than the memory bound allows.
    return DecodeFrom(file, source, region, std::min(scale, 1.0 / source.reduction));
}

BackgroundDecode::BackgroundDecode(QObject* parent) : QObject(parent) {
    pool_.setMaxThreadCount(1); // one decode at a time: an abandoned one frees its memory first
}

BackgroundDecode::~BackgroundDecode() {
    Cancel();
    pool_.waitForDone();
}

void BackgroundDecode::Cancel() {
    if (cancelled_) *cancelled_ = true;
    cancelled_.reset();
    ++generation_;
    busy_ = false;
}

void BackgroundDecode::Start(const Source& source, double scale) {
    Cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    cancelled_ = cancelled;
    busy_ = true;
    const std::uint64_t generation = generation_;
    scale = std::min(scale, 1.0 / source.reduction);
    pool_.start([this, source, scale, cancelled, generation] {
        if (*cancelled) return;
        CancellableFile file(QString::fromStdString(source.path), cancelled);
        Decoded result = DecodeFrom(file, source, QRect(QPoint(), source.size), scale);
        if (*cancelled) return; // abandoned: nothing is kept
        // This object outlives its pool's work (its destructor waits for it).
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result), generation] {
                if (generation != generation_) return; // a later decode has begun
                busy_ = false;
                emit Finished(result);
            },
            Qt::QueuedConnection);
    });
}

Thumbnails::Thumbnails(QObject* parent) : QObject(parent) {
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    cancelled_ = std::make_shared<std::atomic<bool>>(false);
}

Thumbnails::~Thumbnails() {
    Clear();
    pool_.waitForDone();
}

void Thumbnails::Clear() {
    *cancelled_ = true;
    cancelled_ = std::make_shared<std::atomic<bool>>(false);
    pool_.clear(); // requests not started go at once
    pending_ = 0;
}

void Thumbnails::Request(const QString& key, const std::string& winPath, int longest) {
    ++pending_;
    pool_.start([this, key, winPath, longest, cancelled = cancelled_] {
        if (*cancelled) return;
        QImage image;
        std::string error;
        try {
            const Source source = Open(winPath);
            const double scale = std::min(
                1.0, double(longest) / std::max(source.size.width(), source.size.height()));
            Decoded d = Decode(source, QRect(QPoint(), source.size), scale);
            image = std::move(d.image);
            error = std::move(d.error);
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (*cancelled) return;
        QMetaObject::invokeMethod(
            this,
            [this, key, image = std::move(image), error = QString::fromStdString(error), longest,
             cancelled] {
                if (*cancelled) return;
                --pending_;
                emit Ready(key, image, error, longest);
            },
            Qt::QueuedConnection);
    });
}

} // namespace Picture
