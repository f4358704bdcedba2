#include "view/GridOverlay.h"

#include "platform/System.h"

#include <QEvent>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Pixels inside a picture box's border.
int Border(const PictureBox& box) {
    return box.BorderStyle() == 1 ? 2 : 0;
}

// The largest whole number not above `v`, for values well within an int: faster than
// std::floor, and called for every pixel of every line.
int Floor(double v) {
    const int i = int(v);
    return i - (v < i);
}

// A run of whole pixels: down a column `length` pixels from (x, y), or along a row.
struct Run {
    int x, y, length;
};
// A rectangle of pixels, its right and bottom ones included.
struct Box {
    int left, top, right, bottom;
};

// A line between two points (pixels) as runs of whole pixels: a column in `steep` for each column
// a steep line crosses, a row in `shallow` for each row a shallow one crosses.
void AddRuns(QPointF a, QPointF b, std::vector<Run>& steepRuns, std::vector<Run>& shallowRuns) {
    const bool steep = std::abs(b.y() - a.y()) >= std::abs(b.x() - a.x());
    // Along the line's major axis (u) and across it (v).
    double au = steep ? a.y() : a.x(), av = steep ? a.x() : a.y();
    double bu = steep ? b.y() : b.x(), bv = steep ? b.x() : b.y();
    if (au > bu) std::swap(au, bu), std::swap(av, bv);
    const double slope = bu > au ? (bv - av) / (bu - au) : 0;
    auto run = [&](int u0, int u1, int v) {
        (steep ? steepRuns : shallowRuns).push_back({steep ? v : u0, steep ? u0 : v, u1 - u0 + 1});
    };
    const int first = Floor(au), last = Floor(bu);
    int from = first, at = Floor(av + (first + 0.5 - au) * slope);
    for (int u = first + 1; u <= last; ++u) {
        const int v = Floor(av + (u + 0.5 - au) * slope);
        if (v == at) continue;
        run(from, u - 1, at);
        from = u, at = v;
    }
    run(from, last, at);
}

// Solid rectangles and images painted straight into the image the painter paints on, when it
// paints one of 32-bit pixels at a whole-pixel offset (the program's windows, and pictures taken
// of them): the painter's own work for each of a thousand short runs costs more than all their
// pixels. Through the painter otherwise, to the same pixels. Only `region` is touched.
class Canvas {
public:
    Canvas(QPainter& p, const QRegion& region) : p_(p) {
        if (Direct(region)) return;
        // Through the painter, within the region as the direct way keeps to it.
        p_.save();
        p_.setClipRegion(region, Qt::IntersectClip);
    }
    ~Canvas() {
        if (!bits_) p_.restore();
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // Runs along rows (in the order of their rows) moved by `by`, in one colour.
    void Rows(const std::vector<Run>& runs, QPoint by, QRgb colour) {
        if (!bits_) return Fill(runs, by, colour);
        const QPoint to = by + offset_;
        for (const Box& clip : clips_) {
            auto r = Below(runs, clip.top - to.y());
            for (; r != runs.end() && r->y + to.y() <= clip.bottom; ++r) {
                const int left = std::max(r->x + to.x(), clip.left);
                const int right = std::min(r->x + to.x() + r->length - 1, clip.right);
                if (left <= right) std::fill_n(Row(r->y + to.y()) + left, right - left + 1, colour);
            }
        }
    }

    // Runs down columns (in the order of their tops, none longer than `longest`) moved by `by`,
    // each with an edging a pixel to its right, one run after another. A band of rows at a time,
    // every run crossing it: down one run after another would reach each row's memory afresh.
    void Columns(const std::vector<Run>& runs, int longest, QPoint by, QRgb edging, QRgb colour) {
        if (!bits_) {
            p_.translate(by);
            for (const Run& r : runs) {
                p_.fillRect(QRect(r.x + 1, r.y, 1, r.length), QColor::fromRgba(edging));
                p_.fillRect(QRect(r.x, r.y, 1, r.length), QColor::fromRgba(colour));
            }
            p_.translate(-by);
            return;
        }
        constexpr int kBand = 32;
        const QPoint to = by + offset_;
        for (const Box& clip : clips_) {
            auto next = Below(runs, clip.top - to.y() - longest); // those that reach into it
            active_.clear();
            for (int top = clip.top; top <= clip.bottom; top += kBand) {
                const Box band{clip.left, top, clip.right, std::min(top + kBand - 1, clip.bottom)};
                for (; next != runs.end() && next->y + to.y() <= band.bottom; ++next) {
                    const Run r{next->x + to.x(), next->y + to.y(), next->length};
                    if (r.y + r.length > top && r.x + 1 >= clip.left && r.x <= clip.right)
                        active_.push_back(r);
                }
                Band(band, edging, colour);
                active_.erase(
                    std::remove_if(active_.begin(), active_.end(),
                                   [&](const Run& r) { return r.y + r.length - 1 <= band.bottom; }),
                    active_.end());
            }
        }
    }

    // Has the processor fetch the pixels of `rect` ahead of their use.
    void Fetch(const QRect& rect) const {
        const QRect r = rect.translated(offset_) & size_;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            __builtin_prefetch(Row(y) + r.left(), 1);
            __builtin_prefetch(Row(y) + r.right(), 1);
        }
    }

