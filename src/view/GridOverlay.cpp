#include "view/GridOverlay.h"

#include "view/PictureBox.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Pixels inside a picture box's border.
int Border(const PictureBox& box) {
    return box.BorderStyle() == 1 ? 2 : 0;
}

// A line between two points (pixels) as runs of whole pixels, in `line`: a rectangle a pixel wide
// for each column a steep line crosses, a pixel high for each row a shallow one crosses; and in
// `edging` the same runs a pixel to the right of a steep line or below a shallow one.
void AddRuns(QPointF a, QPointF b, std::vector<QRect>& line, std::vector<QRect>& edging) {
    const bool steep = std::abs(b.y() - a.y()) >= std::abs(b.x() - a.x());
    // Along the line's major axis (u) and across it (v).
    double au = steep ? a.y() : a.x(), av = steep ? a.x() : a.y();
    double bu = steep ? b.y() : b.x(), bv = steep ? b.x() : b.y();
    if (au > bu) std::swap(au, bu), std::swap(av, bv);
    const double slope = bu > au ? (bv - av) / (bu - au) : 0;
    auto run = [&](int u0, int u1, int v) {
        const QRect r = steep ? QRect(v, u0, 1, u1 - u0 + 1) : QRect(u0, v, u1 - u0 + 1, 1);
        line.push_back(r);
        edging.push_back(r.translated(steep ? 1 : 0, steep ? 0 : 1));
    };
    const int first = int(std::floor(au)), last = int(std::floor(bu));
    int from = first, at = int(std::floor(av + (first + 0.5 - au) * slope));
    for (int u = first + 1; u <= last; ++u) {
        const int v = int(std::floor(av + (u + 0.5 - au) * slope));
        if (v == at) continue;
        run(from, u - 1, at);
        from = u, at = v;
    }
    run(from, last, at);
}

} // namespace

GridOverlay::GridOverlay(PictureBox& picture, PictureBox& frame)
    : QWidget(&picture), picture_(picture), frame_(frame),
      lines_(std::make_unique<Grids::GridLines>(grid_, datum_)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    picture_.installEventFilter(this);
    frame_.installEventFilter(this);
    hide();
}

GridOverlay::~GridOverlay() = default;

void GridOverlay::SetGrid(Grids::Grid grid, Grids::Datum datum) {
    if (grid == grid_ && datum == datum_) return;
    grid_ = grid;
    datum_ = datum;
    lines_ = std::make_unique<Grids::GridLines>(grid, datum);
    labels_.clear();
    update();
}

void GridOverlay::SetOn(bool on) {
    on_ = on;
    Follow();
}

void GridOverlay::SetMap(const std::optional<MapCode::Georeference>& map) {
    map_ = map;
    Follow();
}

void GridOverlay::Follow() {
    // The frame's interior, in the picture box's coordinates, over the picture itself.
    const int f = Border(frame_), b = Border(picture_);
    const QRect interior = frame_.rect().adjusted(f, f, -f, -f).translated(-picture_.pos());
    const QSize full = picture_.FullSize();
    const QRect whole(QPoint(b, b), QSize(int(std::lround(full.width() * picture_.Zoom())),
                                          int(std::lround(full.height() * picture_.Zoom()))));
    const QRect shown = interior.intersected(whole);
    if (!on_ || !map_ || !map_->HasSize() || !picture_.HasPicture() || shown.isEmpty()) {
        hide();
        return;
    }
    setGeometry(shown);
    show();
    update();
}

bool GridOverlay::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == &picture_ || watched == &frame_) &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize) && on_)
        Follow();
    return false;
}

void GridOverlay::paintEvent(QPaintEvent*) {
    if (!map_) return;
    const double zoom = picture_.Zoom();
    const int b = Border(picture_);
    // Picture coordinates (pixels' edges at whole numbers) of the layer's corners, and back.
    const QPointF origin = QPointF(b, b) - QPointF(pos());
    const Grids::PictureRect visible{(x() - b) / zoom, (y() - b) / zoom, (x() + width() - b) / zoom,
                                     (y() + height() - b) / zoom};
    const Grids::GridDrawing& drawing = lines_->Draw(*map_, visible, zoom);
    if (drawing.lines.empty()) return;
    auto at = [&](const Grids::PicturePoint& p) { return QPointF(p.x, p.y) * zoom + origin; };

    // Every line as runs of whole pixels, with its light edging beside it so that it reads on
    // dark maps too: rectangles, which the painter fills far faster than it strokes lines.
    std::vector<QRect> dark, light;
    for (const Grids::GridLine& line : drawing.lines)
        for (std::size_t i = 0; i + 1 < line.points.size(); ++i)
            AddRuns(at(line.points[i]), at(line.points[i + 1]), dark, light);
    QPainter p(this);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawRects(light.data(), int(light.size()));
    p.setBrush(QColor(20, 20, 90));
    p.drawRects(dark.data(), int(dark.size()));

    // The values at the top edge (eastings, longitudes) and the left one.
    for (const Grids::GridLine& line : drawing.lines) {
        const QImage& label = Label(line.label);
        const QPointF where = at(line.labelAt);
        const QPointF corner =
            line.easting ? QPointF(where.x() - label.width() / 2.0, std::max(1.0, where.y()))
                         : QPointF(std::max(1.0, where.x()), where.y() - label.height() / 2.0);
        if (!line.easting && corner.y() < label.height() + 2) continue; // clear of the top's
        p.drawImage(corner.toPoint(), label);
    }
}

const QImage& GridOverlay::Label(const std::string& text) {
    QImage& label = labels_[text];
    if (!label.isNull()) return label;
    QFont font = this->font();
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
