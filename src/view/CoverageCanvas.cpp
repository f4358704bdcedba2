#include "view/CoverageCanvas.h"

#include "mapdef/MapCode.h"
#include "platform/Text.h"

#include <QElapsedTimer>
#include <QHash>
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

// An entry's name as the tree shows it.
QString Key(const std::string& name) {
    return QString::fromStdString(Platform::Cp1252ToUtf8(name));
}

// A picture asked for names its map and the picture file, so that one that comes after its map
// has changed to another picture is known for what it is. Names hold no line breaks.
QString RequestKey(const QString& key, const std::string& picture) {
    return key + '\n' + QString::fromStdString(picture);
}

// The box between two corners (top-left latitude and longitude, bottom-right latitude and
// longitude, minutes of arc), in degrees: north, west, south, east.
std::array<double, 4> Box(const std::array<float, 4>& c) {
    return {std::max(c[0], c[2]) / 60.0, std::min(c[1], c[3]) / 60.0, std::min(c[0], c[2]) / 60.0,
            std::max(c[1], c[3]) / 60.0};
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
    relaid_.setSingleShot(true);
    relaid_.setInterval(0);
    connect(&relaid_, &QTimer::timeout, this, [this] {
        if (fitting_)
            ShowAll();
        else
            update();
    });
}

int CoverageCanvas::FirstLongest(std::size_t maps) {
    const double each =
        double(Picture::CacheLimit() / 2) / 4 / double(std::max<std::size_t>(1, maps));
    return std::clamp(int(std::sqrt(each)), 16, 512);
}

void CoverageCanvas::Follow(const Library::MapLibrary& library, const Library::PlaceIndex& places) {
    if (library_) disconnect(library_, nullptr, this, nullptr);
    library_ = &library;
    places_ = &places;
    connect(library_, &Library::MapLibrary::Reset, this, &CoverageCanvas::Reset);
    connect(library_, &Library::MapLibrary::Added, this, &CoverageCanvas::Added);
    connect(library_, &Library::MapLibrary::Changed, this, &CoverageCanvas::Changed);
    connect(library_, &Library::MapLibrary::Removed, this, &CoverageCanvas::Removed);
    Reset();
    relaid_.stop();
    if (fitting_)
        ShowAll();
    else
        update();
}

const std::vector<int>& CoverageCanvas::Order() const {
    static const std::vector<int> none;
    return places_ ? places_->Placed() : none;
}

int CoverageCanvas::IndexOf(const QString& key) const {
    return library_ ? library_->IndexOf(Platform::Utf8ToCp1252(key.toStdString())) : -1;
}

CoverageCanvas::Item CoverageCanvas::ItemFor(int index, Item* old) {
    const Library::Entry& e = EntryOf(index);
    const MapCode::MapDefinition& d = e.definition;
    Item item;
    item.key = Key(e.name);
    item.picture = e.NamesPicture() ? e.picturePath : std::string();
    item.placed = e.HasCorners();
    item.corners = {d.topLeftLatitude, d.topLeftLongitude, d.bottomRightLatitude,
                    d.bottomRightLongitude};
    if (old && old->picture == item.picture && old->placed == item.placed &&
        old->corners == item.corners)
        return std::move(*old); // its pictures stay
    if (item.placed && !item.picture.empty()) {
        item.requested = FirstLongest(places_->Size());
        thumbnails_.Request(RequestKey(item.key, item.picture), item.picture, item.requested);
    }
    return item;
}

void CoverageCanvas::Reset() {
    QHash<QString, std::size_t> before;
    before.reserve(qsizetype(items_.size()));
    for (std::size_t i = 0; i < items_.size(); ++i) before.insert(items_[i].key, i);
    std::vector<Item> items;
    const int count = int(library_->Entries().size());
    items.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const auto old = before.constFind(Key(EntryOf(i).name));
        items.push_back(ItemFor(i, old == before.constEnd() ? nullptr : &items_[*old]));
    }
    items_ = std::move(items);
    if (IndexOf(selected_) < 0) selected_.clear();
    if (IndexOf(focused_) < 0) Focus({});
    Relaid();
}

