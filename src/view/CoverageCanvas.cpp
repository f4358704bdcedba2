#include "view/CoverageCanvas.h"

#include "library/PlaceIndex.h"
#include "mapdef/MapCode.h"
#include "platform/Text.h"

#include <QElapsedTimer>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
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
constexpr double kSamePlace = 4;  // pixels: a click this near the last one is at the same place
constexpr double kKeyPan = 0.125; // of the view, for each arrow key

QString Coordinate(double degrees, bool longitude) {
    std::string lat, lon;
    MapCode::FormatPosition(float(longitude ? 0 : degrees * 60),
                            float(longitude ? degrees * 60 : 0), lat, lon);
    return QString::fromStdString(Platform::Cp1252ToUtf8(longitude ? lon : lat));
}

QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// The library tree's order: names without regard to case, then as written.
bool NameBefore(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

bool SamePlace(const CoverageMap& a, const CoverageMap& b) {
    return a.picture == b.picture && a.north == b.north && a.west == b.west && a.south == b.south &&
           a.east == b.east;
}

// Edges included, so a map with no width still meets what it lies on.
bool Meets(const QRectF& a, const QRectF& b) {
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom() &&
           b.top() <= a.bottom();
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
    const double each =
        double(Picture::CacheLimit() / 2) / 4 / double(std::max<std::size_t>(1, maps));
    return std::clamp(int(std::sqrt(each)), 16, 512);
}

void CoverageCanvas::SetMaps(std::vector<CoverageMap> maps) {
    std::vector<Item> items;
    items.reserve(maps.size());
    const int base = FirstLongest(maps.size());
    for (CoverageMap& m : maps) {
        Item item;
        if (const auto old = byKey_.constFind(m.key);
            old != byKey_.constEnd() && SamePlace(items_[*old].map, m)) {
            item = std::move(items_[*old]); // its pictures stay
        } else if (!m.picture.empty()) {
            item.requested = base;
            thumbnails_.Request(m.key, m.picture, base);
        }
        item.map = std::move(m);
        item.area =
            Library::GroundArea(item.map.north, item.map.west, item.map.south, item.map.east);
        items.push_back(std::move(item));
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.area != b.area ? a.area < b.area : NameBefore(a.map.key, b.map.key);
    });
    items_ = std::move(items);
    byKey_.clear();
    byKey_.reserve(qsizetype(items_.size()));
    for (std::size_t i = 0; i < items_.size(); ++i) byKey_.insert(items_[i].map.key, i);
    if (fitting_)
        ShowAll();
    else
        update();
}

const CoverageCanvas::Item* CoverageCanvas::Find(const QString& key) const {
    const auto at = byKey_.constFind(key);
    return at == byKey_.constEnd() ? nullptr : &items_[*at];
}

