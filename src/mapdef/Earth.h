#pragma once
// The sphere Varnet measures the earth on: distances (GetDistance), and maps' ground extents,
// areas and scales (Georeference). Its radius is the mean of the two semi-axes of the ellipsoid
// the distances are defined on, 6378 and 6356 km: 6367 km.

namespace MapCode::Earth {

constexpr double kMajorSemiAxisKm = 6378, kMinorSemiAxisKm = 6356;
constexpr double kRadiusKm = (kMajorSemiAxisKm + kMinorSemiAxisKm) / 2;

// Kilometres along the parallel of `latitude` (degrees; beyond a pole counts as the pole)
// across `degrees` of longitude (either sign). Never throws.
double AlongParallelKm(double latitude, double degrees);

// The ground area, in square kilometres, of the rectangle between two latitudes and two
// longitudes (degrees, in either order). Latitudes beyond the poles count as the poles. Never
// throws.
double GroundArea(double latitude1, double longitude1, double latitude2, double longitude2);

} // namespace MapCode::Earth