void CoverageCanvas::Added(int index) {
    items_.insert(items_.begin() + index, ItemFor(index, nullptr));
    Relaid();
}

void CoverageCanvas::Changed(int index) {
    Item& item = items_[std::size_t(index)];
    Item old = std::move(item);
    item = ItemFor(index, &old);
    Relaid();
}

void CoverageCanvas::Removed(int index, const std::string& name) {
    items_.erase(items_.begin() + index);
    if (selected_ == Key(name)) selected_.clear();
    if (focused_ == Key(name)) Focus({});
    Relaid();
}

void CoverageCanvas::Relaid() {
    if (!relaid_.isActive()) relaid_.start();
}

void CoverageCanvas::SetSelected(const QString& key) {
    selected_ = key;
    Focus(key);
    BringIntoView(IndexOf(key));
    update();
}

void CoverageCanvas::Focus(const QString& key) {
    focused_ = key;
    setAccessibleDescription(key);
}

void CoverageCanvas::BringIntoView(int index) {
    if (index < 0 || !items_[std::size_t(index)].placed || fitting_ ||
        Meets(RectOf(index), QRectF(rect())))
        return;
    // Centred, and made to fit when it is larger than the view.
    const auto [north, west, south, east] = Box(items_[std::size_t(index)].corners);
    centreLat_ = (north + south) / 2;
    centreLon_ = (west + east) / 2;
    const double w = std::abs(east - west), h = std::abs(north - south);
    if (w * perDegree_ > width() * 0.9 || h * perDegree_ > height() * 0.9)
        perDegree_ = std::max(
            1e-6, 0.9 * std::min(width() / std::max(w, 1e-9), height() / std::max(h, 1e-9)));
    settled_.start();
}

QPointF CoverageCanvas::ToCanvas(double latitude, double longitude) const {
    return QPointF((longitude - centreLon_) * perDegree_ + width() / 2.0,
                   (centreLat_ - latitude) * perDegree_ + height() / 2.0);
}

QPointF CoverageCanvas::ToEarth(QPointF p) const {
    return QPointF(centreLat_ - (p.y() - height() / 2.0) / perDegree_,
                   centreLon_ + (p.x() - width() / 2.0) / perDegree_);
}

QRectF CoverageCanvas::RectOf(int index) const {
    const auto [north, west, south, east] = Box(items_[std::size_t(index)].corners);
    return QRectF(ToCanvas(north, west), ToCanvas(south, east)).normalized();
}

