#include "grids/GridLines.h"
#include "grids/Systems.h"

#include "mapdef/MapCode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace Grids {
using namespace Detail;
namespace {

constexpr double kApart = 50;           // screen pixels between lines, at least
constexpr double kBend = 1.0 / 3;       // screen pixels a drawn line may stray from the true one
constexpr double kFirstStep = 8;        // spacings between the first points along each line
constexpr int kRefinements = 6;         // halvings of a stretch, at most
constexpr int kEdgeSamples = 16;        // along each edge of the area, to find its grid's range
constexpr std::size_t kMostLines = 200; // of each direction; more means no grid fits the view
constexpr double kMetres[] = {100, 200, 500, 1e3, 2e3, 5e3, 1e4, 2e4, 5e4, 1e5};
constexpr double kDegrees[] = {1 / 60.0,  2 / 60.0, 5 / 60.0, 10 / 60.0, 15 / 60.0,
                               30 / 60.0, 1,        2,        5};

// Between picture pixels and a grid's coordinates, through the map's placement.
struct Frame {
    const MapCode::Georeference& map;
    const Projection& projection;

    void ToGrid(double* x, double* y, std::size_t count) const {
        for (std::size_t i = 0; i < count; ++i) {
            x[i] = map.LongitudeAt(x[i]) / 60;
            y[i] = map.LatitudeAt(y[i]) / 60;
        }
        projection.Forward(x, y, count);
    }
    void ToPicture(double* x, double* y, std::size_t count) const {
        projection.Inverse(x, y, count);
        for (std::size_t i = 0; i < count; ++i) {
            x[i] = map.XAt(x[i] * 60);
            y[i] = map.YAt(y[i] * 60);
        }
    }
};

// The smallest spacing that puts lines `kApart` screen pixels apart at a point; 0 for none.
double Spacing(const Frame& frame, PicturePoint at, double zoom, bool degrees) {
    const double step = 10; // screen pixels
    double x[3] = {at.x, at.x + step / zoom, at.x}, y[3] = {at.y, at.y, at.y + step / zoom};
    frame.ToGrid(x, y, 3);
    // A coordinate's change per screen pixel across its lines.
    const double perPixel =
        std::max(std::hypot(x[1] - x[0], x[2] - x[0]), std::hypot(y[1] - y[0], y[2] - y[0])) / step;
    if (!std::isfinite(perPixel)) return 0;
    for (const double spacing : degrees
                                    ? std::vector<double>(std::begin(kDegrees), std::end(kDegrees))
                                    : std::vector<double>(std::begin(kMetres), std::end(kMetres)))
        if (spacing >= kApart * perPixel) return spacing;
    return 0;
}

// The grid's coordinates over an area: least and greatest x, then y (on its edges, as neither
// coordinate of a grid has a turning point inside).
std::array<double, 4> Range(const Frame& frame, PictureRect area) {
    std::vector<double> x, y;
    for (int i = 0; i <= kEdgeSamples; ++i) {
        const double across = area.left + (area.right - area.left) * i / kEdgeSamples;
        const double down = area.top + (area.bottom - area.top) * i / kEdgeSamples;
        x.insert(x.end(), {across, across, area.left, area.right});
        y.insert(y.end(), {area.top, area.bottom, down, down});
    }
    frame.ToGrid(x.data(), y.data(), x.size());
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::array<double, 4> range{inf, -inf, inf, -inf};
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::isnan(x[i]) || std::isnan(y[i])) continue;
        range = {std::min(range[0], x[i]), std::max(range[1], x[i]), std::min(range[2], y[i]),
                 std::max(range[3], y[i])};
    }
    return range;
}

