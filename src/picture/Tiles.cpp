// The tiled picture: its pyramid built by one decoding pass, its tiles drawn from shared memory
// or from the disc cache through a memory cache, and parts decoded ahead for the view.
#include "picture/DecodeSystem.h"
#include "picture/Decoders.h"
#include "picture/PictureLoader.h"
#include "platform/CoreError.h"

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

// Shared with PictureLoader.cpp.
std::string Grouped(std::uint64_t n);
Protocol::Request BaseRequest(const Source& source);
Decoders::Job RegionJob(const Source& source, int level, QRect rect,
                        std::shared_ptr<System::SharedBlock>& block);
QImage ImageOf(const std::shared_ptr<System::SharedBlock>& block, QSize size);

namespace {

using Protocol::LevelSide;
constexpr int kTile = 256;
// A tile as drawn, and as the memory cache counts it.
constexpr std::uint64_t kTileBytes = std::uint64_t(kTile) * kTile * 4;
constexpr std::uint64_t MiB = 1024 * 1024;

} // namespace

struct Tiled::State {
    Source source;
    int finest = 0, coarsest = 0;
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
    // The pass over the whole picture, started once the first part in view is decoded (or at
    // once when none is asked for), so that the first screen has the processor to itself.
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
    std::condition_variable changed;
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
        while (!recent.empty() && (cache.size() + 1) * kTileBytes > TileCacheLimit()) {
            cache.erase(recent.back());
            recent.pop_back();
        }
        recent.push_front(next.at);
        cache.emplace(next.at, std::pair(tile, recent.begin()));
        if (!told.exchange(true)) Tell();
    }
}

