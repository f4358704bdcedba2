// Grid intersections proposed on a scan: the points placed give a fit from the scan to the grid,
// whose inverse puts each intersection of the grid's lines on the scan.
#include "grids/GridLines.h"

#include "georef/Calibration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace Grids {
namespace {

constexpr double kSpacings[] = {1e3, 1e4, 1e5}; // metres: the grids printed on sheets
constexpr double kApart = 40;                   // scan pixels between intersections, at least
constexpr std::size_t kMost = 200;              // intersections proposed at once
constexpr double kNodes = 2e4;                  // intersections looked at, at most
// An intersection within this share of the spacing of a place given is that place.
constexpr double kGiven = 0.05;
// Pixels an intersection on the scan's edge may fall outside it by rounding.
constexpr double kEdge = 1e-6;

// From the scan to the grid: east = a[0] + a[1] x + a[2] y, north = a[3] + a[4] x + a[5] y.
using Affine = std::array<double, 6>;

struct Means {
    double x = 0, y = 0, e = 0, n = 0;
    explicit Means(const std::vector<ScanPlace>& p) {
        for (const ScanPlace& q : p) x += q.x, y += q.y, e += q.east, n += q.north;
        const double count = double(p.size());
        x /= count, y /= count, e /= count, n /= count;
    }
};

// A shift, a rotation and one scale, as a calibration fits them.
std::optional<Affine> Similarity(const std::vector<ScanPlace>& pts) {
    std::vector<Georef::ControlPoint> points;
    for (const ScanPlace& p : pts) points.push_back({p.x, p.y, p.east, p.north, 0, 0});
    return Georef::FitSimilarity(points);
}

// Six parameters in least squares, about the means.
std::optional<Affine> LeastSquares(const std::vector<ScanPlace>& pts) {
    const Means m(pts);
    double xx = 0, xy = 0, yy = 0, xe = 0, ye = 0, xn = 0, yn = 0;
    for (const ScanPlace& q : pts) {
        const double x = q.x - m.x, y = q.y - m.y, e = q.east - m.e, n = q.north - m.n;
        xx += x * x, xy += x * y, yy += y * y, xe += x * e, ye += y * e, xn += x * n, yn += y * n;
    }
    const double det = xx * yy - xy * xy;
    if (!(det > 1e-9 * xx * yy) || !(det > 0)) return std::nullopt; // in a line on the scan
    const double e1 = (yy * xe - xy * ye) / det, e2 = (xx * ye - xy * xe) / det;
    const double n1 = (yy * xn - xy * yn) / det, n2 = (xx * yn - xy * xn) / det;
    return Affine{m.e - e1 * m.x - e2 * m.y, e1, e2, m.n - n1 * m.x - n2 * m.y, n1, n2};
}

} // namespace

Intersections ProposeIntersections(const std::vector<ScanPlace>& placed, int width, int height) {
    if (placed.size() < 2 || width <= 0 || height <= 0) return {};
    const auto fit = placed.size() == 2 ? Similarity(placed) : LeastSquares(placed);
    if (!fit) return {};
    const Affine& a = *fit;
    const double det = a[1] * a[5] - a[2] * a[4];
    const double perPixel = std::sqrt(std::fabs(det)); // metres
    if (!(perPixel > 0) || !std::isfinite(perPixel)) return {};
    double west = HUGE_VAL, east = -HUGE_VAL, south = HUGE_VAL, north = -HUGE_VAL;
    for (const auto& [x, y] : {std::array<double, 2>{0, 0},
                               {double(width), 0},
                               {0, double(height)},
                               {double(width), double(height)}}) {
        const double e = a[0] + a[1] * x + a[2] * y, n = a[3] + a[4] * x + a[5] * y;
        west = std::min(west, e), east = std::max(east, e);
        south = std::min(south, n), north = std::max(north, n);
    }
    double spacing = 0;
    for (const double s : kSpacings)
        if (s >= kApart * perPixel && (east - west) / s * (north - south) / s <= kNodes) {
            spacing = s;
            break;
        }
    if (spacing == 0) return {};
    // The places given, as the intersections they are.
    std::vector<std::array<double, 2>> given;
    for (const ScanPlace& q : placed) {
        const double e = std::round(q.east / spacing) * spacing;
        const double n = std::round(q.north / spacing) * spacing;
        if (std::hypot(q.east - e, q.north - n) < kGiven * spacing) given.push_back({e, n});
    }
    std::vector<std::pair<double, ScanPlace>> near; // squared pixels to the nearest point placed
    for (double i = std::ceil(west / spacing); i * spacing <= east; ++i)
        for (double j = std::ceil(south / spacing); j * spacing <= north; ++j) {
            // The grid to the scan: the fit's inverse.
            const double e = i * spacing, n = j * spacing;
            const double de = e - a[0], dn = n - a[3];
            const ScanPlace p{(a[5] * de - a[2] * dn) / det, (a[1] * dn - a[4] * de) / det, e, n};
            if (p.x < -kEdge || p.x > width + kEdge || p.y < -kEdge || p.y > height + kEdge ||
                std::find(given.begin(), given.end(), std::array<double, 2>{e, n}) != given.end())
                continue;
            double d = HUGE_VAL;
            for (const ScanPlace& q : placed)
                d = std::min(d, (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y));
            near.push_back({d, p});
        }
    const auto keep = near.begin() + std::ptrdiff_t(std::min(near.size(), kMost));
    std::partial_sort(near.begin(), keep, near.end(),
                      [](const auto& l, const auto& r) { return l.first < r.first; });
    Intersections found{spacing, {}};
    for (auto i = near.begin(); i != keep; ++i) found.points.push_back(i->second);
    return found;
}

} // namespace Grids
