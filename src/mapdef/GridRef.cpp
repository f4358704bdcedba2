#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

#include <cmath>

namespace MapCode {
namespace {

// The National Grid: a transverse Mercator projection of the Airy 1830 ellipsoid (OSGB36), with
// the Ordnance Survey's published constants (the axes already times the central scale factor
// F0 = 0.9996012717: a = 6377563.396 m, b = 6356256.909 m).
constexpr double aF0 = 6375020.481, bF0 = 6353722.49;
constexpr double n = 0.00167322025, n2 = 2.7996660050100626e-06, n3 = n2 * n; // (a-b)/(a+b)
constexpr double e2 = 0.006670539762, oneMinusE2 = 0.993329460238;            // (a²-b²)/a²
constexpr double pi = 3.14159265358979;
constexpr double phi0 = 153.9380400258997 / 180, lambda0 = -6.28318530717958 / 180; // 49°N 2°W
constexpr double E0 = 400000, N0 = -100000; // the true origin's easting and northing (m)

// The meridional arc from the true origin's latitude to `phi` (radians), in metres.
double MeridionalArc(double phi) {
    const double d = phi - phi0, s = phi + phi0;
    return bF0 * ((1 + n + 5.0 / 4 * n2 + 5.0 / 4 * n3) * d -
                  (3 * n + 3 * n2 + 21.0 / 8 * n3) * std::sin(d) * std::cos(s) +
                  (15.0 / 8 * n2 + 15.0 / 8 * n3) * std::sin(2 * d) * std::cos(2 * s) -
                  35.0 / 24 * n3 * std::sin(3 * d) * std::cos(3 * s));
}

} // namespace

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
    constexpr int kMaxIterations = 100; // it settles within a handful anywhere on the grid

    auto fail = [] { throw CoreError(ErrorKind::Overflow, "Overflow"); };
    // The formulae mean nothing for points further off than the earth is round.
    constexpr double kEarthSize = 4e7;
    if (!(std::fabs(easting - E0) < kEarthSize && std::fabs(northing - N0) < kEarthSize)) fail();

    double phi = phi0, M = 0;
    int iterations = 0;
    do {
        if (++iterations > kMaxIterations) fail();
        phi = phi + (northing - N0 - M) / aF0;
        M = MeridionalArc(phi);
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

void LatLonToEastNorth(double latitude, double longitude, double& easting, double& northing) {
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) >= 90)
        throw CoreError(ErrorKind::Overflow, "Overflow");
    const double phi = latitude * pi / 180, lambda = longitude * pi / 180;
    const double s = std::sin(phi), c = std::cos(phi), t2 = std::tan(phi) * std::tan(phi);
    const double nu = aF0 / std::sqrt(1 - e2 * s * s);
    const double rho = nu * oneMinusE2 / (1 - e2 * s * s);
    const double eta2 = nu / rho - 1;
    const double c3 = c * c * c, c5 = c3 * c * c;
    const double I = MeridionalArc(phi) + N0;
    const double II = nu / 2 * s * c;
    const double III = nu / 24 * s * c3 * (5 - t2 + 9 * eta2);
    const double IIIA = nu / 720 * s * c5 * (61 - 58 * t2 + t2 * t2);
    const double IV = nu * c;
    const double V = nu / 6 * c3 * (nu / rho - t2);
    const double VI = nu / 120 * c5 * (5 - 18 * t2 + t2 * t2 + 14 * eta2 - 58 * t2 * eta2);
    const double L = lambda - lambda0, L2 = L * L;
    northing = I + L2 * (II + L2 * (III + L2 * IIIA));
    easting = E0 + L * (IV + L2 * (V + L2 * VI));
}

std::string EastNorthToGridRef(double easting, double northing) {
    constexpr double kSquare = 100000; // the letters name 100 km squares
    if (!(easting >= 0 && easting < 7 * kSquare && northing >= 0 && northing < 13 * kSquare))
        return {};
    const int e100 = int(easting / kSquare), n100 = int(northing / kSquare);
    // The inverse of GridRefToEastNorth's letters: the first names the 500 km square (from SV),
    // the second the 100 km square within it; I is never used.
    int l1 = (3 - n100 / 5) * 5 + e100 / 5 + 2, l2 = (4 - n100 % 5) * 5 + e100 % 5;
    if (l1 >= 8) ++l1;
    if (l2 >= 8) ++l2;
    // The 100 m square that holds the point: digits cut, as a reference is read.
    auto digits = [](double metres) {
        return ZeroPadded(static_cast<long long>(std::fmod(metres, kSquare) / 100), 3);
    };
    return std::string{char('A' + l1), char('A' + l2), ' '} + digits(easting) + " " +
           digits(northing);
}

} // namespace MapCode