// The line of one coordinate from `from` to `to` of the other, in picture pixels: points every
// `step` of the other coordinate, at its whole multiples, and more where the line strays further
// than `bend` pixels from the chord between two. Whatever stretch of it is asked for, the points
// where two stretches overlap are the same: a view may keep what it drew of the one.
std::vector<PicturePoint> Trace(const Frame& frame, bool easting, double value, double from,
                                double to, double step, double bend) {
    struct Node {
        double along;
        PicturePoint at;
        bool settled; // the stretch to the next node is near enough straight
    };
    auto convert = [&](std::vector<Node>& nodes) {
        std::vector<double> x, y;
        for (const Node& n : nodes) {
            x.push_back(easting ? value : n.along);
            y.push_back(easting ? n.along : value);
        }
        frame.ToPicture(x.data(), y.data(), x.size());
        for (std::size_t i = 0; i < nodes.size(); ++i) nodes[i].at = {x[i], y[i]};
    };
    std::vector<Node> nodes;
    for (double k = std::floor(from / step); k <= std::ceil(to / step); ++k)
        nodes.push_back({k * step, {}, false});
    convert(nodes);
    for (int round = 0; round < kRefinements; ++round) {
        std::vector<Node> middles;
        for (std::size_t i = 0; i + 1 < nodes.size(); ++i)
            if (!nodes[i].settled)
                middles.push_back({(nodes[i].along + nodes[i + 1].along) / 2, {}, false});
        if (middles.empty()) break;
        convert(middles);
        std::vector<Node> refined;
        std::size_t m = 0;
        for (std::size_t i = 0; i + 1 < nodes.size(); ++i) {
            refined.push_back(nodes[i]);
            if (nodes[i].settled) continue;
            const Node& mid = middles[m++];
            const PicturePoint a = nodes[i].at, b = nodes[i + 1].at;
            const double stray = std::hypot(mid.at.x - (a.x + b.x) / 2, mid.at.y - (a.y + b.y) / 2);
            if (stray > bend) // NaN too: a stretch that does not convert is left as it is
                refined.push_back(mid);
            else
                refined.back().settled = true;
        }
        refined.push_back(nodes.back());
        nodes.swap(refined);
    }
    std::vector<PicturePoint> points;
    for (const Node& n : nodes)
        if (std::isfinite(n.at.x) && std::isfinite(n.at.y)) points.push_back(n.at);
    return points;
}

std::string Label(Grid grid, bool degrees, bool easting, double value, double spacing) {
    char text[64];
    if (degrees && grid.kind == GridKind::LatLon) { // "51.30N", "000.07W"
        std::string latitude, longitude;
        MapCode::FormatPosition(float(easting ? 0 : value * 60), float(easting ? value * 60 : 0),
                                latitude, longitude);
        std::string& written = easting ? longitude : latitude;
        return written.erase(written.size() - 4, 3); // the hundredths, always 00 here
    }
    if (degrees) {
        std::snprintf(text, sizeof text, "%g", value);
        return text;
    }
    const bool lettered =
        grid.kind == GridKind::Bng || grid.kind == GridKind::Irish || grid.kind == GridKind::Mgrs;
    // Lettered grids count kilometres within their 100 km square, the others from the origin.
    const double km = (lettered ? std::fmod(std::fmod(value, 1e5) + 1e5, 1e5) : value) / 1000;
    if (spacing < 1000)
        std::snprintf(text, sizeof text, lettered ? "%04.1f" : "%.1f", km);
    else
        std::snprintf(text, sizeof text, lettered ? "%02.0f" : "%.0f", km);
    return text;
}

// The least rectangle that holds the points (an empty one for none: it meets no view).
PictureRect Bounds(const std::vector<PicturePoint>& points) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    PictureRect box{inf, inf, -inf, -inf};
    for (const PicturePoint& p : points)
        box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
               std::max(box.bottom, p.y)};
    return box;
}

// The first stretch of a polyline inside a rectangle, in `run`.
void Inside(const std::vector<PicturePoint>& points, const PictureRect& r,
            std::vector<PicturePoint>& run) {
    run.clear();
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        PicturePoint a = points[i], b = points[i + 1];
        if (!Clip(a, b, r)) {
            if (!run.empty()) break;
            continue;
        }
        if (run.empty()) run.push_back(a);
        run.push_back(b);
    }
}

} // namespace

bool Clip(PicturePoint& a, PicturePoint& b, const PictureRect& r) {
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    auto edge = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double t = q / p;
        if (p < 0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
        return true;
    };
    if (!edge(-dx, a.x - r.left) || !edge(dx, r.right - a.x) || !edge(-dy, a.y - r.top) ||
        !edge(dy, r.bottom - a.y))
        return false;
    b = {a.x + t1 * dx, a.y + t1 * dy};
    a = {a.x + t0 * dx, a.y + t0 * dy};
    return true;
}

GridLines::GridLines(Grid grid, Datum datum) : grid_(grid), datum_(datum) {}

