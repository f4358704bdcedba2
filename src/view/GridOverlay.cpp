#include "view/GridOverlay.h"

#include "view/PictureBox.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

namespace {

// Pixels inside a picture box's border.
int Border(const PictureBox& box) {
    return box.BorderStyle() == 1 ? 2 : 0;
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

    std::vector<QPolygonF> polylines;
    polylines.reserve(drawing.lines.size());
    for (const Grids::GridLine& line : drawing.lines) {
        QPolygonF polyline;
        polyline.reserve(qsizetype(line.points.size()));
        for (const Grids::PicturePoint& p : line.points) polyline << at(p);
        polylines.push_back(std::move(polyline));
    }
    QPainter p(this);
    // A light edging a pixel to each side of every line first, so that crossings stay dark; lines
    // one pixel wide, which the painter draws far faster than wide or translucent ones.
    p.setPen(QPen(QColor(255, 255, 255), 0));
    for (std::size_t i = 0; i < polylines.size(); ++i) {
        const QPointF side = drawing.lines[i].easting ? QPointF(1, 0) : QPointF(0, 1);
        p.drawPolyline(polylines[i].translated(side));
        p.drawPolyline(polylines[i].translated(-side));
    }
    p.setPen(QPen(QColor(20, 20, 90), 0));
    for (const QPolygonF& polyline : polylines) p.drawPolyline(polyline);

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
