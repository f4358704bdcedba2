#include "mapdef/MapCode.h"

#include <cmath>

namespace MapCode {

bool GridRefToEastNorth(const std::string& gridRef, double& northing, double& easting) {
    std::string s;
    for (char c : gridRef)
        if (c != ' ') s += c;
    if (s.size() == 6) s = s.substr(0, 4) + "5" + s.substr(4, 2) + "5"; // centre of the 1 km square
    if (s.size() != 8) return false;

    auto letter = [](char c) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        return static_cast<int>(static_cast<unsigned char>(c)) - 'A';
    };
    int l1 = letter(s[0]), l2 = letter(s[1]);
    if (l1 < 0 || l1 > 25 || l2 < 0 || l2 > 25 || l1 == 8 || l2 == 8) return false; // no I
    if (l1 > 8) --l1;
    if (l2 > 8) --l2;
    for (std::size_t i = 2; i < 8; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    const int e = std::stoi(s.substr(2, 3));
    const int n = std::stoi(s.substr(5, 3));
    northing = 100.0 * (1000 * ((3 - l1 / 5) * 5 + (4 - l2 / 5)) + n);
    easting = 100.0 * (1000 * ((l1 % 5 - 2) * 5 + l2 % 5) + e);
    return true;
}

void EastNorthToLatLon(double easting, double northing, double& latitude, double& longitude) {
    // Airy 1830 ellipsoid with the National Grid's central scale factor (OSGB36).
    constexpr double aF0 = 6375020.481, bF0 = 6353722.49;
    constexpr double n = 0.00167322025, n2 = 2.7996660050100626e-06, n3 = n2 * n;
    constexpr double e2 = 0.006670539762, oneMinusE2 = 0.993329460238;
    constexpr double phi0 = 153.9380400258997 / 180, lambda0 = -6.28318530717958 / 180;
    constexpr double E0 = 400000, N0 = -100000;
    constexpr double pi = 3.14159265358979;
    constexpr int kMaxIterations = 100; // it settles within a handful anywhere on the grid

    auto fail = [] { throw CoreError(ErrorKind::Overflow, "Overflow"); };
    // The formulae mean nothing for points further off than the earth is round.
    constexpr double kEarthSize = 4e7;
    if (!(std::fabs(easting - E0) < kEarthSize && std::fabs(northing - N0) < kEarthSize)) fail();

    auto meridionalArc = [&](double phi) {
        const double d = phi - phi0, s = phi + phi0;
        return bF0 * ((1 + n + 5.0 / 4 * n2 + 5.0 / 4 * n3) * d -
                      (3 * n + 3 * n2 + 21.0 / 8 * n3) * std::sin(d) * std::cos(s) +
                      (15.0 / 8 * n2 + 15.0 / 8 * n3) * std::sin(2 * d) * std::cos(2 * s) -
                      35.0 / 24 * n3 * std::sin(3 * d) * std::cos(3 * s));
    };
    double phi = phi0, M = 0;
    int iterations = 0;
    do {
        if (++iterations > kMaxIterations) fail();
        phi = phi + (northing - N0 - M) / aF0;
        M = meridionalArc(phi);
        if (!std::isfinite(M)) fail();
    } while (std::fabs(northing - N0 - M) >= 0.001);

    const double s = std::sin(phi), c = std::cos(phi), t = s / c;
    const double nu = aF0 / std::sqrt(1 - e2 * s * s);
    const double rho = nu * oneMinusE2 / (1 - e2 * s * s);
    const double eta2 = nu / rho - 1;
    const double d = (easting - E0) / nu, d2 = d * d;
    const double t2 = t * t, t4 = t2 * t2, t6 = t4 * t2;

    const double lat = phi - (nu / rho) * d2 *
                                 (t / 2 - d2 * (t / 24 * (5 + 3 * t2 + eta2 - 9 * t2 * eta2) -
                                                d2 * t / 720 * (61 + 90 * t2 + 45 * t4)));
    const double lon =
        lambda0 + (d / c) * (1 - d2 * ((nu / rho + 2 * t2) / 6 -
                                       d2 * ((5 + 28 * t2 + 24 * t4) / 120 -
                                             d2 * (61 + 662 * t2 + 1320 * t4 + 720 * t6) / 5040)));
    latitude = lat * 180 / pi;
    longitude = lon * 180 / pi;
    if (!std::isfinite(latitude) || !std::isfinite(longitude)) fail();
}

} // namespace MapCode
