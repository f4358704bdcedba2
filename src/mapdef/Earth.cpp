#include "mapdef/Earth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace MapCode::Earth {
namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180;

double Pole(double latitude) {
    return std::clamp(latitude, -90.0, 90.0);
}

} // namespace

double AlongParallelKm(double latitude, double degrees) {
    return kRadiusKm * std::cos(Pole(latitude) * kRadiansPerDegree) * std::fabs(degrees) *
           kRadiansPerDegree;
}

// The zone between two parallels covers the difference of their sines of the sphere's
// 4 pi r squared / 2; a rectangle its share of 360 degrees of longitude.
double GroundArea(double latitude1, double longitude1, double latitude2, double longitude2) {
    const double sines = std::sin(Pole(latitude2) * kRadiansPerDegree) -
                         std::sin(Pole(latitude1) * kRadiansPerDegree);
    return kRadiusKm * kRadiusKm * std::fabs(longitude2 - longitude1) * kRadiansPerDegree *
           std::fabs(sines);
}

} // namespace MapCode::Earth