Tiled::Tiled(const Source& source, QObject* parent)
    : QObject(parent), state_(std::make_shared<State>()) {
    State& s = *state_;
    s.source = source;
    s.mailbox = std::make_shared<Decoders::Mailbox>(this);
    const std::int64_t W = source.size.width(), H = source.size.height();
    while (s.coarsest < Protocol::kMaxLevels - 1 &&
           std::max(LevelSide(W, s.coarsest), LevelSide(H, s.coarsest)) > kTile)
        ++s.coarsest;
    auto bytesFrom = [&](int finest, int pixelBytes) {
        std::uint64_t total = 0;
        for (int k = finest; k <= s.coarsest; ++k)
            total += std::uint64_t((LevelSide(W, k) + kTile - 1) / kTile) *
                     std::uint64_t((LevelSide(H, k) + kTile - 1) / kTile) * kTile * kTile *
                     std::uint64_t(pixelBytes);
        return total;
    };
    // The pass holds a few rows, what the format holds whole, and what the pyramid's building
    // holds (more when its tiles go to the disc).
    auto work = [&](int finest, bool inMemory) {
        return source.heldBytes + std::uint64_t(W) * 4 * 64 +
               Protocol::PyramidBytes(W, finest, s.coarsest, kTile, inMemory ? 4 : 3);
    };
    while (s.finest < s.coarsest && work(s.finest, true) > DecodeLimit()) ++s.finest;
    const bool inMemory = bytesFrom(s.finest, 4) <= TileCacheLimit();
    if (!inMemory) {
        s.pixelBytes = 3;
        s.finest = 0;
        while (s.finest < s.coarsest && work(s.finest, false) > DecodeLimit()) ++s.finest;
        const std::uint64_t allowed = System::FreeBytes(System::CacheFolder()) / 4;
        const int memoryFinest = s.finest;
        while (s.finest < s.coarsest && bytesFrom(s.finest, 3) > allowed) ++s.finest;
        if (s.finest > memoryFinest)
            s.note = "Shown at 1/" + std::to_string(1 << (2 * s.finest)) +
                     " resolution: its tiles need " + Grouped((bytesFrom(0, 3) + MiB - 1) / MiB) +
                     " MiB of disc; the cache folder's disc allows " + Grouped(allowed / MiB) +
                     " MiB.";
    }
    if (s.finest > 0 && s.note.empty())
        s.note = "Shown at 1/" + std::to_string(1 << (2 * s.finest)) +
                 " resolution: decoding it needs " + Grouped((work(0, inMemory) + MiB - 1) / MiB) +
                 " MiB; this machine allows " + Grouped(DecodeLimit() / MiB) + " MiB.";
    s.tileBytes = std::uint64_t(kTile) * kTile * std::uint64_t(s.pixelBytes);
    std::uint64_t offset = 0;
    for (int k = s.finest; k <= s.coarsest; ++k) {
        s.offsets[k] = offset;
        s.columns[k] = (LevelSide(W, k) + kTile - 1) / kTile;
        offset += std::uint64_t(s.columns[k]) * std::uint64_t(s.TileRows(k)) * s.tileBytes;
    }
    try {
        if (inMemory)
            s.memory = std::make_shared<System::SharedBlock>(std::size_t(offset));
        else
            s.disc = std::make_shared<System::TileFile>(offset);
    } catch (const std::exception& e) {
        throw CoreError(ErrorKind::FileError, e.what());
    }

    {
        std::weak_ptr<State> weak = state_;
        auto mailbox = s.mailbox;
        s.Tell = [weak, mailbox] {
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
    if (s.disc) s.reader = std::thread([&s] { s.Read(); });

    Decoders::Job job;
    job.request = BaseRequest(source);
    job.request.work = Protocol::Work::Pyramid;
    job.request.level = s.finest;
    job.request.lastLevel = s.coarsest;
    job.request.tile = kTile;
    job.request.pixelBytes = s.pixelBytes;
    std::copy(std::begin(s.offsets), std::end(s.offsets), job.request.levelOffset);
    job.request.memory = DecodeLimit();
    job.path = source.path;
    job.output = s.memory ? s.memory->Handle() : s.disc->Handle();
    if (s.memory)
        job.keep = s.memory;
    else
        job.keep = s.disc;
    job.reserve = work(s.finest, inMemory);
    std::weak_ptr<State> weak = state_;
    auto mailbox = s.mailbox;
    job.progress = [weak, mailbox](int level, std::int64_t rows) {
        const auto state = weak.lock();
        if (!state) return;
        {
            std::lock_guard lock(state->mutex);
            if (level >= 0 && level < Protocol::kMaxLevels) state->rows[level] = rows;
        }
        state->changed.notify_all();
        // Rows come many a second: the view is told of them together, a few times a second.
        if (!state->told.exchange(true)) state->Tell();
    };
    job.done = [weak, mailbox](const std::string& error) {
        const auto state = weak.lock();
        if (!state) return;
        {
            std::lock_guard lock(state->mutex);
            state->building = false;
            if (error.empty()) state->parts.clear(); // every tile is there
        }
        state->changed.notify_all();
        mailbox->Post([weak, error] {
            if (const auto st = weak.lock(); st && st->mailbox->target) {
                auto* self = static_cast<Tiled*>(st->mailbox->target);
                emit self->Changed();
                emit self->Built(QString::fromStdString(error));
            }
        });
    };
    job.ticket = s.pyramid = std::make_shared<std::atomic<bool>>(false);
    s.pass = std::move(job);
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

void Tiled::Draw(QPainter& p, QRect exposed, QPointF origin, double zoom) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    const int level = LevelAt(zoom, s.finest, s.coarsest);
    const double scale = std::ldexp(zoom, level); // painter pixels per pixel of the level
    const QSize size = s.source.size;
    const std::int64_t lw = LevelSide(size.width(), level), lh = LevelSide(size.height(), level);
    auto place = [&](int k, QRectF rect) { // a rectangle of level k on the painter
        const double f = std::ldexp(zoom, k);
        return QRectF(origin + rect.topLeft() * f, rect.size() * f);
    };
    s.toRead.clear(); // what an earlier draw asked for and this one does not is dropped
    s.wanted.clear();
    p.save();
    p.setClipRect(exposed);
    p.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1);
    const QRectF want((QPointF(exposed.topLeft()) - origin) / scale,
                      QSizeF(exposed.size()) / scale);
    const std::int64_t c0 = std::max<std::int64_t>(0, std::int64_t(want.left()) / kTile);
    const std::int64_t r0 = std::max<std::int64_t>(0, std::int64_t(want.top()) / kTile);
    const std::int64_t c1 =
        std::min<std::int64_t>((lw - 1) / kTile, std::int64_t(want.right()) / kTile);
    const std::int64_t r1 =
        std::min<std::int64_t>((lh - 1) / kTile, std::int64_t(want.bottom()) / kTile);
    bool missing = false;
    QRegion gaps;
    for (std::int64_t r = r0; r <= r1; ++r)
        for (std::int64_t c = c0; c <= c1; ++c) {
            const QRectF area(c * kTile, r * kTile, std::min<std::int64_t>(kTile, lw - c * kTile),
                              std::min<std::int64_t>(kTile, lh - r * kTile));
            if (r < s.Rows(level)) {
                const QImage tile = s.Tile(level, c, r);
                if (!tile.isNull()) {
                    p.drawImage(place(level, area), tile, QRectF(QPointF(), area.size()));
                    continue;
                }
            }
            if (r >= s.Rows(level)) missing = true; // else on its way from the disc
            gaps += place(level, area).toAlignedRect();
            // The next coarser level that has it; a part decoded ahead goes over it below.
            for (int k = level + 1; k <= s.coarsest; ++k) {
                const double f = std::ldexp(1.0, -(k - level));
                const QRectF there(area.topLeft() * f, area.size() * f);
                const std::int64_t cc = std::int64_t(there.left()) / kTile;
                const std::int64_t cr = std::int64_t(there.top()) / kTile;
                if (cr >= s.Rows(k)) continue;
                const QImage tile = s.Tile(k, cc, cr);
                if (tile.isNull()) continue;
                p.save();
                p.setRenderHint(QPainter::SmoothPixmapTransform, true);
                p.drawImage(place(level, area), tile,
                            there.translated(-cc * kTile, -cr * kTile)
                                .intersected(QRectF(QPointF(), QSizeF(tile.size()))));
                p.restore();
                break;
            }
        }
    // Parts decoded ahead, where tiles are missing.
    if (!gaps.isEmpty() && !s.parts.empty()) {
        p.setClipRegion(gaps.intersected(exposed));
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        for (const auto& part : s.parts) p.drawImage(place(part.level, part.rect), part.image);
    }
    p.restore();
    const bool reading = !s.toRead.empty();
    lock.unlock();
    if (reading) s.readWake.notify_all();
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

void Tiled::Want(QRect area, double zoom, int ms) {
    State& s = *state_;
    const int level = LevelAt(zoom, s.finest, s.coarsest);
    const int f = 1 << level;
    const QRect full = area.intersected(QRect(QPoint(), s.source.size));
    if (full.isEmpty()) return;
    const QRect rect =
        QRect(QPoint(full.left() / f, full.top() / f), QPoint(full.right() / f, full.bottom() / f));
    auto ready = [&] { return s.Covers(level, rect); };
    std::unique_lock lock(s.mutex);
    if (ready()) return;
    if (!(s.regionBusy && s.regionLevel == level && s.regionRect.contains(rect))) {
        // The view's part ahead of the pyramid (with a margin, unless it is waited for); an
        // earlier such part is dropped.
        const int mx = ms > 0 ? 0 : rect.width() / 4, my = ms > 0 ? 0 : rect.height() / 4;
        const QRect margin =
            rect.adjusted(-mx, -my, mx, my)
                .intersected(QRect(0, 0, int(LevelSide(s.source.size.width(), level)),
                                   int(LevelSide(s.source.size.height(), level))));
        std::shared_ptr<System::SharedBlock> block;
        Decoders::Job job;
        try {
            job = RegionJob(s.source, level, margin, block);
        } catch (const std::exception&) {
            lock.unlock();
            s.StartPass();
            return; // no memory for it now: the pyramid will bring it
        }
        job.priority = 1;
        std::weak_ptr<State> weak = state_;
        auto mailbox = s.mailbox;
        job.done = [weak, mailbox, block, margin, level](const std::string& error) {
            const auto state = weak.lock();
            if (!state) return;
            {
                std::lock_guard lock(state->mutex);
                state->regionBusy = false;
                if (error.empty()) {
                    state->parts.push_back({ImageOf(block, margin.size()), level, margin});
                    if (state->parts.size() > 3) state->parts.erase(state->parts.begin());
                }
            }
            state->changed.notify_all();
            state->StartPass();
            mailbox->Post([weak] {
                if (const auto st = weak.lock(); st && st->mailbox->target)
                    emit static_cast<Tiled*>(st->mailbox->target)->Changed();
            });
        };
        Decoders::Cancel(s.region);
        s.regionBusy = true;
        s.regionLevel = level;
        s.regionRect = margin;
        s.region = std::make_shared<std::atomic<bool>>(false);
        job.ticket = s.region;
        Decoders::Submit(std::move(job));
    }
    if (ms > 0)
        s.changed.wait_for(lock, std::chrono::milliseconds(ms),
                           [&] { return ready() || (!s.regionBusy && !s.building); });
}

} // namespace Picture