    // An image of premultiplied pixels over what is there, as the painter blends it.
    void Draw(QPoint at, const QImage& image) {
        if (!bits_) {
            p_.drawImage(at, image);
            return;
        }
        const QPoint to = at + offset_;
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
        const qsizetype stride = image.bytesPerLine() / 4;
        for (const Box& clip : clips_) {
            const int left = std::max(to.x(), clip.left), top = std::max(to.y(), clip.top);
            const int right = std::min(to.x() + image.width() - 1, clip.right);
            const int bottom = std::min(to.y() + image.height() - 1, clip.bottom);
            for (int y = top; y <= bottom; ++y)
                Over(pixels + (y - to.y()) * stride + (left - to.x()), Row(y) + left,
                     right - left + 1);
        }
    }

private:
    // Makes ready to write to the painter's image straight, when it can be; false otherwise.
    bool Direct(const QRegion& region) {
        QPaintEngine* engine = p_.paintEngine();
        QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
        const QTransform t = p_.deviceTransform();
        if (!device || device->devType() != QInternal::Image || t.type() > QTransform::TxTranslate)
            return false;
        auto* image = static_cast<QImage*>(device);
        const QPoint offset(int(t.dx()), int(t.dy()));
        const bool plain = image->format() == QImage::Format_RGB32 ||
                           image->format() == QImage::Format_ARGB32_Premultiplied;
        if (QPointF(offset) != QPointF(t.dx(), t.dy()) || !plain ||
            image->devicePixelRatio() != 1 || !image->isDetached() ||
            p_.compositionMode() != QPainter::CompositionMode_SourceOver)
            return false;
        QRegion clip = p_.hasClipping() ? region.intersected(p_.clipRegion()) : region;
        clip.translate(offset);
        if (!engine->systemClip().isEmpty()) clip &= engine->systemClip();
        clip &= image->rect();
        for (const QRect& r : clip) clips_.push_back({r.left(), r.top(), r.right(), r.bottom()});
        bits_ = reinterpret_cast<QRgb*>(image->bits());
        stride_ = image->bytesPerLine() / 4;
        size_ = image->rect();
        offset_ = offset;
        return true;
    }
    // The first of runs in the order of their tops that starts at or below row `y`.
    static std::vector<Run>::const_iterator Below(const std::vector<Run>& runs, int y) {
        return std::lower_bound(runs.begin(), runs.end(), y,
                                [](const Run& run, int top) { return run.y < top; });
    }
    // Runs along rows moved by `by`, in one colour, through the painter.
    void Fill(const std::vector<Run>& runs, QPoint by, QRgb colour) {
        std::vector<QRect> rects;
        rects.reserve(runs.size());
        for (const Run& r : runs) rects.emplace_back(r.x, r.y, r.length, 1);
        p_.setPen(Qt::NoPen);
        p_.setBrush(QColor::fromRgba(colour));
        p_.translate(by);
        p_.drawRects(rects.data(), int(rects.size()));
        p_.translate(-by);
    }
    // The active runs in the band's rows, each with its edging a pixel to its right.
    void Band(const Box& band, QRgb edging, QRgb colour) {
        for (const Run& r : active_) {
            const int top = std::max(band.top, r.y);
            QRgb* at = Row(top) + r.x;
            const int rows = std::min(band.bottom, r.y + r.length - 1) - top + 1;
            const bool left = r.x >= band.left, right = r.x + 1 <= band.right;
            if (left && right)
                for (int n = 0; n < rows; ++n, at += stride_) at[1] = edging, at[0] = colour;
            else
                for (int n = 0; n < rows; ++n, at += stride_) {
                    if (right) at[1] = edging;
                    if (left) at[0] = colour;
                }
        }
    }
    QRgb* Row(int y) const { return bits_ + qsizetype(y) * stride_; }
    // Premultiplied `s` over `d`, rounded as the painter rounds it.
    static QRgb Over(QRgb s, QRgb d) {
        const uint a = 255 - qAlpha(s);
        uint rb = (d & 0xff00ff) * a, ag = ((d >> 8) & 0xff00ff) * a;
        rb = ((rb + ((rb >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
        ag = (ag + ((ag >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
        return s + (rb | ag);
    }
    // `n` premultiplied pixels over as many, four at a time where the processor can.
    static void Over(const QRgb* from, QRgb* to, int n) {
        int i = 0;
#ifdef __SSE2__
        const __m128i low = _mm_set1_epi16(0xff), half = _mm_set1_epi16(0x80);
        for (; i + 4 <= n; i += 4) {
            const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to + i));
            __m128i a = _mm_srli_epi32(s, 24);
            a = _mm_sub_epi16(low, _mm_or_si128(a, _mm_slli_epi32(a, 16)));
            __m128i rb = _mm_mullo_epi16(_mm_and_si128(d, low), a);
            __m128i ag = _mm_mullo_epi16(_mm_srli_epi16(d, 8), a);
            rb = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(rb, _mm_srli_epi16(rb, 8)), half), 8);
            ag = _mm_andnot_si128(low,
                                  _mm_add_epi16(_mm_add_epi16(ag, _mm_srli_epi16(ag, 8)), half));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                             _mm_add_epi32(s, _mm_or_si128(rb, ag)));
        }
#endif
        for (; i < n; ++i) to[i] = Over(from[i], to[i]);
    }

    QPainter& p_;
    QRgb* bits_ = nullptr;
    qsizetype stride_ = 0; // pixels from a row to the next
    QRect size_;           // of the image; nothing without it
    QPoint offset_;
    std::vector<Box> clips_;
    std::vector<Run> active_; // the runs crossing a band of rows
};

} // namespace

struct GridOverlay::Runs {
    std::vector<Run> steep, shallow;
    int longest = 0; // of the steep
};

GridOverlay::GridOverlay(PictureBox& picture, PictureBox& frame)
    : QObject(&picture), picture_(picture), frame_(frame),
      lines_(std::make_unique<Grids::GridLines>(grid_, datum_)), runs_(std::make_unique<Runs>()) {
    picture_.setLayer(this);
    picture_.installEventFilter(this);
    frame_.installEventFilter(this);
}

GridOverlay::~GridOverlay() = default;

void GridOverlay::SetGrid(Grids::Grid grid, Grids::Datum datum) {
    if (grid == grid_ && datum == datum_) return;
    grid_ = grid;
    datum_ = datum;
    lines_ = std::make_unique<Grids::GridLines>(grid, datum);
    runsZoom_ = 0;
    labels_.clear();
    Recycle();
    picture_.update(shown_);
}

void GridOverlay::SetOn(bool on) {
    on_ = on;
    if (!on) blocks_.clear(), free_.clear(), pages_.clear(); // their memory given back
    Follow();
}

void GridOverlay::SetMap(const std::optional<MapCode::Georeference>& map) {
    map_ = map;
    Recycle();
    Follow();
    picture_.update(shown_); // other corners: other lines over the same part
}

void GridOverlay::Follow() {
    // The frame's interior, in the picture box's coordinates, over the picture itself.
    const int f = Border(frame_);
    const QRect interior = frame_.rect().adjusted(f, f, -f, -f).translated(-picture_.pos());
    QRect shown = interior.intersected(picture_.PictureArea());
    if (!on_ || !map_ || !map_->HasSize() || !picture_.HasPicture()) shown = QRect();
    // The labels keep to the frame's edges: a pan moves them over the picture.
    if (shown != shown_) picture_.update(shown_ | shown);
    shown_ = shown;
}

bool GridOverlay::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == &picture_ || watched == &frame_) &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize) && on_)
        Follow();
    return false;
}

