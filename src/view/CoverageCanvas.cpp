#include "view/CoverageCanvas.h"

#include "mapdef/MapCode.h"
#include "platform/Text.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

// Graticule spacings in degrees, every 30° down to every minute.
constexpr double kSpacings[] = {30,        10,        5,        2,        1,       30.0 / 60,
                                15.0 / 60, 10.0 / 60, 5.0 / 60, 2.0 / 60, 1.0 / 60};
constexpr int kLinesApart = 90; // pixels at least between graticule lines
constexpr int kLargestPicture = 2048;

QString Coordinate(double degrees, bool longitude) {
    std::string lat, lon;
    MapCode::FormatPosition(float(longitude ? 0 : degrees * 60),
                            float(longitude ? degrees * 60 : 0), lat, lon);
    return QString::fromStdString(Platform::Cp1252ToUtf8(longitude ? lon : lat));
}

std::string Identity(const CoverageMap& m) {
    return m.picture + "|" + std::to_string(m.north) + "|" + std::to_string(m.west) + "|" +
           std::to_string(m.south) + "|" + std::to_string(m.east);
}

} // namespace

CoverageCanvas::CoverageCanvas(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    settled_.setSingleShot(true);
    settled_.setInterval(150);
    connect(&settled_, &QTimer::timeout, this, &CoverageCanvas::SharpenVisible);
    arrivals_.setSingleShot(true);
    arrivals_.setInterval(100);
    connect(&arrivals_, &QTimer::timeout, this, [this] { update(); });
    connect(&thumbnails_, &Picture::Thumbnails::Ready, this, &CoverageCanvas::Arrived);
}

int CoverageCanvas::FirstLongest(std::size_t maps) {
    const double each = double(kPictureBudget / 2) / 4 / double(std::max<std::size_t>(1, maps));
    return std::clamp(int(std::sqrt(each)), 64, 512);
}

void CoverageCanvas::SetMaps(std::vector<CoverageMap> maps) {
    maps_ = std::move(maps);
    QHash<QString, Shown> kept;
    const int base = FirstLongest(maps_.size());
    for (const auto& m : maps_) {
        auto old = pictures_.find(m.key);
        if (old != pictures_.end() && old->source == Identity(m)) {
            kept.insert(m.key, *old);
            continue;
        }
        Shown shown;
        shown.source = Identity(m);
        if (!m.picture.empty()) {
            shown.requested = base;
            thumbnails_.Request(m.key, m.picture, base);
        }
        kept.insert(m.key, shown);
    }
    pictures_ = std::move(kept);
    if (!placed_) ShowAll();
    update();
}

void CoverageCanvas::SetSelected(const QString& key) {
    selected_ = key;
    for (const auto& m : maps_) {
        if (m.key != key) continue;
        const QRectF r = RectOf(m);
        if (!rect().contains(r.toAlignedRect())) {
            // Brought into view: centred, and made to fit when it is larger than the view.
            centreLat_ = (m.north + m.south) / 2;
            centreLon_ = (m.west + m.east) / 2;
            const double w = std::abs(m.east - m.west), h = std::abs(m.north - m.south);
            if (w * perDegree_ > width() * 0.9 || h * perDegree_ > height() * 0.9)
                perDegree_ = std::max(1e-6, 0.9 * std::min(width() / std::max(w, 1e-9),
                                                           height() / std::max(h, 1e-9)));
            settled_.start();
        }
    }
    update();
}

QPointF CoverageCanvas::ToCanvas(double latitude, double longitude) const {
    return QPointF((longitude - centreLon_) * perDegree_ + width() / 2.0,
                   (centreLat_ - latitude) * perDegree_ + height() / 2.0);
}

QPointF CoverageCanvas::ToEarth(QPointF p) const {
    return QPointF(centreLat_ - (p.y() - height() / 2.0) / perDegree_,
                   centreLon_ + (p.x() - width() / 2.0) / perDegree_);
}

QRectF CoverageCanvas::RectOf(const CoverageMap& m) const {
    return QRectF(ToCanvas(m.north, m.west), ToCanvas(m.south, m.east)).normalized();
}

