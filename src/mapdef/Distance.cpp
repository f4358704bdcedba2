#include "mapdef/MapCode.h"

#include "mapdef/Earth.h"

#include <cmath>

namespace MapCode {

float GetDistance(double lat1, double lon1, double lat2, double lon2, float& bearing) {
    if (lat1 == lat2 && lon1 == lon2) return 0;
    // The ellipsoid's axes squared, in ratio: a geodetic latitude's tangent to a geocentric one's.
    constexpr double kGeocentricFactor = Earth::kMinorSemiAxisKm * Earth::kMinorSemiAxisKm /
                                         (Earth::kMajorSemiAxisKm * Earth::kMajorSemiAxisKm);
    const double pi = 4 * std::atan(1.0);
    const double toRad = pi / 180;

    const double A = lat1 * toRad, B = lon1 * toRad, C = lat2 * toRad, D = lon2 * toRad;
    const double Ag = std::atan(kGeocentricFactor * std::tan(A));
    const double Cg = std::atan(kGeocentricFactor * std::tan(C));

    double X = std::cos(B - D) * std::cos(Ag) * std::cos(Cg) + std::sin(Cg) * std::sin(Ag);
    // Rounding can push the cosine of two close points just beyond 1.
    if (X > 1) X = 1;
    if (X < -1) X = -1;
    double T;
    if (X == 0) {
        T = pi / 2; // a quarter of a great circle
    } else {
        T = std::atan(std::fabs(std::sqrt(1 - X * X) / X));
        if (X < 0) T = pi - T;
    }
    const double distance = Earth::kRadiusKm * T;

    const double y = std::sin(D - B) * std::cos(Cg) * std::cos(Ag);
    const double x = std::sin(Cg) - std::cos(T) * std::sin(Ag);
    double V = x == 0 ? pi / 2 : std::atan(std::fabs(y / x));
    if (x < 0) V = pi - V;
    if (y < 0) V = -V;
    if (V < 0) V = V + 2 * pi;
    bearing = static_cast<float>(V * 180 / pi);
    return static_cast<float>(distance);
}

} // namespace MapCode