void GridLines::Make(const MapCode::Georeference& map, PictureRect region, PictureRect visible,
                     double zoom) {
    made_.clear();
    boxes_.clear();
    spacing_ = 0;
    // Of the last lines made: none in between are lines too.
    const double lastSpacing = std::exchange(shapeSpacing_, 0);
    const PicturePoint centre{(visible.left + visible.right) / 2,
                              (visible.top + visible.bottom) / 2};
    double longitude = map.LongitudeAt(centre.x) / 60, latitude = map.LatitudeAt(centre.y) / 60;
    int zone = 0;
    bool south = false;
    if (grid_.kind == GridKind::Utm || grid_.kind == GridKind::Mgrs) {
        double x = longitude, y = latitude;
        Projection(grid_, datum_, 1).LibraryToOwn(&x, &y, 1);
        if (!UtmBand(y)) return;
        zone = UtmZone(y, x), south = y < 0;
    }
    const Projection projection(grid_, datum_, zone, south);
    projection.LibraryToOwn(&longitude, &latitude, 1);
    if (!projection.InArea(longitude, latitude)) return;
    const Frame frame{map, projection};
    const bool degrees = grid_.kind == GridKind::LatLon || grid_.kind == GridKind::Decimal ||
                         projection.Info().geographic;
    const double spacing = Spacing(frame, centre, zoom, degrees);
    const auto range = Range(frame, region);
    if (!(spacing > 0) || !std::isfinite(range[0]) ||
        std::max(range[1] - range[0], range[3] - range[2]) / spacing > double(kMostLines))
        return;
    if (spacing != lastSpacing || zone != shapeZone_ || south != shapeSouth_) ++shapes_;
    spacing_ = shapeSpacing_ = spacing, shapeZone_ = zone, shapeSouth_ = south;
    for (const bool easting : {true, false}) {
        const double low = easting ? range[0] : range[2], high = easting ? range[1] : range[3];
        const double from = easting ? range[2] : range[0], to = easting ? range[3] : range[1];
        for (double k = std::ceil(low / spacing); k <= std::floor(high / spacing); ++k) {
            GridLine line;
            line.easting = easting;
            line.value = k * spacing;
            line.points =
                Trace(frame, easting, line.value, from, to, kFirstStep * spacing, kBend / zoom);
            line.label = Label(grid_, degrees, easting, line.value, spacing);
            boxes_.push_back(Bounds(line.points));
            made_.push_back(std::move(line));
        }
    }
}

const GridDrawing& GridLines::Draw(const MapCode::Georeference& map, PictureRect visible,
                                   double zoom) {
    const GridDrawing none;
    if (!map.HasSize() || !(zoom > 0)) return drawing_ = none;
    const PictureRect picture{0, 0, double(map.Width()), double(map.Height())};
    visible = {std::max(visible.left, 0.0), std::max(visible.top, 0.0),
               std::min(visible.right, picture.right), std::min(visible.bottom, picture.bottom)};
    if (!(visible.left < visible.right && visible.top < visible.bottom)) return drawing_ = none;
    const float corners[4] = {map.TopLeftLongitude(), map.TopLeftLatitude(),
                              map.BottomRightLongitude(), map.BottomRightLatitude()};
    const bool same = zoom == zoom_ && std::equal(corners, corners + 4, corners_) &&
                      map.Width() == width_ && map.Height() == height_;
    const bool within = visible.left >= region_.left && visible.right <= region_.right &&
                        visible.top >= region_.top && visible.bottom <= region_.bottom;
    if (!same || !within) {
        const double w = (visible.right - visible.left) / 2, h = (visible.bottom - visible.top) / 2;
        region_ = {std::max(visible.left - w, 0.0), std::max(visible.top - h, 0.0),
                   std::min(visible.right + w, picture.right),
                   std::min(visible.bottom + h, picture.bottom)};
        zoom_ = zoom;
        std::copy(corners, corners + 4, corners_);
        width_ = map.Width(), height_ = map.Height();
        ++makings_;
        if (!same) ++shapes_;
        try {
            Make(map, region_, visible, zoom);
        } catch (const std::exception&) { // PROJ cannot be had, or a place beyond the texts
            made_.clear();
            boxes_.clear();
            spacing_ = shapeSpacing_ = 0;
        }
    }
    drawing_.spacing = spacing_;
    // Each frame's lines in the last one's storage: a pan redraws them many times a second.
    std::size_t shown = 0;
    for (std::size_t i = 0; i < made_.size(); ++i) {
        const GridLine& line = made_[i];
        const PictureRect& box = boxes_[i];
        if (!(box.right >= visible.left && box.left <= visible.right && box.bottom >= visible.top &&
              box.top <= visible.bottom))
            continue; // beside the view
        if (shown == drawing_.lines.size()) drawing_.lines.emplace_back();
        GridLine& out = drawing_.lines[shown];
        Inside(line.points, visible, out.points);
        if (out.points.size() < 2) continue;
        out.easting = line.easting, out.value = line.value, out.label = line.label;
        out.labelAt = *std::min_element(out.points.begin(), out.points.end(),
                                        [&](const PicturePoint& a, const PicturePoint& b) {
                                            return line.easting ? a.y < b.y : a.x < b.x;
                                        });
        ++shown;
    }
    drawing_.lines.resize(shown);
    return drawing_;
}

} // namespace Grids
