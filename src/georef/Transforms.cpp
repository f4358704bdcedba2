// The calibration's transforms by name, the two fitted without GDAL, and the points an
// OziExplorer .map keeps: no GDAL, for the programs and the GDAL module alike.
#include "georef/Calibration.h"
#include "georef/TargetNames.h"

#include <algorithm>
#include <cmath>

namespace Georef {
namespace {

struct Described {
    const char* name;
    const char* key;
    std::size_t minimum;
};

constexpr Described kDescribed[kTransforms] = {
    {"Scale and shift", "scale", 2}, {"Similarity", "similarity", 2},
    {"Affine", "affine", 3},         {"Second-order polynomial", "poly2", 6},
    {"Thin-plate spline", "tps", 3},
};

} // namespace

std::string TransformName(Transform transform) {
    return kDescribed[int(transform)].name;
}

std::string TransformKey(Transform transform) {
    return kDescribed[int(transform)].key;
}

std::size_t MinimumPoints(Transform transform) {
    return kDescribed[int(transform)].minimum;
}

Transform DefaultTransform(std::size_t points) {
    return points <= 2 ? Transform::Similarity : Transform::Affine;
}

// Least squares of a scale and a shift each way: east from x, north from y.
std::array<double, 6> FitScaleShift(const std::vector<ControlPoint>& p) {
    double mx = 0, my = 0, me = 0, mn = 0;
    for (const auto& q : p) mx += q.x, my += q.y, me += q.east, mn += q.north;
    const double n = double(p.size());
    mx /= n, my /= n, me /= n, mn /= n;
    double sxe = 0, sxx = 0, syn = 0, syy = 0;
    for (const auto& q : p) {
        sxe += (q.x - mx) * (q.east - me), sxx += (q.x - mx) * (q.x - mx);
        syn += (q.y - my) * (q.north - mn), syy += (q.y - my) * (q.y - my);
    }
    const double b = sxe / sxx, d = syn / syy;
    return {me - b * mx, b, 0, mn - d * my, 0, d};
}

// Least squares of a similarity. North runs against y, so with p = s cos a and q = s sin a,
// east = e0 + p x + q y and north = n0 + q x - p y; both are linear in (e0, n0, p, q), and
// about the means p and q come out in closed form.
std::array<double, 6> FitSimilarity(const std::vector<ControlPoint>& pts) {
    double mx = 0, my = 0, me = 0, mn = 0;
    for (const auto& q : pts) mx += q.x, my += q.y, me += q.east, mn += q.north;
    const double n = double(pts.size());
    mx /= n, my /= n, me /= n, mn /= n;
    double ex = 0, ny = 0, ey = 0, nx = 0, rr = 0;
    for (const auto& q : pts) {
        const double x = q.x - mx, y = q.y - my, e = q.east - me, m = q.north - mn;
        ex += e * x, ny += m * y, ey += e * y, nx += m * x, rr += x * x + y * y;
    }
    const double p = (ex - ny) / rr, q = (ey + nx) / rr;
    return {me - p * mx - q * my, p, q, mn - q * mx + p * my, q, -p};
}

std::vector<std::size_t> MapFilePoints(const std::vector<ControlPoint>& points) {
    std::vector<std::size_t> kept;
    if (points.size() <= kMapFilePoints) {
        for (std::size_t i = 0; i < points.size(); ++i) kept.push_back(i);
        return kept;
    }
    // Farthest first: the pair farthest apart, then each time the point farthest from those
    // kept, which spreads the kept points over the scan as evenly as the points allow.
    auto distance = [&](std::size_t a, std::size_t b) {
        return std::hypot(points[a].x - points[b].x, points[a].y - points[b].y);
    };
    std::size_t first = 0, second = 1;
    for (std::size_t a = 0; a < points.size(); ++a)
        for (std::size_t b = a + 1; b < points.size(); ++b)
            if (distance(a, b) > distance(first, second)) first = a, second = b;
    kept = {first, second};
    std::vector<double> nearest(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        nearest[i] = std::min(distance(i, first), distance(i, second));
    while (kept.size() < kMapFilePoints) {
        std::size_t far = 0;
        for (std::size_t i = 1; i < points.size(); ++i)
            if (nearest[i] > nearest[far]) far = i;
        kept.push_back(far);
        for (std::size_t i = 0; i < points.size(); ++i)
            nearest[i] = std::min(nearest[i], distance(i, far));
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}

std::string CalibrationName(const CalibrationRequest& request) {
    // A name given is a stem of its own: ImportName takes a path's stem, so it is given one
    // extension to take off.
    return ImportName(request.name.empty() ? request.scan : request.name + ".x") + ".inf";
}

std::vector<std::string> CalibrationTargets(const CalibrationRequest& request) {
    const std::string stem = Detail::NameStem(CalibrationName(request));
    std::vector<std::string> paths;
    for (const char* extension : {".inf", ".jpg", ".map"})
        paths.push_back(Detail::EntryPath(request.mapsFolder, stem + extension));
    return paths;
}

} // namespace Georef