// Blocks of four tiles: a frame drawn from fewer, larger blocks costs less than one from tiles.
constexpr int kBlock = 512;
constexpr std::size_t kBlockBytes = std::size_t(kBlock) * kBlock * 4;

void GridOverlay::Paint(QPainter& p, const QRect& exposed) {
    const QRect area = exposed & shown_;
    const Grids::GridDrawing* drawing = area.isEmpty() ? nullptr : Lines();
    if (!drawing) return picture_.DrawPicture(p, exposed);
    // Where the frame's border lies over the picture too: what a block holds is drawn whole.
    const QRect inside = exposed & picture_.PictureArea();
    const QRegion rest = (QRegion(exposed) - inside) + DrawBlocks(p, inside);
    if (!rest.isEmpty()) {
        p.save();
        p.setClipRegion(rest, Qt::IntersectClip);
        picture_.DrawPicture(p, rest.boundingRect());
        p.restore();
        DrawLines(p, rest);
    }
    DrawLabels(p, area, *drawing);
}

void GridOverlay::PictureChanged() {
    Recycle();
}

void GridOverlay::Recycle() {
    for (const auto& block : blocks_) Release(block.second.image);
    blocks_.clear();
}

void GridOverlay::Release(const QImage& block) {
    free_.push_back(const_cast<uchar*>(block.constBits()));
}

