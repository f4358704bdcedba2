#pragma once
// Picture loading for the map view and everything else that shows a map's picture. Widget-free:
// it takes a file, a wanted region and a scale, and hands back images and errors as values.
//
// A picture is opened once (its header read, what is wrong with it said in the program's
// words), then decoded by decoding processes, the program varnet-decoder, so that every decode
// is bounded and stoppable whatever the decoder does: the memory each piece of work will need is
// worked out before it starts (the output, a few rows, and what the format makes a decoder hold
// whole, such as a progressive JPEG's coefficients), work that does not fit waits or is refused,
// and abandoned work ends at once with its process. Pixels come back through shared memory.
//
// Pictures are decoded at levels: level k is 1/2^k of the full size each way.

#include "picture/PictureHeader.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace Picture {

// The bound on the memory pictures may take (Platform::PictureMemoryBound: VARNET_PICTURE_LIMIT_MB
// MiB when set to a positive number, at most the machine's memory; otherwise a quarter of the
// machine's memory, at least 256 MiB). Bytes. A value that is not used is reported once on
// standard error.
std::uint64_t MemoryLimit();
// What decoded pictures kept for drawing may take, the map view's tiles and the coverage's
// thumbnails together: 256 MiB, or an eighth of the bound if smaller. Bytes.
std::uint64_t CacheLimit();
// What they take now: the tiles kept in memory and the thumbnails handed out that are still
// held (a copy of such an image counts once). Bytes.
std::uint64_t CachedBytes();
// What decoding work under way may take together: the bound less the cache. Bytes.
std::uint64_t DecodeLimit();
// Starts the decoding processes, so that the first picture does not wait for them, and removes
// the disc cache's files that programs of this machine left when they died.
void Prepare();
// Has the memory of a part that fills `frame` ready, its pages had while the processor is idle,
// so that the first part a view shows (Tiled::Want) costs no more than its decoding.
void PrepareFrame(QSize frame);
// The decoding program that is started (VARNET_DECODER when set; else varnet-decoder beside
// the running program, then in the library folder's varnet/ of its installation, then where
// the build made it); "" when there is none. A picture then cannot be decoded, and says
// kDecoderMissing.
std::string DecoderPath();
constexpr const char* kDecoderMissing = "the picture decoder is missing: reinstall Varnet";

// A picture file as its header describes it, ready to be decoded.
struct Source {
    std::string path;  // native path
    QSize size;        // full size in pixels
    QByteArray format; // "jpeg", "bmp", "gif", "png"
    // How many times smaller each way the whole picture must be decoded to fit the memory bound
    // (1, 2, 4 ...).
    int reduction = 1;
    // What a decoder must hold of the whole picture at any scale (bytes), and why ("" for none:
    // "a progressive JPEG").
    std::uint64_t heldBytes = 0;
    std::string heldWhy;
    bool CanDecodeParts() const { return format == "jpeg"; }
};

// Opens a picture from what its header says (ProbeFile's probe, or a library entry's), reading
// nothing; `native` is its native path. Throws CoreError(FileError) with the probe's error when
// it has a fault, and when the picture is too large to decode at any scale (with the figures).
Source Open(const std::string& native, const Probe& probe);
// Opens the picture at a Windows path: its header read once (ProbeFile), then as above.
Source Open(const std::string& winPath);

// A decoded picture, or why it could not be decoded.
struct Decoded {
    QImage image;
    QRect region;      // the part of the full picture it shows (full-scale pixels)
    std::string error; // set when `image` is null
};

// Decodes `region` (full-scale pixels, cut to the picture) at the level of `scale` (the
// largest 1/2^k at least `scale`, and at most 1 / the source's reduction), waiting for it.
Decoded Decode(const Source& source, QRect region, double scale);

// Small pictures of many files: each request opens its file and decodes it reduced to at most
// `longest` pixels on its longer side, through the same bounded decoding. Results arrive on the
// thread this object lives in, in no set order; Clear abandons every request not yet answered
// (work under way stops at once). The pictures handed out count in CachedBytes() for as long as
// any copy of them is held.
class Thumbnails : public QObject {
    Q_OBJECT
public:
    explicit Thumbnails(QObject* parent = nullptr);
    ~Thumbnails() override;

    void Request(const QString& key, const std::string& winPath, int longest);
    void Clear();
    int Pending() const { return pending_; }
    // The bytes of the pictures it has handed out that are still held.
    std::int64_t Held() const;
    // A picture it handed out, smoothly reduced to at most `longest` pixels on its longer side,
    // counted as its own are.
    QImage Reduced(const QImage& image, int longest) const;

signals:
    // `image` is null and `error` says why when the picture cannot be shown.
    void Ready(const QString& key, const QImage& image, const QString& error, int longest);

private:
    struct Shared;
    QThreadPool pool_;
    std::shared_ptr<Shared> shared_;
    int pending_ = 0;
};

// A picture shown from tiles of a pyramid of levels (full size, 1/2, 1/4 ... down to one tile),
// built in the background by one pass over the file, so that drawing costs what the frame
// costs whatever the picture's size. Tiles are kept in shared memory when the whole pyramid
// fits CacheLimit(), otherwise in a file of the disc cache (at most a quarter of that disc's
// free space; removed with this object), read back into a memory cache of at most
// CacheLimit(). A picture whose full-size tiles the disc cannot take is kept from the
// finest level that fits, and Note() says so. Either way its tiles count in CachedBytes().
class Tiled : public QObject {
    Q_OBJECT
public:
    // Starts building the pyramid of an opened picture: what it needs is worked out at once,
    // its memory is had and its decoding asked for on the decoders' threads. Throws
    // CoreError(FileError) when its tiles can be kept nowhere, or with kDecoderMissing.
    explicit Tiled(const Source& source, QObject* parent = nullptr);
    ~Tiled() override; // work stopped at once, the disc cache removed

    const Source& Picture() const;
    // The finest level kept (0 unless the disc cache is too small), and the coarsest.
    int FinestLevel() const;
    int CoarsestLevel() const;
    // What the status bar says: "" or "Shown at 1/4 resolution: ...".
    std::string Note() const;
    // The disc cache's file, "" while the tiles are in memory.
    std::string CachePath() const;
    // True until the pyramid is built or has failed.
    bool Building() const;

    // Draws the part of the picture within `exposed` (pixels of the painter), the whole
    // picture's top-left corner being at `origin` and each full-scale pixel `zoom` painter
    // pixels wide. The level drawn is the coarsest at least as sharp as the zoom; a tile not
    // built yet shows the next coarser level that is, else a part decoded for the view, else
    // nothing (what was painted before). Asks for the parts it lacks.
    void Draw(class QPainter& painter, QRect exposed, QPointF origin, double zoom);
    // Asks for the tiles of `area` (full-scale pixels) at `zoom`, decoding that part ahead of
    // the pyramid when the pyramid has not reached it (with a margin around it unless `exact`,
    // as for the first screen, which comes soonest without one). Returns at once: Changed
    // says when the pixels have come.
    void Want(QRect area, double zoom, bool exact = false);
    // True when what `area` shows at `zoom` is there: its tiles, or a part as sharp.
    bool Ready(QRect area, double zoom) const;
    // Forgets the tiles of levels finer than `level` held so far, as when memory must be made;
    // drawing falls back to coarser levels until they are decoded again.
    void Forget(int level);

signals:
    // New pixels: tiles written, or a part decoded.
    void Changed();
    // The pyramid is built ("") or has failed (why).
    void Built(const QString& error);

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace Picture
