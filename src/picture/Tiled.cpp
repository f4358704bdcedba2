// The tiled picture: its pyramid built by one decoding pass, its tiles drawn from shared memory
// or from the disc cache through a memory cache, and parts decoded ahead for the view.
#include "picture/Work.h"
#include "platform/CoreError.h"
#include "platform/MemoryBound.h"

#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <list>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

namespace Picture {

namespace {

using Platform::Grouped;
constexpr int kTile = 256;
// A tile as drawn, and as the memory cache counts it.
constexpr std::uint64_t kTileBytes = std::uint64_t(kTile) * kTile * 4;
constexpr std::uint64_t MiB = 1024 * 1024;
// How long the pass waits for the first screen to be drawn, at most.
constexpr int kPassAfterMs = 100;

} // namespace

struct Tiled::State {
    ~State() { CountCached(-std::int64_t(counted)); }
    Source source;
    int finest = 0, coarsest = 0;
    std::uint64_t total = 0;   // the bytes of the tiles kept
    std::uint64_t counted = 0; // of them, in CachedBytes() while this lives
    std::uint64_t offsets[Protocol::kMaxLevels] = {};
    std::int64_t columns[Protocol::kMaxLevels] = {};
    std::string note;
    int pixelBytes = 4;          // of the tiles kept: 3 in the disc cache, which is read seldom
    std::uint64_t tileBytes = 0; // kept
    std::shared_ptr<System::SharedBlock> memory; // the whole pyramid, or
    std::shared_ptr<System::TileFile> disc;      // the disc cache with a memory cache of tiles
    std::list<std::uint64_t> recent;             // tiles read from disc, most recent first
    std::unordered_map<std::uint64_t, std::pair<QImage, std::list<std::uint64_t>::iterator>> cache;
    std::shared_ptr<Decoders::Mailbox> mailbox;
    Decoders::Ticket pyramid, region;
    // The pass over the whole picture, started once the first part in view is decoded and drawn
    // (or at once when none is asked for, and soon when none is drawn), so that the first screen
    // has the processor to itself.
    std::optional<Decoders::Job> pass;
    void StartPass() {
        std::optional<Decoders::Job> job;
        {
            std::lock_guard lock(mutex);
            job.swap(pass);
        }
        if (job && !*job->ticket) Decoders::Submit(std::move(*job));
    }

    // Shared with the decoding threads.
    std::mutex mutex;
    std::int64_t rows[Protocol::kMaxLevels] = {}; // tile rows written, per level
    std::int64_t forgotten[Protocol::kMaxLevels] = {};
    std::atomic<bool> told{false}; // a Changed for new rows is on its way
    bool building = true;
    struct Part {
        QImage image;
        int level;
        QRect rect; // in pixels of its level
    };
    std::vector<Part> parts; // decoded ahead of the pyramid, newest last
    bool regionBusy = false;
    QRect regionRect;
    int regionLevel = -1;

    std::int64_t Rows(int level) {
        return level < finest || level > coarsest ? 0 : rows[level] - forgotten[level];
    }
    std::int64_t TileRows(int level) const {
        return (LevelSide(source.size.height(), level) + kTile - 1) / kTile;
    }
    // Level `level`'s tile (c, r) as an image of its pixels; nothing when it is not there, or
    // not read from the disc yet (it is then asked for).
    QImage Tile(int level, std::int64_t c, std::int64_t r);
    // Tiles asked of the disc, read on a thread of their own; the latest draw's only.
    struct Wanted {
        std::uint64_t at;
        int w, h;
    };
    std::deque<Wanted> toRead;
    std::set<std::uint64_t> wanted;
    std::condition_variable readWake;
    bool stopping = false;
    std::thread reader;
    void Read();
    // Tells the view, soon, that pixels have come.
    std::function<void()> Tell;
    void Told(const std::weak_ptr<State>& weak); // sets Tell