const Grids::GridDrawing* GridOverlay::Lines() {
    if (!map_) return nullptr;
    const double zoom = picture_.Zoom();
    const int b = Border(picture_);
    const Grids::PictureRect visible{(shown_.left() - b) / zoom, (shown_.top() - b) / zoom,
                                     (shown_.right() + 1 - b) / zoom,
                                     (shown_.bottom() + 1 - b) / zoom};
    const Grids::GridDrawing& drawing = lines_->Draw(*map_, visible, zoom);
    if (drawing.lines.empty()) return nullptr;
    if (lines_->Shape() != blocksOf_) Recycle();
    blocksOf_ = lines_->Shape();
    if (lines_->Made() != runsOf_ || zoom != runsZoom_) {
        // The same lines made for another area: a block whole within the last area has them all,
        // as the new ones would draw them; another may lack those of beyond that area.
        for (auto block = blocks_.begin(); block != blocks_.end();)
            if (block->second.whole)
                ++block;
            else
                Release(block->second.image), block = blocks_.erase(block);
        MakeRuns(zoom);
    }
    return &drawing;
}

QRegion GridOverlay::DrawBlocks(QPainter& p, const QRect& area) {
    const int b = Border(picture_);
    const QRect whole = picture_.PictureArea();
    auto key = [](int column, int row) { return quint64(quint32(column)) << 32 | quint32(row); };
    QRegion missing;
    for (int row = (area.top() - b) / kBlock; row <= (area.bottom() - b) / kBlock; ++row)
        for (int column = (area.left() - b) / kBlock; column <= (area.right() - b) / kBlock;
             ++column) {
            const QRect rect = QRect(b + column * kBlock, b + row * kBlock, kBlock, kBlock) & whole;
            auto block = blocks_.find(key(column, row));
            if (block == blocks_.end()) {
                // Drawn afresh until its pixels are all there.
                QImage made = picture_.Sharp(rect) ? MakeBlock(rect) : QImage();
                if (made.isNull()) {
                    missing += rect & area;
                    continue;
                }
                block =
                    blocks_.emplace(key(column, row), Block{std::move(made), Within(rect)}).first;
            }
            const QRect target = rect & area;
            p.drawImage(target.topLeft(), block->second.image, target.translated(-rect.topLeft()));
        }
    // Those of the part shown and a margin around it kept: a pan to and fro within the margin
    // makes none again.
    constexpr int kMargin = kBlock / 4;
    const QRect kept = shown_.adjusted(-kMargin, -kMargin, kMargin, kMargin);
    for (auto block = blocks_.begin(); block != blocks_.end();) {
        const int column = int(block->first >> 32), row = int(quint32(block->first));
        if (kept.intersects(QRect(b + column * kBlock, b + row * kBlock, kBlock, kBlock)))
            ++block;
        else
            Release(block->second.image), block = blocks_.erase(block);
    }
    return missing;
}

bool GridOverlay::Within(const QRect& rect) const {
    const double zoom = picture_.Zoom();
    const int b = Border(picture_);
    const Grids::PictureRect area = lines_->Area();
    return (rect.left() - b) / zoom >= area.left && (rect.top() - b) / zoom >= area.top &&
           (rect.right() + 1 - b) / zoom <= area.right &&
           (rect.bottom() + 1 - b) / zoom <= area.bottom;
}

