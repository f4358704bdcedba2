// A scan's transform fitted to its points: the scale and shift and the similarity by least
// squares of the module's own (GDAL has no such fit), the polynomials and the thin-plate spline by
// GDAL's own ground control point transformers, which its warp then uses as they are.
#include "georef/Confinement.h"
#include "georef/GdalSupport.h"
#include "georef/ScanFit.h"

#include <gdal_alg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Georef {
namespace Detail {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadian = kPi / 180;
// Points nearer than this on the scan are one point (pixels).
constexpr double kSamePixel = 0.5;

[[noreturn]] void Refuse(const std::string& why) {
    throw Error(Error::Kind::Refused, "The calibration is refused: " + why + ".");
}

std::string Count(std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// The spread of points about their mean: the smallest and largest standard deviations along
// any direction (the square roots of the covariance's eigenvalues).
std::pair<double, double> Spread(const std::vector<std::array<double, 2>>& p) {
    double mx = 0, my = 0;
    for (const auto& q : p) mx += q[0], my += q[1];
    mx /= double(p.size()), my /= double(p.size());
    double sxx = 0, syy = 0, sxy = 0;
    for (const auto& q : p) {
        sxx += (q[0] - mx) * (q[0] - mx), syy += (q[1] - my) * (q[1] - my);
        sxy += (q[0] - mx) * (q[1] - my);
    }
    sxx /= double(p.size()), syy /= double(p.size()), sxy /= double(p.size());
    const double mid = (sxx + syy) / 2, half = std::hypot((sxx - syy) / 2, sxy);
    return {std::sqrt(std::max(mid - half, 0.0)), std::sqrt(mid + half)};
}

// Refuses points the transform cannot be fitted to, saying why.
void RefuseUnfit(const FitRequest& r) {
    const std::size_t n = r.points.size(), need = MinimumPoints(r.transform);
    if (n < need)
        Refuse(TransformName(r.transform) + " needs " + Count(need, "point") + " at least; " +
               (n == 0 ? "none is" : Count(n, "point") + (n == 1 ? " is" : " are")) + " placed");
    std::vector<std::array<double, 2>> pixels, places;
    for (std::size_t i = 0; i < n; ++i) {
        const ControlPoint& a = r.points[i];
        for (std::size_t j = 0; j < i; ++j) {
            const ControlPoint& b = r.points[j];
            if (std::hypot(a.x - b.x, a.y - b.y) < kSamePixel)
                Refuse("points " + std::to_string(j + 1) + " and " + std::to_string(i + 1) +
                       " lie on one pixel");
            if (a.east == b.east && a.north == b.north)
                Refuse("points " + std::to_string(j + 1) + " and " + std::to_string(i + 1) +
                       " have one place");
        }
        pixels.push_back({a.x, a.y});
        places.push_back({a.east, a.north});
    }
    if (r.transform == Transform::ScaleShift) {
        const auto [minX, maxX] = std::minmax_element(r.points.begin(), r.points.end(),
                                                      [](auto& a, auto& b) { return a.x < b.x; });
        const auto [minY, maxY] = std::minmax_element(r.points.begin(), r.points.end(),
                                                      [](auto& a, auto& b) { return a.y < b.y; });
        if (maxX->x - minX->x < 1 || maxY->y - minY->y < 1)
            Refuse("the points lie in a line (a scale and shift needs them apart both across "
                   "and down the scan)");
    } else if (need >= 3) {
        if (Spread(pixels).first < kSamePixel) Refuse("the points lie in a line on the scan");
        const auto [across, along] = Spread(places);
        if (across <= along * 1e-6) Refuse("the places lie in a line");
    }
}

std::vector<GDAL_GCP> Gcps(const std::vector<ControlPoint>& points) {
    std::vector<GDAL_GCP> gcps(points.size());
    static char empty[] = "";
    for (std::size_t i = 0; i < points.size(); ++i)
        gcps[i] = {empty, empty, points[i].x, points[i].y, points[i].east, points[i].north, 0};
    return gcps;
}

} // namespace

OGRSpatialReference FitSrs(const FitRequest& request) {
    if (!request.epsg) return DatumSrs(request.datum);
    OGRSpatialReference srs;
    if (srs.importFromEPSG(request.epsg) != OGRERR_NONE)
        Refuse("PROJ does not know the system EPSG:" + std::to_string(request.epsg));
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

ScanTransform::ScanTransform(const FitRequest& request) : transform_(request.transform) {
    RefuseUnfit(request);
    if (transform_ == Transform::ScaleShift || transform_ == Transform::Similarity) {
        geotransform_ = transform_ == Transform::ScaleShift ? FitScaleShift(request.points)
                                                            : FitSimilarity(request.points);
        if (!GDALInvGeoTransform(geotransform_.data(), inverse_.data()))
            Refuse("the places do not spread the points on the ground");
        return;
    }
    ErrorCapture errors;
    const std::vector<GDAL_GCP> gcps = Gcps(request.points);
    gdal_ = transform_ == Transform::Tps
                ? GDALCreateTPSTransformer(int(gcps.size()), gcps.data(), FALSE)
                : GDALCreateGCPTransformer(int(gcps.size()), gcps.data(),
                                           transform_ == Transform::Poly2 ? 2 : 1, FALSE);
    if (!gdal_)
        Refuse("the points do not fix a " + TransformName(transform_) + " (" +
               errors.Reason("too many lie on one line or curve") + ")");
}

ScanTransform::~ScanTransform() {
    if (!gdal_) return;
    if (transform_ == Transform::Tps)
        GDALDestroyTPSTransformer(gdal_);
    else
        GDALDestroyGCPTransformer(gdal_);
}

bool ScanTransform::Forward(double& x, double& y) const {
    return Apply(false, x, y);
}

bool ScanTransform::Backward(double& x, double& y) const {
    return Apply(true, x, y);
}

bool ScanTransform::Apply(bool backward, double& x, double& y) const {
    if (!gdal_) {
        const auto& g = backward ? inverse_ : geotransform_;
        const double u = x, v = y;
        x = g[0] + g[1] * u + g[2] * v, y = g[3] + g[4] * u + g[5] * v;
        return true;
    }
    double z = 0;
    int ok = 0;
    if (transform_ == Transform::Tps)
        return GDALTPSTransform(gdal_, backward, 1, &x, &y, &z, &ok) && ok;
    return GDALGCPTransform(gdal_, backward, 1, &x, &y, &z, &ok) && ok;
}

FitToDatum::FitToDatum(const FitRequest& request) {
    if (!request.epsg) return;
    OGRSpatialReference from = FitSrs(request), to = DatumSrs(request.datum);
    convert_.reset(OGRCreateCoordinateTransformation(&from, &to));
    if (!convert_)
        Refuse("PROJ cannot convert EPSG:" + std::to_string(request.epsg) + " to " +
               DatumName(request.datum));
}

bool FitToDatum::operator()(double& x, double& y) const {
    return !convert_ || (convert_->Transform(1, &x, &y) && std::isfinite(x) && std::isfinite(y));
}

} // namespace Detail

namespace {
using namespace Detail;

// Metres on the ground between two nearby places (degrees) on the datum's ellipsoid: the
// meridian's and the parallel's radii of curvature at their mean latitude.
double Ground(const OGRSpatialReference& datum, double lat1, double lon1, double lat2,
              double lon2) {
    const double a = datum.GetSemiMajor(), inverse = datum.GetInvFlattening();
    const double f = inverse > 0 ? 1 / inverse : 0, e2 = f * (2 - f);
    const double phi = (lat1 + lat2) / 2 * kRadian;
    const double w = 1 - e2 * std::sin(phi) * std::sin(phi);
    const double meridian = a * (1 - e2) / std::pow(w, 1.5), parallel = a / std::sqrt(w);
    return std::hypot((lat2 - lat1) * kRadian * meridian,
                      (lon2 - lon1) * kRadian * parallel * std::cos(phi));
}

// The box around the scan's outline, followed in small steps, in the datum.
void Box(const FitRequest& r, const ScanTransform& t, const FitToDatum& toDatum, Fit& fit) {
    constexpr int kSteps = 64;
    fit.north = fit.east = -1e9, fit.south = fit.west = 1e9;
    const double w = r.width, h = r.height;
    for (int i = 0; i < 4 * kSteps; ++i) {
        const double s = double(i % kSteps) / kSteps;
        const int side = i / kSteps;
        double x = side == 0 ? s * w : side == 1 ? w : side == 2 ? (1 - s) * w : 0;
        double y = side == 0 ? 0 : side == 1 ? s * h : side == 2 ? h : (1 - s) * h;
        if (!t.Forward(x, y) || !toDatum(x, y))
            Refuse("the scan's edge does not convert to " + DatumName(r.datum));
        fit.north = std::max(fit.north, y), fit.south = std::min(fit.south, y);
        fit.east = std::max(fit.east, x), fit.west = std::min(fit.west, x);
    }
}

} // namespace

Fit Gdal::FitScan(const FitRequest& request) {
    EnsureGdal();
    ErrorCapture errors;
    const ScanTransform t(request);
    const FitToDatum toDatum(request);
    const OGRSpatialReference datum = DatumSrs(request.datum);
    Fit fit;
    fit.transform = request.transform;
    double squares = 0;
    for (std::size_t i = 0; i < request.points.size(); ++i) {
        const ControlPoint& p = request.points[i];
        FittedPoint f;
        f.east = p.x, f.north = p.y;
        double x = p.east, y = p.north;
        bool ok = t.Forward(f.east, f.north) && toDatum(x, y);
        f.longitude = f.east, f.latitude = f.north;
        ok = ok && toDatum(f.longitude, f.latitude);
        double bx = p.east, by = p.north;
        if (!ok || !t.Backward(bx, by))
            Refuse("the place of point " + std::to_string(i + 1) + " does not convert to " +
                   DatumName(request.datum));
        f.residualMetres = Ground(datum, y, x, f.latitude, f.longitude);
        f.residualPixels = std::hypot(bx - p.x, by - p.y);
        squares += f.residualMetres * f.residualMetres;
        fit.points.push_back(f);
    }
    fit.rmsMetres = std::sqrt(squares / double(request.points.size()));
    Box(request, t, toDatum, fit);
    return fit;
}

bool Gdal::ScanSize(const std::string& scan, int& width, int& height, std::string& why) {
    EnsureGdal();
    ErrorCapture errors;
    if (const std::string refused = SourceRefusal(scan); !refused.empty())
        return why = refused, false;
    GDALDatasetH dataset =
        GDALOpenEx(scan.c_str(), GDAL_OF_RASTER | GDAL_OF_VERBOSE_ERROR, nullptr, nullptr, nullptr);
    if (!dataset) return why = errors.Reason("GDAL cannot read it"), false;
    width = GDALGetRasterXSize(dataset), height = GDALGetRasterYSize(dataset);
    const int bands = GDALGetRasterCount(dataset);
    GDALClose(dataset);
    if (bands < 1) return why = "it holds no picture", false;
    return true;
}

} // namespace Georef