    // A rectangle of level k on the painter.
    using Place = std::function<QRectF(int k, QRectF rect)>;
    // Draws the tiles of `level` within `want` (pixels of the level), a coarser level's where a
    // tile is not there (`gaps` gathers where); true when tiles are missing that the pyramid has
    // not reached.
    bool DrawTiles(QPainter& p, int level, QRectF want, const Place& place, QRegion& gaps);
    // Draws `area` (pixels of `level`) from the next coarser level that has it, if any.
    bool DrawCoarser(QPainter& p, int level, QRectF area, const Place& place);
    // Asks for `rect` of `level` ahead of the pyramid, dropping the part asked for before; false
    // when there is no memory for it now. Called with `mutex` held.
    bool AskPart(const std::weak_ptr<State>& weak, int level, QRect rect);

    // What the pass over the whole picture holds: a few rows, what the format holds whole, and
    // what the pyramid's building holds (more when its tiles go to the disc).
    std::uint64_t PassBytes(int finestLevel, bool inMemory) const;
    // Works out the levels kept, where (true: in memory) and the note; sets the offsets.
    bool Plan();
    // The finest level from `from` on whose tiles fit the memory cache whole, decoded within
    // the bound.
    int MemoryFinest(int from) const;
    // Sets the offsets and the total of the levels kept, `pixelBytes` a pixel.
    void Lay();
    // The start of a note: "Shown at 1/N resolution: ".
    static std::string Reduced(int level);
    // Has the memory or the disc cache's file for the tiles; a disc cache that cannot be made
    // leaves the tiles in memory, from a coarser level if need be, with a note saying why.
    // Throws CoreError(FileError) when the memory cannot be had.
    void Keep(bool inMemory);
    // The pass over the whole picture, telling this state of its rows.
    Decoders::Job PassJob(const std::weak_ptr<State>& weak, bool inMemory);
    // True when tiles of `level`, or a part as sharp, cover `rect` (pixels of the level).
    bool Covers(int level, QRect rect) {
        if (!building && Rows(level) >= TileRows(level)) return true;
        if (rect.bottom() / kTile < Rows(level)) return true;
        const int f = 1 << level;
        for (const auto& part : parts)
            if (part.level <= level && QRect(part.rect.topLeft() * (1 << part.level) / f,
                                             part.rect.size() * (1 << part.level) / f)
                                           .contains(rect))
                return true;
        return false;
    }
};

QImage Tiled::State::Tile(int level, std::int64_t c, std::int64_t r) {
    const int w =
        int(std::min<std::int64_t>(kTile, LevelSide(source.size.width(), level) - c * kTile));
    const int h =
        int(std::min<std::int64_t>(kTile, LevelSide(source.size.height(), level) - r * kTile));
    const std::uint64_t at = offsets[level] + std::uint64_t(r * columns[level] + c) * tileBytes;
    if (memory) return QImage(memory->Data() + at, w, h, kTile * 4, QImage::Format_RGB32);
    if (auto hit = cache.find(at); hit != cache.end()) {
        recent.splice(recent.begin(), recent, hit->second.second);
        return hit->second.first;
    }
    // Read from the disc on the reader's thread: the interface never waits for the disc.
    if (wanted.insert(at).second) toRead.push_back({at, w, h});
    return QImage();
}

void Tiled::State::Read() {
    std::unique_lock lock(mutex);
    for (;;) {
        readWake.wait(lock, [&] { return stopping || !toRead.empty(); });
        if (stopping) return;
        const Wanted next = toRead.front();
        toRead.pop_front();
        lock.unlock();
        const std::size_t row = std::size_t(kTile) * std::size_t(pixelBytes);
        std::vector<unsigned char> raw(row * std::size_t(next.h));
        const bool read = disc->Read(next.at, raw.data(), raw.size());
        QImage tile(next.w, next.h, QImage::Format_RGB32);
        for (int y = 0; read && y < next.h; ++y) {
            const unsigned char* from = raw.data() + std::size_t(y) * row;
            auto* to = reinterpret_cast<std::uint32_t*>(tile.scanLine(y));
            if (pixelBytes == 4)
                std::memcpy(to, from, std::size_t(next.w) * 4);
            else // bytes B, G, R
                for (int x = 0; x < next.w; ++x)
                    to[x] = 0xff000000u | std::uint32_t(from[3 * x + 2]) << 16 |
                            std::uint32_t(from[3 * x + 1]) << 8 | from[3 * x];
        }
        lock.lock();
        wanted.erase(next.at);
        if (!read || cache.count(next.at)) continue;
        while (!recent.empty() && (cache.size() + 1) * kTileBytes > CacheLimit()) {
            cache.erase(recent.back());
            recent.pop_back();
        }
        recent.push_front(next.at);
        cache.emplace(next.at, std::pair(Counted(std::move(tile)), recent.begin()));
        if (!told.exchange(true)) Tell();
    }
}

namespace {

// The bytes of the tiles of levels `finest` .. `coarsest` of a picture, `pixelBytes` a pixel.
std::uint64_t TileBytes(QSize size, int finest, int coarsest, int pixelBytes) {
    std::uint64_t total = 0;
    for (int k = finest; k <= coarsest; ++k)
        total += std::uint64_t((LevelSide(size.width(), k) + kTile - 1) / kTile) *
                 std::uint64_t((LevelSide(size.height(), k) + kTile - 1) / kTile) * kTile * kTile *
                 std::uint64_t(pixelBytes);
    return total;
}

std::string Figure(std::uint64_t bytes) {
    return Grouped((bytes + MiB - 1) / MiB);
}

} // namespace

std::uint64_t Tiled::State::PassBytes(int finestLevel, bool inMemory) const {
    return source.heldBytes + std::uint64_t(source.size.width()) * 4 * 64 +
           Protocol::PyramidBytes(source.size.width(), finestLevel, coarsest, kTile,
                                  inMemory ? 4 : 3);
}

int Tiled::State::MemoryFinest(int from) const {
    while (from < coarsest && (PassBytes(from, true) > DecodeLimit() ||
                               TileBytes(source.size, from, coarsest, 4) > CacheLimit()))
        ++from;
    return from;
}

void Tiled::State::Lay() {
    tileBytes = std::uint64_t(kTile) * kTile * std::uint64_t(pixelBytes);
    std::uint64_t offset = 0;
    for (int k = finest; k <= coarsest; ++k) {
        offsets[k] = offset;
        columns[k] = (LevelSide(source.size.width(), k) + kTile - 1) / kTile;
        offset += std::uint64_t(columns[k]) * std::uint64_t(TileRows(k)) * tileBytes;
    }
    total = offset;
}

std::string Tiled::State::Reduced(int level) {
    return "Shown at 1/" + std::to_string(1 << (2 * level)) + " resolution: ";
}

bool Tiled::State::Plan() {
    const QSize size = source.size;
    while (coarsest < Protocol::kMaxLevels - 1 &&
           std::max(LevelSide(size.width(), coarsest), LevelSide(size.height(), coarsest)) > kTile)
        ++coarsest;
    while (finest < coarsest && PassBytes(finest, true) > DecodeLimit()) ++finest;
    bool inMemory = TileBytes(size, finest, coarsest, 4) <= CacheLimit();
    if (!inMemory) {
        const int inMemoryFinest = MemoryFinest(finest);
        pixelBytes = 3;
        finest = 0;
        while (finest < coarsest && PassBytes(finest, false) > DecodeLimit()) ++finest;
        const std::uint64_t allowed = System::FreeBytes(System::CacheFolder()) / 4;
        const int memoryFinest = finest;
        while (finest < coarsest && TileBytes(size, finest, coarsest, 3) > allowed) ++finest;
        // A disc that allows less than memory holds (a full one): kept in memory instead.
        if (finest > inMemoryFinest) inMemory = true, pixelBytes = 4;
        const int shown = inMemory ? inMemoryFinest : finest;
        if (shown > memoryFinest)
            note = Reduced(shown) + "its tiles need " + Figure(TileBytes(size, 0, coarsest, 3)) +
                   " MiB of disc; the cache folder's disc allows " + Grouped(allowed / MiB) +
                   " MiB.";
        finest = shown;
    }
    if (finest > 0 && note.empty())
        note = Reduced(finest) + "decoding it needs " + Figure(PassBytes(0, inMemory)) +
               " MiB; this machine allows " + Grouped(DecodeLimit() / MiB) + " MiB.";
    Lay();
    return inMemory;
}

void Tiled::State::Keep(bool inMemory) {
    try {
        if (!inMemory) {
            try {
                disc = std::make_shared<System::TileFile>(total);
                return;
            } catch (const std::exception& e) {
                // A cache folder that cannot be used: the picture is kept in memory, as much of
                // it as fits, and the note says why.
                pixelBytes = 4;
                finest = MemoryFinest(finest);
                note = Reduced(finest) + e.what() + ".";
                Lay();
            }
        }
        memory = std::make_shared<System::SharedBlock>(std::size_t(total));
        CountCached(std::int64_t(total));
        counted = total;
    } catch (const std::exception& e) {
        throw CoreError(ErrorKind::FileError, e.what());
    }
}

void Tiled::State::Told(const std::weak_ptr<State>& weak) {
    Tell = [weak, mailbox = mailbox] {
        mailbox->Post([weak] {
            if (const auto st = weak.lock(); st && st->mailbox->target)
                QTimer::singleShot(50, st->mailbox->target, [weak] {
                    if (const auto st = weak.lock(); st && st->mailbox->target) {
                        st->told = false;
                        emit static_cast<Tiled*>(st->mailbox->target)->Changed();
                    }
                });
        });
    };
}

Decoders::Job Tiled::State::PassJob(const std::weak_ptr<State>& weak, bool inMemory) {
    Decoders::Job job;
    job.request = BaseRequest(source);
    job.request.work = Protocol::Work::Pyramid;
    job.request.level = finest;
    job.request.lastLevel = coarsest;
    job.request.tile = kTile;
    job.request.pixelBytes = pixelBytes;
    std::copy(std::begin(offsets), std::end(offsets), job.request.levelOffset);
    job.request.memory = DecodeLimit();
    job.path = source.path;
    job.output = memory ? memory->Handle() : disc->Handle();
    job.keep = memory ? std::shared_ptr<void>(memory) : std::shared_ptr<void>(disc);
    job.reserve = PassBytes(finest, inMemory);
    job.progress = [weak](int level, std::int64_t rows) {
        const auto state = weak.lock();
        if (!state) return;
        {
            std::lock_guard lock(state->mutex);
            if (level >= 0 && level < Protocol::kMaxLevels) state->rows[level] = rows;
        }
        // Rows come many a second: the view is told of them together, a few times a second.
        if (!state->told.exchange(true)) state->Tell();
    };
    job.done = [weak, mailbox = mailbox](const std::string& error) {
        const auto state = weak.lock();
        if (!state) return;
        {
            std::lock_guard lock(state->mutex);
            state->building = false;
            if (error.empty()) state->parts.clear(); // every tile is there
        }
        mailbox->Post([weak, error] {
            if (const auto st = weak.lock(); st && st->mailbox->target) {
                auto* self = static_cast<Tiled*>(st->mailbox->target);
                emit self->Changed();
                emit self->Built(QString::fromStdString(error));
            }
        });
    };
    job.ticket = pyramid = std::make_shared<std::atomic<bool>>(false);
    return job;
}

Tiled::Tiled(const Source& source, QObject* parent)
    : QObject(parent), state_(std::make_shared<State>()) {
    if (DecoderPath().empty()) throw CoreError(ErrorKind::FileError, kDecoderMissing);
    State& s = *state_;
    s.source = source;
    s.mailbox = std::make_shared<Decoders::Mailbox>(this);
    const bool inMemory = s.Plan();
    s.Keep(inMemory);
    s.Told(state_);
    if (s.disc) s.reader = std::thread([&s] { s.Read(); });
    s.pass = s.PassJob(state_, !s.disc);
    // Started after the part the view asks for at once; else when the event loop next turns.
    QTimer::singleShot(0, this, [this] {
        State& s = *state_;
        bool busy = false;
        {
            std::lock_guard lock(s.mutex);
            busy = s.regionBusy;
        }
        if (!busy) s.StartPass();
    });
}

Tiled::~Tiled() {
    if (state_->disc) state_->disc->Remove(); // gone now, though the work stops a moment later
    state_->mailbox->Close();
    Decoders::Cancel(state_->pyramid);
    Decoders::Cancel(state_->region);
    if (state_->reader.joinable()) {
        {
            std::lock_guard lock(state_->mutex);
            state_->stopping = true;
        }
        state_->readWake.notify_all();
        state_->reader.join();
    }
}

const Source& Tiled::Picture() const {
    return state_->source;
}
int Tiled::FinestLevel() const {
    return state_->finest;
}
int Tiled::CoarsestLevel() const {
    return state_->coarsest;
}
std::string Tiled::Note() const {
    return state_->note;
}
std::string Tiled::CachePath() const {
    return state_->disc ? state_->disc->Path() : std::string();
}
bool Tiled::Building() const {
    std::lock_guard lock(state_->mutex);
    return state_->building;
}

namespace {

// The level drawn at a zoom: the coarsest at least as sharp.
int LevelAt(double zoom, int finest, int coarsest) {
    int level = 0;
    while (level < coarsest && std::ldexp(1.0, -(level + 1)) >= zoom * (1 - 1e-9)) ++level;
    return std::clamp(level, finest, coarsest);
}

} // namespace

void Tiled::Forget(int level) {
    std::lock_guard lock(state_->mutex);
    for (int k = 0; k < std::min(level, Protocol::kMaxLevels); ++k)
        state_->forgotten[k] = state_->rows[k];
    state_->parts.clear();
    state_->cache.clear();
    state_->recent.clear();
}

bool Tiled::State::DrawCoarser(QPainter& p, int level, QRectF area, const Place& place) {
    for (int k = level + 1; k <= coarsest; ++k) {
        const double f = std::ldexp(1.0, -(k - level));
        const QRectF there(area.topLeft() * f, area.size() * f);
        const std::int64_t cc = std::int64_t(there.left()) / kTile;
        const std::int64_t cr = std::int64_t(there.top()) / kTile;
        if (cr >= Rows(k)) continue;
        const QImage tile = Tile(k, cc, cr);
        if (tile.isNull()) continue;
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(place(level, area), tile,
                    there.translated(-cc * kTile, -cr * kTile)
                        .intersected(QRectF(QPointF(), QSizeF(tile.size()))));
        p.restore();
        return true;
    }
    return false;
}

bool Tiled::State::DrawTiles(QPainter& p, int level, QRectF want, const Place& place,
                             QRegion& gaps) {
    const std::int64_t lw = LevelSide(source.size.width(), level);
    const std::int64_t lh = LevelSide(source.size.height(), level);
    const std::int64_t c0 = std::max<std::int64_t>(0, std::int64_t(want.left()) / kTile);
    const std::int64_t r0 = std::max<std::int64_t>(0, std::int64_t(want.top()) / kTile);
    const std::int64_t c1 =
        std::min<std::int64_t>((lw - 1) / kTile, std::int64_t(want.right()) / kTile);
    const std::int64_t r1 =
        std::min<std::int64_t>((lh - 1) / kTile, std::int64_t(want.bottom()) / kTile);
    bool missing = false;
    for (std::int64_t r = r0; r <= r1; ++r)
        for (std::int64_t c = c0; c <= c1; ++c) {
            const QRectF area(c * kTile, r * kTile, std::min<std::int64_t>(kTile, lw - c * kTile),
                              std::min<std::int64_t>(kTile, lh - r * kTile));
            if (r < Rows(level)) {
                const QImage tile = Tile(level, c, r);
                if (!tile.isNull()) {
                    p.drawImage(place(level, area), tile, QRectF(QPointF(), area.size()));
                    continue;
                }
            }
            if (r >= Rows(level)) missing = true; // else on its way from the disc
            gaps += place(level, area).toAlignedRect();
            // The next coarser level that has it; a part decoded ahead goes over it below.
            DrawCoarser(p, level, area, place);
        }
    return missing;
}

void Tiled::Draw(QPainter& p, QRect exposed, QPointF origin, double zoom) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    const int level = LevelAt(zoom, s.finest, s.coarsest);
    const double scale = std::ldexp(zoom, level);        // painter pixels per pixel of the level
    const State::Place place = [&](int k, QRectF rect) { // a rectangle of level k on the painter
        const double f = std::ldexp(zoom, k);
        return QRectF(origin + rect.topLeft() * f, rect.size() * f);
    };
    s.toRead.clear(); // what an earlier draw asked for and this one does not is dropped
    s.wanted.clear();
    p.save();
    p.setClipRect(exposed, Qt::IntersectClip); // within the caller's clip, if it has one
    p.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1);
    const QRectF want((QPointF(exposed.topLeft()) - origin) / scale,
                      QSizeF(exposed.size()) / scale);
    QRegion gaps;
    const bool missing = s.DrawTiles(p, level, want, place, gaps);
    // Parts decoded ahead, where tiles are missing.
    if (!gaps.isEmpty() && !s.parts.empty()) {
        p.setClipRegion(gaps.intersected(exposed), Qt::IntersectClip);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        for (const auto& part : s.parts) p.drawImage(place(part.level, part.rect), part.image);
    }
    p.restore();
    const bool reading = !s.toRead.empty();
    const bool passWaits = s.pass && !s.regionBusy; // for the first screen to be drawn
    lock.unlock();
    if (reading) s.readWake.notify_all();
    if (passWaits) s.StartPass();
    if (missing) {
        const QRectF full((QPointF(exposed.topLeft()) - origin) / zoom,
                          QSizeF(exposed.size()) / zoom);
        QMetaObject::invokeMethod(
            this, [this, full, zoom] { Want(full.toAlignedRect(), zoom); }, Qt::QueuedConnection);
    }
}