void CoverageCanvas::ShowAll() {
    fitting_ = true;
    double n = -90, s = 90, w = 180, e = -180;
    for (const int index : Order()) {
        const auto [north, west, south, east] = Box(items_[std::size_t(index)].corners);
        n = std::max({n, north, south});
        s = std::min({s, north, south});
        w = std::min({w, west, east});
        e = std::max({e, west, east});
    }
    if (Order().empty()) n = 90, s = -90, w = -180, e = 180;
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

std::vector<int> CoverageCanvas::IndicesAt(QPointF p) const {
    if (!places_) return {};
    const QPointF earth = ToEarth(p); // the index works in minutes of arc
    return places_->Covering(float(earth.x() * 60), float(earth.y() * 60));
}

std::vector<QString> CoverageCanvas::MapsAt(QPointF p) const {
    std::vector<QString> under;
    for (const int index : IndicesAt(p)) under.push_back(items_[std::size_t(index)].key);
    return under;
}

std::optional<QString> CoverageCanvas::MapAt(QPointF p) const {
    const std::vector<QString> under = MapsAt(p);
    return under.empty() ? std::nullopt : std::optional<QString>(under.front());
}

void CoverageCanvas::Arrived(const QString& request, const QImage& image, const QString& error,
                             int longest) {
    const qsizetype cut = request.indexOf('\n');
    const int index = IndexOf(request.left(cut));
    // Gone, no longer placed, or showing another picture now.
    if (index < 0 || !items_[std::size_t(index)].placed ||
        request.mid(cut + 1) != QString::fromStdString(items_[std::size_t(index)].picture))
        return;
    Item& item = items_[std::size_t(index)];
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
    const QRectF r = RectOf(index);
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
    for (const int index : Order()) {
        Item& item = items_[std::size_t(index)];
        if (item.picture.empty() || !item.error.isEmpty()) continue;
        const QRectF whole = RectOf(index);
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
        thumbnails_.Request(RequestKey(w.item->key, w.item->picture), w.item->picture, w.longest);
    }
}

void CoverageCanvas::KeepWithinBudget(std::int64_t target) {
    // Sharper pictures of maps off screen give way, the smallest maps first, back to the size
    // of the first pictures; they are made again when needed.
    const int base = FirstLongest(Order().size());
    const QRectF view(rect());
    for (const int index : Order()) {
        Item& item = items_[std::size_t(index)];
        if (std::int64_t(Picture::CachedBytes()) <= target) break;
        if (item.longest <= base || Meets(RectOf(index), view)) continue;
        item.image = thumbnails_.Reduced(item.image, base);
        item.longest = base;
    }
}

void CoverageCanvas::paintEvent(QPaintEvent* event) {
    QElapsedTimer clock;
    clock.start();
    QPainter p(this);
    p.fillRect(event->rect(), palette().color(QPalette::Base));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setFont(font());
    DrawGraticule(p);
    DrawMaps(p, QRectF(event->rect()).adjusted(-2, -2, 2, 2));
    // The selected map keeps its place among the others; its outline lies over all of them.
    if (const int s = IndexOf(selected_); s >= 0 && items_[std::size_t(s)].placed) {
        const QRectF r = RectOf(s);
        p.setPen(QPen(palette().color(QPalette::Highlight), 3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
        DrawName(p, QFontMetrics(font()), selected_, r, palette().color(QPalette::Text));
    }
    // The keyboard's map: a dashed ring just outside it, in the text's colour on the background.
    if (const int f = IndexOf(focused_); hasFocus() && f >= 0 && items_[std::size_t(f)].placed) {
        const QRectF ring = RectOf(f).adjusted(-3, -3, 3, 3);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(palette().color(QPalette::Base), 3));
        p.drawRect(ring);
        p.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DashLine));
        p.drawRect(ring);
    }
    paintMs_ = int(clock.elapsed());
}

void CoverageCanvas::DrawGraticule(QPainter& p) {
    // Its spacing from the zoom, labelled at the edges.
    double spacing = kSpacings[0];
    for (double s : kSpacings)
        if (s * perDegree_ >= kLinesApart) spacing = s;
    const QPointF nw = ToEarth(QPointF(0, 0)), se = ToEarth(QPointF(width(), height()));
    p.setPen(Mix(palette().color(QPalette::Base), palette().color(QPalette::Text), 0.25));
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
}