void CoverageCanvas::ShowAll() {
    placed_ = true;
    double n = -90, s = 90, w = 180, e = -180;
    for (const auto& m : maps_) {
        n = std::max({n, m.north, m.south});
        s = std::min({s, m.north, m.south});
        w = std::min({w, m.west, m.east});
        e = std::max({e, m.west, m.east});
    }
    if (maps_.empty()) n = 90, s = -90, w = -180, e = 180;
    const double margin = std::max({(n - s) * 0.05, (e - w) * 0.05, 0.01});
    n += margin, s -= margin, w -= margin, e += margin;
    centreLat_ = (n + s) / 2;
    centreLon_ = (w + e) / 2;
    perDegree_ =
        std::max(1e-6, std::min(std::max(1, width()) / (e - w), std::max(1, height()) / (n - s)));
    settled_.start();
    update();
}

void CoverageCanvas::ZoomBy(double factor, QPointF about) {
    const QPointF earth = ToEarth(about);
    perDegree_ = std::clamp(perDegree_ * factor, 1e-3, 1e7);
    // The earth under `about` stays there.
    centreLat_ = earth.x() + (about.y() - height() / 2.0) / perDegree_;
    centreLon_ = earth.y() - (about.x() - width() / 2.0) / perDegree_;
    settled_.start();
    update();
}

std::optional<QString> CoverageCanvas::MapAt(QPointF p) const {
    std::optional<QString> top;
    for (const auto& m : maps_)
        if (RectOf(m).contains(p) && (!top || *top != selected_)) top = m.key;
    return top;
}

void CoverageCanvas::Arrived(const QString& key, const QImage& image, const QString& error,
                             int longest) {
    auto shown = pictures_.find(key);
    if (shown == pictures_.end()) return;
    if (longest == shown->requested) shown->requested = 0;
    if (image.isNull()) {
        if (shown->image.isNull()) shown->error = error;
    } else if (longest >= shown->longest) {
        shown->image = image;
        shown->longest = longest;
        shown->error.clear();
    }
    KeepWithinBudget();
    if (!arrivals_.isActive()) arrivals_.start();
}

void CoverageCanvas::SharpenVisible() {
    for (const auto& m : maps_) {
        auto shown = pictures_.find(m.key);
        if (m.picture.empty() || shown == pictures_.end() || !shown->error.isEmpty()) continue;
        const QRectF r = RectOf(m).intersected(QRectF(rect()));
        if (r.isEmpty()) continue;
        const QRectF whole = RectOf(m);
        const double onScreen = std::max(whole.width(), whole.height());
        if (onScreen <= 1.5 * std::max(shown->longest, shown->requested)) continue;
        int want = 64;
        while (want < onScreen && want < kLargestPicture) want *= 2;
        if (want <= shown->longest || want <= shown->requested) continue;
        shown->requested = want;
        thumbnails_.Request(m.key, m.picture, want);
    }
}