bool Tiled::Ready(QRect area, double zoom) const {
    State& s = *state_;
    const int level = LevelAt(zoom, s.finest, s.coarsest);
    const int f = 1 << level;
    const QRect full = area.intersected(QRect(QPoint(), s.source.size));
    if (full.isEmpty()) return true;
    std::lock_guard lock(s.mutex);
    return s.Covers(level, QRect(QPoint(full.left() / f, full.top() / f),
                                 QPoint(full.right() / f, full.bottom() / f)));
}

bool Tiled::State::AskPart(const std::weak_ptr<State>& weak, int level, QRect rect) {
    std::shared_ptr<System::SharedBlock> block;
    Decoders::Job job;
    try {
        job = RegionJob(source, level, rect, block, true);
    } catch (const std::exception&) {
        return false;
    }
    job.priority = 1;
    job.done = [weak, mailbox = mailbox, block, rect, level](const std::string& error) {
        const auto state = weak.lock();
        if (!state) return;
        {
            std::lock_guard lock(state->mutex);
            state->regionBusy = false;
            if (error.empty()) {
                state->parts.push_back({ImageOf(block, rect.size()), level, rect});
                if (state->parts.size() > 3) state->parts.erase(state->parts.begin());
            }
        }
        mailbox->Post([weak] {
            const auto st = weak.lock();
            if (!st || !st->mailbox->target) return;
            emit static_cast<Tiled*>(st->mailbox->target)->Changed();
            // Drawing the part starts the pass; a view that draws nothing does not hold it up.
            QTimer::singleShot(kPassAfterMs, st->mailbox->target, [weak] {
                if (const auto st = weak.lock()) st->StartPass();
            });
        });
    };
    Decoders::Cancel(region);
    regionBusy = true;
    regionLevel = level;
    regionRect = rect;
    region = std::make_shared<std::atomic<bool>>(false);
    job.ticket = region;
    Decoders::Submit(std::move(job));
    return true;
}

void Tiled::Want(QRect area, double zoom, bool exact) {
    State& s = *state_;
    const int level = LevelAt(zoom, s.finest, s.coarsest);
    const int f = 1 << level;
    const QRect full = area.intersected(QRect(QPoint(), s.source.size));
    if (full.isEmpty()) return;
    const QRect rect =
        QRect(QPoint(full.left() / f, full.top() / f), QPoint(full.right() / f, full.bottom() / f));
    std::unique_lock lock(s.mutex);
    if (s.Covers(level, rect)) return;
    if (s.regionBusy && s.regionLevel == level && s.regionRect.contains(rect)) return;
    // The view's part ahead of the pyramid (with a margin, unless it is wanted exactly); an
    // earlier such part is dropped.
    const int mx = exact ? 0 : rect.width() / 4, my = exact ? 0 : rect.height() / 4;
    const QRect margin = rect.adjusted(-mx, -my, mx, my)
                             .intersected(QRect(0, 0, int(LevelSide(s.source.size.width(), level)),
                                                int(LevelSide(s.source.size.height(), level))));
    if (!s.AskPart(state_, level, margin)) {
        lock.unlock();
        s.StartPass(); // no memory for it now: the pyramid will bring it
    }
}

} // namespace Picture