void CoverageCanvas::SetSelected(const QString& key) {
    selected_ = key;
    const Item* item = Find(key);
    if (item && !fitting_ && !Meets(RectOf(item->map), QRectF(rect()))) {
        // Brought into view: centred, and made to fit when it is larger than the view.
        const CoverageMap& m = item->map;
        centreLat_ = (m.north + m.south) / 2;
        centreLon_ = (m.west + m.east) / 2;
        const double w = std::abs(m.east - m.west), h = std::abs(m.north - m.south);
        if (w * perDegree_ > width() * 0.9 || h * perDegree_ > height() * 0.9)
            perDegree_ = std::max(
                1e-6, 0.9 * std::min(width() / std::max(w, 1e-9), height() / std::max(h, 1e-9)));
        settled_.start();
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
    fitting_ = true;
    double n = -90, s = 90, w = 180, e = -180;
    for (const Item& item : items_) {
        const CoverageMap& m = item.map;
        n = std::max({n, m.north, m.south});
        s = std::min({s, m.north, m.south});
        w = std::min({w, m.west, m.east});
        e = std::max({e, m.west, m.east});
    }
    if (items_.empty()) n = 90, s = -90, w = -180, e = 180;
    const double margin = std::max({(n - s) * 0.05, (e - w) * 0.05, 0.01});
    n += margin, s -= margin, w -= margin, e += margin;
    centreLat_ = (n + s) / 2;
    centreLon_ = (w + e) / 2;
    perDegree_ =
        std::max(1e-6, std::min(std::max(1, width()) / (e - w), std::max(1, height()) / (n - s)));
    settled_.start();
    update();
}

void CoverageCanvas::Moved() {
    fitting_ = false;
    settled_.start();
    update();
}

void CoverageCanvas::ZoomBy(double factor, QPointF about) {
    const QPointF earth = ToEarth(about);
    perDegree_ = std::clamp(perDegree_ * factor, 1e-3, 1e7);
    // The earth under `about` stays there.
    centreLat_ = earth.x() + (about.y() - height() / 2.0) / perDegree_;
    centreLon_ = earth.y() - (about.x() - width() / 2.0) / perDegree_;
    Moved();
}

std::vector<QString> CoverageCanvas::MapsAt(QPointF p) const {
    std::vector<QString> under;
    for (const Item& item : items_)
        if (RectOf(item.map).contains(p)) under.push_back(item.map.key);
    return under;
}

std::optional<QString> CoverageCanvas::MapAt(QPointF p) const {
    for (const Item& item : items_)
        if (RectOf(item.map).contains(p)) return item.map.key;
    return std::nullopt;
}

void CoverageCanvas::Arrived(const QString& key, const QImage& image, const QString& error,
                             int longest) {
    const auto at = byKey_.constFind(key);
    if (at == byKey_.constEnd()) return;
    Item& item = items_[*at];
    if (longest == item.requested) item.requested = 0;
    if (image.isNull()) {
        if (item.image.isNull()) item.error = error;
    } else if (longest >= item.longest) {
        item.image = image;
        item.longest = longest;
        item.error.clear();
    }
    // Down to a tenth below the cache's bound, so that the next arrivals do not send this
    // through every map again.
    const auto budget = std::int64_t(Picture::CacheLimit());
    if (std::int64_t(Picture::CachedBytes()) > budget) KeepWithinBudget(budget - budget / 10);
    // Only what shows is painted again: no picture is drawn for a map off the canvas or too
    // small for one. Painting many maps takes a while: arrivals wait for a multiple of that.
    const QRectF r = RectOf(item.map);
    const bool shows = Meets(r, QRectF(rect())) &&
                       (!image.isNull() ? r.width() >= 3 || r.height() >= 3 : item.image.isNull());
    if (shows && !arrivals_.isActive()) arrivals_.start(std::max(100, 3 * paintMs_));
}

void CoverageCanvas::SharpenVisible() {
    struct Want {
        Item* item;
        int longest;
        std::int64_t more; // bytes
    };
    std::vector<Want> wants;
    std::int64_t needed = 0;
    const QRectF view(rect());
    for (Item& item : items_) {
        if (item.map.picture.empty() || !item.error.isEmpty()) continue;
        const QRectF whole = RectOf(item.map);
        if (!Meets(whole, view)) continue;
        const double onScreen = std::max(whole.width(), whole.height());
        if (onScreen <= 1.5 * std::max(item.longest, item.requested)) continue;
        int want = 64;
        while (want < onScreen && want < kLargestPicture) want *= 2;
        if (want <= item.longest || want <= item.requested) continue;
        const double aspect = std::min(whole.width(), whole.height()) / onScreen;
        const std::int64_t more = std::int64_t(want) * std::int64_t(std::ceil(want * aspect)) * 4 -
                                  item.image.sizeInBytes();
        wants.push_back({&item, want, more});
        needed += more;
    }
    // Room is made by the sharper pictures of maps off screen; beyond that none is asked for
    // past what the picture cache has left, the smallest maps first (they cost least).
    const auto budget = std::int64_t(Picture::CacheLimit());
    if (std::int64_t(Picture::CachedBytes()) + needed > budget) KeepWithinBudget(budget - needed);
    std::int64_t projected = std::int64_t(Picture::CachedBytes());
    for (const Want& w : wants) {
        if (projected + w.more > budget) break;
        projected += w.more;
        w.item->requested = w.longest;
        thumbnails_.Request(w.item->map.key, w.item->map.picture, w.longest);
    }
}

void CoverageCanvas::KeepWithinBudget(std::int64_t target) {
    // Sharper pictures of maps off screen give way, the smallest maps first, back to the size
    // of the first pictures; they are made again when needed.
    const int base = FirstLongest(items_.size());
    const QRectF view(rect());
    for (Item& item : items_) {
        if (std::int64_t(Picture::CachedBytes()) <= target) break;
        if (item.longest <= base || Meets(RectOf(item.map), view)) continue;
        item.image = thumbnails_.Reduced(item.image, base);
        item.longest = base;
    }
}

void CoverageCanvas::paintEvent(QPaintEvent* event) {
    QElapsedTimer clock;
    clock.start();
    QPainter p(this);
    const QColor ground = palette().color(QPalette::Base), ink = palette().color(QPalette::Text);
    const QColor problem(210, 0, 0);
    p.fillRect(event->rect(), ground);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    // The graticule, its spacing from the zoom, labelled at the edges.
    double spacing = kSpacings[0];
    for (double s : kSpacings)
        if (s * perDegree_ >= kLinesApart) spacing = s;
    const QPointF nw = ToEarth(QPointF(0, 0)), se = ToEarth(QPointF(width(), height()));
    p.setPen(Mix(ground, ink, 0.25));
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

    // A name where the map has room for it, with a halo of the background around its letters.
    auto name = [&](const QString& key, const QRectF& r, const QColor& colour) {
        if (metrics.height() + 4 >= r.height() || metrics.horizontalAdvance(key) + 6 >= r.width())
            return;
        QPainterPath path;
        path.addText(r.left() + 3, r.top() + 2 + metrics.ascent(), font(), key);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.strokePath(path, QPen(ground, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.fillPath(path, colour);
        p.setRenderHint(QPainter::Antialiasing, false);
    };
    // The maps, largest first. Maps too small to show their pictures are outlined together.
    const QColor outline = Mix(ground, ink, 0.75);
    const QRectF view = QRectF(event->rect()).adjusted(-2, -2, 2, 2);
    std::vector<QRectF> specks;
    auto drawSpecks = [&] {
        if (specks.empty()) return;
        p.setPen(QPen(outline, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRects(specks.data(), int(specks.size()));
        specks.clear();
    };
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        const QRectF r = RectOf(it->map);
        if (!Meets(r, view)) continue;
        const bool missing = it->map.picture.empty() || !it->error.isEmpty();
        if (!missing && r.width() < 3 && r.height() < 3) {
            specks.push_back(r);
            continue;
        }
        drawSpecks();
        if (!missing && !it->image.isNull()) p.drawImage(r, it->image);
        p.setPen(QPen(missing ? problem : outline, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
        name(it->map.key, r, missing ? problem : ink);
    }
    drawSpecks();
    // The selected map keeps its place among the others; its outline lies over all of them.
    if (const Item* s = Find(selected_)) {
        const QRectF r = RectOf(s->map);
        p.setPen(QPen(palette().color(QPalette::Highlight), 3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
        name(s->map.key, r, ink);
    }
    paintMs_ = int(clock.elapsed());
}

void CoverageCanvas::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = dragFrom_ = e->position();
    dragLat_ = centreLat_;
    dragLon_ = centreLon_;
}

void CoverageCanvas::mouseMoveEvent(QMouseEvent* e) {
    if (dragFrom_ && (e->buttons() & Qt::LeftButton) &&
        (e->position() - *pressed_).manhattanLength() >= kSamePlace) {
        const QPointF moved = e->position() - *dragFrom_;
        centreLat_ = dragLat_ + moved.y() / perDegree_;
        centreLon_ = dragLon_ - moved.x() / perDegree_;
        setCursor(Qt::ClosedHandCursor);
        Moved();
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
    const bool click = pressed_ && (e->position() - *pressed_).manhattanLength() < kSamePlace;
    pressed_.reset();
    dragFrom_.reset();
    if (!click) return;
    const std::vector<QString> under = MapsAt(e->position());
    if (under.empty()) return;
    // At the same place again: the next larger map after the one taken there.
    std::size_t take = 0;
    if (lastClick_ &&
        (ToCanvas(lastClick_->x(), lastClick_->y()) - e->position()).manhattanLength() <
            kSamePlace) {
        const auto at = std::find(under.begin(), under.end(), selected_);
        if (at != under.end()) take = std::size_t(at - under.begin() + 1) % under.size();
    }
    lastClick_ = ToEarth(e->position());
    emit MapClicked(under[take]);
}

void CoverageCanvas::Step(int by) {
    std::vector<QString> inView;
    const QRectF view(rect());
    for (const Item& item : items_)
        if (Meets(RectOf(item.map), view)) inView.push_back(item.map.key);
    if (inView.empty()) return;
    const auto at = std::find(inView.begin(), inView.end(), selected_);
    const auto n = std::ptrdiff_t(inView.size());
    const std::ptrdiff_t next =
        at == inView.end() ? (by > 0 ? 0 : n - 1) : ((at - inView.begin()) + by + n) % n;
    emit MapClicked(inView[std::size_t(next)]);
}

void CoverageCanvas::keyPressEvent(QKeyEvent* e) {
    const QPointF centre(width() / 2.0, height() / 2.0);
    auto pan = [&](double across, double down) {
        centreLon_ += across * width() * kKeyPan / perDegree_;
        centreLat_ -= down * height() * kKeyPan / perDegree_;
        Moved();
    };
    switch (e->key()) {
    case Qt::Key_Left:
        return pan(-1, 0);
    case Qt::Key_Right:
        return pan(1, 0);
    case Qt::Key_Up:
        return pan(0, -1);
    case Qt::Key_Down:
        return pan(0, 1);
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return ZoomBy(std::sqrt(2.0), centre);
    case Qt::Key_Minus:
        return ZoomBy(std::sqrt(0.5), centre);
    case Qt::Key_0:
        return ShowAll();
    case Qt::Key_PageDown:
        return Step(1);
    case Qt::Key_PageUp:
        return Step(-1);
    default:
        QWidget::keyPressEvent(e); // Tab and the rest as usual
    }
}

void CoverageCanvas::wheelEvent(QWheelEvent* e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (notches != 0) ZoomBy(std::pow(std::sqrt(2.0), notches), e->position());
}

void CoverageCanvas::leaveEvent(QEvent*) {
    emit PositionChanged(QString());
}

void CoverageCanvas::resizeEvent(QResizeEvent*) {
    if (fitting_)
        ShowAll();
    else
        settled_.start();
}

bool CoverageCanvas::event(QEvent* e) {
    if (e->type() != QEvent::ToolTip) return QWidget::event(e);
    auto* help = static_cast<QHelpEvent*>(e);
    // Every map under the pointer, smallest first, as many as a screen's height of lines holds.
    constexpr std::size_t kMostLines = 30;
    const std::vector<QString> under = MapsAt(help->pos());
    QStringList lines;
    for (const QString& key : under) {
        if (std::size_t(lines.size()) == kMostLines) {
            lines << QString("... and %1 more").arg(under.size() - kMostLines);
            break;
        }
        const Item* item = Find(key);
        const QString why =
            !item->map.problem.isEmpty() ? item->map.problem
            : item->error.isEmpty()
                ? QString()
                : "the picture " +
                      QString::fromStdString(Platform::Cp1252ToUtf8(item->map.picture)) +
                      " cannot be shown: " + item->error;
        lines << (why.isEmpty() ? key : key + ": " + why);
    }
    if (lines.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), lines.join('\n'), this);
    return true;
}
