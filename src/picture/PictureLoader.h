#pragma once
// Picture loading for the map view and everything else that shows a map's picture. Widget-free:
// it takes a file, a wanted region and a scale, and hands back images and errors as values.
//
// A picture is opened once (its header read, what is wrong with it said in the program's
// words), then decoded: a region at a scale on the calling thread (the first screen of a large
// map, in milliseconds), or the whole at a scale on a worker thread that can be abandoned at
// once. Formats that can decode a part or a reduced picture directly (JPEG) do so; others are
// decoded whole and then cut or reduced.
//
// The memory one decoded picture may take is bounded; a picture above the bound is decoded at
// the largest reduced scale (1/2, 1/4 ... each way) that fits it.

#include <QImage>
#include <QObject>
#include <QRect>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace Picture {

// The bound: VARNET_PICTURE_LIMIT_MB (MiB) when set to a positive number, otherwise a quarter of
// the machine's memory, at least 256 MiB. Bytes.
std::uint64_t MemoryLimit();

// A picture file as its header describes it.
struct Source {
    std::string path;  // native path
    QSize size;        // full size in pixels
    QByteArray format; // "jpeg", "bmp", "gif", ...
    // How many times smaller each way the picture must be decoded to fit the memory bound
    // (1, 2, 4 ...); 0 when no reduced decode can fit it (a format without one).
    int reduction = 1;
    bool CanDecodeParts() const { return format == "jpeg"; }
};

// Opens a picture at a Windows path. Throws CoreError(FileError) saying plainly why it cannot
// be shown: missing, a folder, not readable (and why), not a picture Varnet can read, cut short
// or damaged, or too large for any scale it can be decoded at.
Source Open(const std::string& winPath);

// The text the status bar shows for a picture shown reduced, "" for one shown whole:
// "Shown at 1/4 resolution: the picture needs 6,400 MiB; this machine allows 6,000 MiB."
std::string ReducedText(const Source& source);

// A decoded picture, or why it could not be decoded.
struct Decoded {
    QImage image;
    QRect region;      // the part of the full picture it shows (full-scale pixels)
    std::string error; // set when `image` is null
};

// Decodes `region` (full-scale pixels, cut to the picture) at `scale` (at most 1 / the source's
// reduction), on the calling thread.
Decoded Decode(const Source& source, QRect region, double scale);

// Whole-picture decodes on a worker thread, one at a time. A new Start, or Cancel, abandons the
// decode under way at once: its reading stops, its memory is released, and its result never
// arrives. Results arrive on the thread this object lives in.
class BackgroundDecode : public QObject {
    Q_OBJECT
public:
    explicit BackgroundDecode(QObject* parent = nullptr);
    ~BackgroundDecode() override;

    void Start(const Source& source, double scale);
    void Cancel();
    bool Busy() const { return busy_; }

signals:
    void Finished(const Picture::Decoded& result);

private:
    QThreadPool pool_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    std::uint64_t generation_ = 0;
    bool busy_ = false;
};

// Small pictures of many files, on worker threads: each request opens its file and decodes it
// reduced to at most `longest` pixels on its longer side (JPEG by scaled decoding). Results
// arrive on the thread this object lives in, in no set order; Clear abandons every request not
// yet answered.
class Thumbnails : public QObject {
    Q_OBJECT
public:
    explicit Thumbnails(QObject* parent = nullptr);
    ~Thumbnails() override;

    void Request(const QString& key, const std::string& winPath, int longest);
    void Clear();
    int Pending() const { return pending_; }

signals:
    // `image` is null and `error` says why when the picture cannot be shown.
    void Ready(const QString& key, const QImage& image, const QString& error, int longest);

private:
    QThreadPool pool_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    int pending_ = 0;
};

} // namespace Picture