void CoverageCanvas::KeepWithinBudget() {
    std::int64_t bytes = 0;
    for (const auto& shown : std::as_const(pictures_)) bytes += shown.image.sizeInBytes();
    if (bytes <= kPictureBudget) return;
    // Sharper pictures of maps off screen give way first; they are made again when needed.
    const int base = FirstLongest(maps_.size());
    for (const auto& m : maps_) {
        if (bytes <= kPictureBudget) break;
        auto shown = pictures_.find(m.key);
        if (shown == pictures_.end() || shown->longest <= base ||
            RectOf(m).intersects(QRectF(rect())))
            continue;
        bytes -= shown->image.sizeInBytes();
        shown->image =
            shown->image.scaled(shown->image.size().scaled(base, base, Qt::KeepAspectRatio),
                                Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        shown->longest = base;
        bytes += shown->image.sizeInBytes();
    }
}

void CoverageCanvas::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), QColor(235, 240, 245));
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    // The graticule, its spacing from the zoom, labelled at the edges.
    double spacing = kSpacings[0];
    for (double s : kSpacings)
        if (s * perDegree_ >= kLinesApart) spacing = s;
    const QPointF nw = ToEarth(QPointF(0, 0)), se = ToEarth(QPointF(width(), height()));
    p.setPen(QColor(180, 190, 205));
    p.setFont(font());
    const QFontMetrics metrics(font());
    double free = -1e9; // labels that would run into the one before are left out
    for (double lon = std::ceil(std::max(-180.0, nw.y()) / spacing) * spacing;
         lon <= std::min(180.0, se.y()); lon += spacing) {
        const double x = ToCanvas(0, lon).x();
        p.drawLine(QPointF(x, 0), QPointF(x, height()));
        const QString label = Coordinate(lon, true);
        if (x + 2 < free) continue;
        p.drawText(QPointF(x + 2, metrics.ascent() + 1), label);
        free = x + 2 + metrics.horizontalAdvance(label) + 6;
    }
    free = 1e9;
    for (double lat = std::ceil(std::max(-90.0, se.x()) / spacing) * spacing;
         lat <= std::min(90.0, nw.x()); lat += spacing) {
        const double y = ToCanvas(lat, 0).y();
        p.drawLine(QPointF(0, y), QPointF(width(), y));
        if (y - 2 > free) continue;
        p.drawText(QPointF(2, y - 2), Coordinate(lat, false));
        free = y - 2 - metrics.height();
    }

    // The maps in the library's order, the selected one last.
    auto draw = [&](const CoverageMap& m, bool selected) {
        const QRectF r = RectOf(m);
        if (!r.intersects(QRectF(event->rect()).adjusted(-2, -2, 2, 2))) return;
        const Shown& shown = pictures_[m.key];
        const bool missing = m.picture.empty() || !shown.error.isEmpty();
        if (!missing && !shown.image.isNull()) p.drawImage(r, shown.image);
        p.setPen(QPen(missing ? QColor(210, 0, 0) : QColor(40, 40, 40), selected ? 3 : 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
        if (metrics.horizontalAdvance(m.key) + 6 < r.width() && metrics.height() + 4 < r.height()) {
            p.setPen(missing ? QColor(210, 0, 0) : Qt::black);
            p.drawText(r.adjusted(3, 2, -3, -2), Qt::AlignLeft | Qt::AlignTop, m.key);
        }
    };
    const CoverageMap* selected = nullptr;
    for (const auto& m : maps_) {
        if (m.key == selected_)
            selected = &m;
        else
            draw(m, false);
    }
    if (selected) draw(*selected, true);
}

void CoverageCanvas::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = dragFrom_ = e->position();
    dragLat_ = centreLat_;
    dragLon_ = centreLon_;
}

void CoverageCanvas::mouseMoveEvent(QMouseEvent* e) {
    if (dragFrom_ && (e->buttons() & Qt::LeftButton)) {
        const QPointF moved = e->position() - *dragFrom_;
        centreLat_ = dragLat_ + moved.y() / perDegree_;
        centreLon_ = dragLon_ - moved.x() / perDegree_;
        setCursor(Qt::ClosedHandCursor);
        settled_.start();
        update();
    }
    const QPointF earth = ToEarth(e->position());
    QString text;
    try {
        if (std::abs(earth.x()) <= 90 && std::abs(earth.y()) <= 180)
            text = QString::fromStdString(Platform::Cp1252ToUtf8(
                MapCode::PositionText(float(earth.x() * 60), float(earth.y() * 60))));
    } catch (const std::exception&) {
    }
    emit PositionChanged(text);
}

void CoverageCanvas::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    unsetCursor();
    const bool click = pressed_ && (e->position() - *pressed_).manhattanLength() < 4;
    pressed_.reset();
    dragFrom_.reset();
    if (click)
        if (const auto key = MapAt(e->position())) emit MapClicked(*key);
}

void CoverageCanvas::wheelEvent(QWheelEvent* e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (notches != 0) ZoomBy(std::pow(std::sqrt(2.0), notches), e->position());
}

void CoverageCanvas::leaveEvent(QEvent*) {
    emit PositionChanged(QString());
}

void CoverageCanvas::resizeEvent(QResizeEvent*) {
    if (!placed_ && !maps_.empty()) ShowAll();
    settled_.start();
}

bool CoverageCanvas::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const auto key = MapAt(help->pos());
        QString tip;
        if (key) {
            const auto m = std::find_if(maps_.begin(), maps_.end(),
                                        [&](const CoverageMap& c) { return c.key == *key; });
            const QString error = pictures_.value(*key).error;
            const QString why =
                !m->problem.isEmpty() ? m->problem
                : error.isEmpty()
                    ? QString()
                    : "the picture " + QString::fromStdString(Platform::Cp1252ToUtf8(m->picture)) +
                          " cannot be shown: " + error;
            tip = why.isEmpty() ? *key : *key + ": " + why;
        }
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(e);
}