void CoverageCanvas::DrawName(QPainter& p, const QFontMetrics& metrics, const QString& key,
                              const QRectF& r, const QColor& colour) const {
    // Where the map has room for it, with a halo of the background around its letters.
    if (metrics.height() + 4 >= r.height() || metrics.horizontalAdvance(key) + 6 >= r.width())
        return;
    QPainterPath path;
    path.addText(r.left() + 3, r.top() + 2 + metrics.ascent(), font(), key);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.strokePath(
        path, QPen(palette().color(QPalette::Base), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.fillPath(path, colour);
    p.setRenderHint(QPainter::Antialiasing, false);
}

void CoverageCanvas::DrawMaps(QPainter& p, const QRectF& view) {
    // Largest first. Maps too small to show their pictures are outlined together.
    const QColor ink = palette().color(QPalette::Text), problem(210, 0, 0);
    const QColor outline = Mix(palette().color(QPalette::Base), ink, 0.75);
    const QFontMetrics metrics(font());
    std::vector<QRectF> specks;
    auto drawSpecks = [&] {
        if (specks.empty()) return;
        p.setPen(QPen(outline, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRects(specks.data(), int(specks.size()));
        specks.clear();
    };
    const std::vector<int>& order = Order();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const Item& item = items_[std::size_t(*it)];
        const QRectF r = RectOf(*it);
        if (!Meets(r, view)) continue;
        const bool missing = item.picture.empty() || !item.error.isEmpty();
        if (!missing && r.width() < 3 && r.height() < 3) {
            specks.push_back(r);
            continue;
        }
        drawSpecks();
        if (!missing && !item.image.isNull()) p.drawImage(r, item.image);
        p.setPen(QPen(missing ? problem : outline, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
        DrawName(p, metrics, item.key, r, missing ? problem : ink);
    }
    drawSpecks();
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
    for (const int index : Order())
        if (Meets(RectOf(index), view)) inView.push_back(items_[std::size_t(index)].key);
    if (inView.empty()) return;
    const auto at = std::find(inView.begin(), inView.end(), selected_);
    const auto n = std::ptrdiff_t(inView.size());
    const std::ptrdiff_t next =
        at == inView.end() ? (by > 0 ? 0 : n - 1) : ((at - inView.begin()) + by + n) % n;
    emit MapClicked(inView[std::size_t(next)]);
}

void CoverageCanvas::MoveFocus(int by) {
    std::vector<int> order = Order();
    auto top = [this](int i) { return Box(items_[std::size_t(i)].corners); };
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const auto [an, aw, as, ae] = top(a);
        const auto [bn, bw, bs, be] = top(b);
        if (an != bn) return an > bn;
        if (aw != bw) return aw < bw;
        return items_[std::size_t(a)].key < items_[std::size_t(b)].key;
    });
    if (order.empty()) return;
    const int at = IndexOf(focused_);
    const auto here = std::find(order.begin(), order.end(), at);
    const std::ptrdiff_t n = std::ptrdiff_t(order.size());
    const std::ptrdiff_t next =
        here == order.end() ? (by > 0 ? 0 : n - 1)
                            : std::clamp<std::ptrdiff_t>((here - order.begin()) + by, 0, n - 1);
    const int index = order[std::size_t(next)];
    Focus(items_[std::size_t(index)].key);
    BringIntoView(index);
    update();
}

void CoverageCanvas::keyPressEvent(QKeyEvent* e) {
    const QPointF centre(width() / 2.0, height() / 2.0);
    if (e->modifiers() & Qt::ControlModifier) {
        switch (e->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            return MoveFocus(-1);
        case Qt::Key_Right:
        case Qt::Key_Down:
            return MoveFocus(1);
        default:
            return QWidget::keyPressEvent(e);
        }
    }
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        !(e->modifiers() & ~Qt::KeypadModifier)) {
        if (IndexOf(focused_) >= 0) emit MapClicked(focused_);
        return;
    }
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

void CoverageCanvas::focusInEvent(QFocusEvent* e) {
    update(); // the focused map's ring
    QWidget::focusInEvent(e);
}

void CoverageCanvas::focusOutEvent(QFocusEvent* e) {
    update();
    QWidget::focusOutEvent(e);
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
    const std::vector<int> under = IndicesAt(help->pos());
    QStringList lines;
    for (const int index : under) {
        if (std::size_t(lines.size()) == kMostLines) {
            lines << QString("... and %1 more").arg(under.size() - kMostLines);
            break;
        }
        const Item& item = items_[std::size_t(index)];
        const QString why = item.picture.empty() ? QString("the definition names no picture")
                            : item.error.isEmpty()
                                ? QString()
                                : "the picture " +
                                      QString::fromStdString(Platform::Cp1252ToUtf8(item.picture)) +
                                      " cannot be shown: " + item.error;
        lines << (why.isEmpty() ? item.key : item.key + ": " + why);
    }
    if (lines.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), lines.join('\n'), this);
    return true;
}