QImage GridOverlay::MakeBlock(const QRect& rect) {
    if (free_.empty()) {
        try {
            pages_.push_back(
                std::make_unique<Platform::LargePages>(Platform::LargePages::kLargePage));
        } catch (const std::bad_alloc&) {
            return {}; // drawn afresh each time
        }
        for (std::size_t at = 0; at + kBlockBytes <= pages_.back()->Size(); at += kBlockBytes)
            free_.push_back(pages_.back()->Data() + at);
    }
    QImage block(free_.back(), kBlock, kBlock, kBlock * 4, QImage::Format_RGB32);
    free_.pop_back();
    QPainter p(&block);
    p.translate(-rect.topLeft());
    if (!picture_.Tiles()) // tiles cover a sharp block whole
        p.fillRect(rect, ToQColor(picture_.BackColor(), picture_.palette()));
    picture_.DrawPicture(p, rect);
    DrawLines(p, QRegion(rect));
    return block;
}

void GridOverlay::DrawLines(QPainter& p, const QRegion& region) const {
    // Every line with its light edging beside it, so that it reads on dark maps too; where lines
    // cross, the one runs over the other's edging.
    const int b = Border(picture_);
    const QPoint origin(b, b); // the picture's top-left corner in the box
    Canvas canvas(p, region);
    const QRgb light = qRgb(255, 255, 255), dark = qRgb(20, 20, 90);
    canvas.Rows(runs_->shallow, origin + QPoint(0, 1), light);
    canvas.Columns(runs_->steep, runs_->longest, origin, light, dark);
    canvas.Rows(runs_->shallow, origin, dark);
}

void GridOverlay::DrawLabels(QPainter& p, const QRect& area, const Grids::GridDrawing& drawing) {
    // The values at the top edge (eastings, longitudes) and the left one.
    const double zoom = picture_.Zoom();
    const int b = Border(picture_);
    const QPointF edge = QPointF(shown_.topLeft()) + QPointF(1, 1);
    std::vector<std::pair<QPoint, const QImage*>> placed;
    for (const Grids::GridLine& line : drawing.lines) {
        const QImage& label = Label(line.label);
        const QPointF where = QPointF(line.labelAt.x, line.labelAt.y) * zoom + QPointF(b, b);
        const QPointF corner =
            line.easting ? QPointF(where.x() - label.width() / 2.0, std::max(edge.y(), where.y()))
                         : QPointF(std::max(edge.x(), where.x()), where.y() - label.height() / 2.0);
        if (!line.easting && corner.y() < edge.y() + label.height() + 1)
            continue; // clear of the top's
        placed.emplace_back(corner.toPoint(), &label);
    }
    // The pixels under them asked for first: each label's rows are far apart in the frame, and
    // fetched one after another they would wait for memory a row at a time.
    Canvas canvas(p, QRegion(area));
    for (const auto& [at, label] : placed) canvas.Fetch(QRect(at, label->size()));
    for (const auto& [at, label] : placed) canvas.Draw(at, *label);
}

void GridOverlay::MakeRuns(double zoom) {
    *runs_ = {};
    for (const Grids::GridLine& line : lines_->Kept())
        for (std::size_t i = 0; i + 1 < line.points.size(); ++i) {
            Grids::PicturePoint a = line.points[i], b = line.points[i + 1];
            // Only what the picture holds, at most a pixel beyond: a line may run further.
            const double margin = 1 / zoom;
            if (Grids::Clip(a, b,
                            {-margin, -margin, map_->Width() + margin, map_->Height() + margin}))
                AddRuns(QPointF(a.x, a.y) * zoom, QPointF(b.x, b.y) * zoom, runs_->steep,
                        runs_->shallow);
        }
    for (auto* runs : {&runs_->steep, &runs_->shallow})
        std::sort(runs->begin(), runs->end(), [](const Run& a, const Run& b) { return a.y < b.y; });
    for (const Run& r : runs_->steep) runs_->longest = std::max(runs_->longest, r.length);
    runsOf_ = lines_->Made();
    runsZoom_ = zoom;
}

const QImage& GridOverlay::Label(const std::string& text) {
    QImage& label = labels_[text];
    if (!label.isNull()) return label;
    QFont font = picture_.font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    const QFontMetrics metrics(font);
    const QString written = QString::fromStdString(text);
    label = QImage(metrics.horizontalAdvance(written) + 4, metrics.height(),
                   QImage::Format_ARGB32_Premultiplied);
    label.fill(QColor(255, 255, 255, 200)); // a light ground
    QPainter p(&label);
    p.setFont(font);
    p.setPen(QColor(20, 20, 90));
    p.drawText(label.rect(), Qt::AlignCenter, written);
    return label;
}
