#include "georef/Calibration.h"
#include "georef/Rasters.h"
#include "support/TempHost.h"

#include <gdal_alg.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Georef::Transform;

// A least-squares fit of its own: the normal equations of the rows, solved by Gauss-Jordan
// elimination with partial pivoting.
std::vector<double> LeastSquares(const std::vector<std::vector<double>>& rows,
                                 const std::vector<double>& values) {
    const std::size_t n = rows[0].size();
    std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) a[i][j] += rows[r][i] * rows[r][j];
            a[i][n] += rows[r][i] * values[r];
        }
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
        std::swap(a[c], a[pivot]);
        for (std::size_t r = 0; r < n; ++r) {
            if (r == c) continue;
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k <= n; ++k) a[r][k] -= f * a[c][k];
        }
    }
    std::vector<double> solution(n);
    for (std::size_t i = 0; i < n; ++i) solution[i] = a[i][n] / a[i][i];
    return solution;
}

// The terms of a polynomial in the scan's position, about a centre so the equations stay well
// conditioned.
std::vector<double> Terms(double x, double y, int order) {
    x = (x - 500) / 500, y = (y - 400) / 400;
    if (order == 1) return {1, x, y};
    return {1, x, y, x * x, x * y, y * y};
}

double Dot(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

// Where the test's own fit puts each point: east and north.
std::vector<std::array<double, 2>> Independent(Transform t,
                                               const std::vector<Georef::ControlPoint>& p) {
    std::vector<std::array<double, 2>> out;
    std::vector<std::vector<double>> rows;
    std::vector<double> values;
    if (t == Transform::Similarity) {
        for (const auto& q : p) {
            rows.push_back({1, 0, q.x, q.y}), values.push_back(q.east);
            rows.push_back({0, 1, -q.y, q.x}), values.push_back(q.north);
        }
        const auto s = LeastSquares(rows, values);
        for (const auto& q : p)
            out.push_back({s[0] + s[2] * q.x + s[3] * q.y, s[1] - s[2] * q.y + s[3] * q.x});
        return out;
    }
    std::vector<std::vector<double>> ex, ny;
    std::vector<double> es, ns;
    for (const auto& q : p) {
        ex.push_back(t == Transform::ScaleShift ? std::vector<double>{1, q.x}
                                                : Terms(q.x, q.y, t == Transform::Poly2 ? 2 : 1));
        ny.push_back(t == Transform::ScaleShift ? std::vector<double>{1, q.y} : ex.back());
        es.push_back(q.east), ns.push_back(q.north);
    }
    const auto e = LeastSquares(ex, es), n = LeastSquares(ny, ns);
    for (std::size_t i = 0; i < p.size(); ++i) out.push_back({Dot(ex[i], e), Dot(ny[i], n)});
    return out;
}

// Eight points on a 1000 x 800 scan of a sheet 2.5 km across in the National Grid, printed a
// little askew and unevenly, each typed a few metres out; their latitudes and longitudes on
// OSGB 1936 as PROJ gives them.
// Points at the pixels given, each placed on the National Grid by `place` (pixel x, y and its
// number to easting and northing); their latitudes and longitudes on OSGB 1936 as PROJ gives
// them.
template <std::size_t N, typename Place>
std::vector<Georef::ControlPoint> PointsOnGrid(const double (&xy)[N][2], Place place) {
    OGRSpatialReference grid, degrees;
    grid.importFromEPSG(27700), degrees.importFromEPSG(4277);
    grid.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    degrees.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> toDegrees(
        OGRCreateCoordinateTransformation(&grid, &degrees));
    std::vector<Georef::ControlPoint> points;
    for (std::size_t i = 0; i < N; ++i) {
        Georef::ControlPoint p{xy[i][0], xy[i][1], 0, 0, 0, 0};
        place(p.x, p.y, int(i), p.east, p.north);
        double lon = p.east, lat = p.north;
        toDegrees->Transform(1, &lon, &lat);
        p.latitude = lat, p.longitude = lon;
        points.push_back(p);
    }
    return points;
}

std::vector<Georef::ControlPoint> SheetPoints() {
    const double xy[][2] = {{40, 30},   {960, 55},  {930, 770}, {70, 740},
                            {500, 410}, {260, 600}, {720, 180}, {610, 690}};
    return PointsOnGrid(xy, [](double x, double y, int i, double& east, double& north) {
        east = 451000 + 2.5 * x + 0.04 * y + 1e-4 * x * y + 3 * std::sin(i * 1.7);
        north = 212000 - 2.5 * y + 0.03 * x + 2e-4 * y * y + 3 * std::cos(i * 2.3);
    });
}

} // namespace

// Each transform places the points where a least-squares fit of its own puts them, to a
// millimetre, in the grid the places were typed in and in degrees; the thin-plate spline goes
// through every point. A residual is the typed place's distance from the fitted one.
TEST(Calibration, EachTransformFitsAsLeastSquaresDo) {
    const auto sheet = SheetPoints();
    for (int t = 0; t < Georef::kTransforms; ++t) {
        for (const bool inDegrees : {false, true}) {
            const Transform transform = Transform(t);
            Georef::FitRequest request{sheet, transform, 27700, Georef::Datum::OSGB36, 1000, 800};
            double tolerance = 0.001; // metres
            if (inDegrees) {
                request.epsg = 0, tolerance = 0.001 / 111000; // a millimetre in degrees
                for (auto& p : request.points) p.east = p.longitude, p.north = p.latitude;
            }
            SCOPED_TRACE(Georef::TransformName(transform) + (inDegrees ? " in degrees" : ""));
            const Georef::Fit fit = Georef::FitScan(request);
            ASSERT_EQ(fit.points.size(), sheet.size());
            const auto expected = transform == Transform::Tps
                                      ? std::vector<std::array<double, 2>>{}
                                      : Independent(transform, request.points);
            double squares = 0;
            for (std::size_t i = 0; i < sheet.size(); ++i) {
                const auto& p = request.points[i];
                const auto& f = fit.points[i];
                const double e = expected.empty() ? p.east : expected[i][0];
                const double n = expected.empty() ? p.north : expected[i][1];
                EXPECT_NEAR(f.east, e, tolerance) << i;
                EXPECT_NEAR(f.north, n, tolerance) << i;
                // On the ground: the grid's metres are within half a per cent of the ground's
                // here; a degree of latitude is 111.25 km and of longitude 68.95 km at 51.8 N.
                const double grid =
                    inDegrees ? std::hypot((f.east - p.east) * 68950, (f.north - p.north) * 111250)
                              : std::hypot(f.east - p.east, f.north - p.north);
                EXPECT_NEAR(f.residualMetres, grid, 0.005 * grid + 0.001) << i;
                if (!inDegrees) {
                    // North on the grid is within a degree of north on the earth here.
                    EXPECT_NEAR(f.latitude, p.latitude + (f.north - p.north) / 111250,
                                (0.02 * grid + 0.01) / 111250);
                    // A residual in pixels is about the metres over the 2.5 m a pixel spans.
                    EXPECT_NEAR(f.residualPixels, grid / 2.5, 0.2 * grid / 2.5 + 0.01) << i;
                }
                squares += f.residualMetres * f.residualMetres;
            }
            EXPECT_NEAR(fit.rmsMetres, std::sqrt(squares / double(sheet.size())), 1e-9);
            EXPECT_EQ(fit.rmsMetres > 0.5, transform != Transform::Tps);
            // The scan's box: 2.5 km across and 2 km down, at 51.8 N 1.3 W or so (a similarity
            // in degrees takes a degree east for a degree north, and so narrows it).
            if (inDegrees && transform == Transform::Similarity) continue;
            EXPECT_NEAR((fit.north - fit.south) * 111250, 2000, 150);
            EXPECT_NEAR((fit.east - fit.west) * 68950, 2500, 250);
        }
    }
}

// Points a transform cannot be fitted to are refused, saying why.
TEST(Calibration, RefusesWhatCannotBeFitted) {
    const auto sheet = SheetPoints();
    auto take = [&](std::initializer_list<int> which) {
        std::vector<Georef::ControlPoint> p;
        for (int i : which) p.push_back(sheet[std::size_t(i)]);
        return p;
    };
    auto inALine = take({0, 1, 2});
    for (std::size_t i = 0; i < 3; ++i) // along the scan's diagonal, places as they were
        inALine[i].x = 100.0 + 300.0 * double(i), inALine[i].y = 50.0 + 200.0 * double(i);
    auto onePixel = take({0, 1, 2});
    onePixel[2].x = onePixel[0].x + 0.2, onePixel[2].y = onePixel[0].y;
    auto oneRow = take({0, 1});
    oneRow[1].y = oneRow[0].y;
    const struct Case {
        Transform transform;
        std::vector<Georef::ControlPoint> points;
        const char* why;
    } cases[] = {
        {Transform::Similarity, take({0}), "2 points"},
        {Transform::Affine, take({0, 1}), "3 points"},
        {Transform::Poly2, take({0, 1, 2, 3, 4}), "6 points"},
        {Transform::Tps, take({0, 1}), "3 points"},
        {Transform::Affine, inALine, "line"},
        {Transform::Tps, inALine, "line"},
        {Transform::Affine, onePixel, "one pixel"},
        {Transform::ScaleShift, oneRow, "line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Georef::TransformName(c.transform) + " " + c.why);
        try {
            Georef::FitScan({c.points, c.transform, 27700, Georef::Datum::OSGB36, 1000, 800});
            ADD_FAILURE() << "fitted";
        } catch (const Georef::Error& e) {
            EXPECT_EQ(e.kind(), Georef::Error::Kind::Refused);
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
    }
}

namespace {

// The centres of the dark dots of a grey picture: each 4-connected patch darker than 120,
// weighted by how much darker than the paper (200) each pixel within 3 of its middle is.
std::vector<std::array<double, 2>> DotCentres(const std::string& path) {
    int w = 0, h = 0;
    std::vector<unsigned char> v = Rasters::Read(path, w, h);
    std::vector<char> seen(v.size(), 0);
    std::vector<std::array<double, 2>> centres;
    for (int start = 0; start < w * h; ++start) {
        if (seen[std::size_t(start)] || v[std::size_t(start)] >= 120) continue;
        std::vector<int> patch{start}, todo{start};
        seen[std::size_t(start)] = 1;
        while (!todo.empty()) {
            const int i = todo.back();
            todo.pop_back();
            for (const int j : {i - 1, i + 1, i - w, i + w}) {
                if (j < 0 || j >= w * h || std::abs(j % w - i % w) > 1 || seen[std::size_t(j)] ||
                    v[std::size_t(j)] >= 120)
                    continue;
                seen[std::size_t(j)] = 1, patch.push_back(j), todo.push_back(j);
            }
        }
        double mx = 0, my = 0;
        for (const int i : patch) mx += i % w, my += i / w;
        mx /= double(patch.size()), my /= double(patch.size());
        double sum = 0, cx = 0, cy = 0;
        for (int y = int(my) - 3; y <= int(my) + 3; ++y)
            for (int x = int(mx) - 3; x <= int(mx) + 3; ++x) {
                if (x < 0 || y < 0 || x >= w || y >= h) continue;
                const double weight = std::max(0, 200 - int(v[std::size_t(y * w + x)]));
                sum += weight, cx += weight * (x + 0.5), cy += weight * (y + 0.5);
            }
        centres.push_back({cx / sum, cy / sum});
    }
    return centres;
}

// A grey 400 x 300 scan with dots every 40 pixels, as a TIFF; the points of a sheet drawn on it
// 5 m a pixel, askew and bent.
struct Scan {
    std::string path;
    std::vector<Georef::ControlPoint> points;
};

Scan MakeScan(const std::string& folder, const char* driver, const char* extension) {
    std::vector<std::array<int, 2>> dots;
    for (int y = 20; y < 300; y += 40)
        for (int x = 20; x < 400; x += 40) dots.push_back({x, y});
    Scan scan{folder + "/scan" + extension, {}};
    Rasters::Write(driver, scan.path, 400, 300, 1, Rasters::Dots(400, 300, dots), nullptr, 0);
    const double xy[][2] = {{10, 10},   {390, 15}, {385, 290}, {12, 280}, {200, 150},
                            {100, 220}, {300, 80}, {250, 260}, {60, 90}};
    scan.points = PointsOnGrid(xy, [](double x, double y, int i, double& east, double& north) {
        east = 451000 + 5 * x + 0.8 * y + 2e-3 * x * y + 2 * std::sin(i * 1.7);
        north = 212000 - 5 * y + 0.6 * x + 3e-3 * y * y + 2 * std::cos(i * 2.3);
    });
    return scan;
}

int Shell(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    EXPECT_EQ(status, 0) << command;
    return status;
}

} // namespace

// The picture a calibration writes is GDAL's own warp of the scan by the same points and the
// same transform, to half a pixel everywhere (each dot of the scan where gdalwarp puts it).
TEST(Calibration, WarpsAsGdalwarpDoes) {
    TempHost host;
    const std::string maps = host.Root() + "/Maps", scans = host.Root() + "/scans";
    TempHost::MakeFolder(maps);
    TempHost::MakeFolder(scans);
    const Scan scan = MakeScan(scans, "GTiff", ".tif");
    std::string gcps;
    for (const auto& p : scan.points)
        gcps += " -gcp " + std::to_string(p.x) + " " + std::to_string(p.y) + " " +
                std::to_string(p.east) + " " + std::to_string(p.north);
    const std::string placed = host.Root() + "/placed.vrt";
    Shell("gdal_translate -of VRT -a_srs EPSG:27700" + gcps + " '" + scan.path + "' '" + placed +
          "'");
    const struct Case {
        Transform transform;
        const char* method;
    } cases[] = {
        {Transform::Affine, "-order 1"}, {Transform::Poly2, "-order 2"}, {Transform::Tps, "-tps"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        Georef::CalibrationRequest request{
            {scan.points, c.transform, 27700, Georef::Datum::OSGB36, 0, 0},
            scan.path,
            maps,
            "sheet-" + Georef::TransformKey(c.transform)};
        const Georef::CalibrationResult r = Georef::Calibrate(request);
        EXPECT_FALSE(r.scanNamed);
        const MapCode::Georeference& g = r.georeference;
        char box[256];
        std::snprintf(box, sizeof box, " -te %.9f %.9f %.9f %.9f -ts %d %d", g.West(), g.South(),
                      g.East(), g.North(), g.Width(), g.Height());
        const std::string reference = host.Root() + "/reference.tif";
        fs::remove(reference);
        Shell(std::string("gdalwarp -r bilinear -wo INIT_DEST=255 -t_srs EPSG:4277 ") + c.method +
              box + " '" + placed + "' '" + reference + "'");
        const auto ours = DotCentres(r.picture), theirs = DotCentres(reference);
        EXPECT_GE(theirs.size(), 60u);
        EXPECT_EQ(ours.size(), theirs.size());
        for (const auto& t : theirs) {
            double nearest = 1e9;
            for (const auto& o : ours)
                nearest = std::min(nearest, std::hypot(o[0] - t[0], o[1] - t[1]));
            EXPECT_LE(nearest, 0.5) << t[0] << "," << t[1];
        }
    }
    // Shown in a window through a JPEG a quarter its size.
    std::string why;
    const std::string preview = host.Root() + "/preview.jpg";
    ASSERT_TRUE(Georef::PreviewScan(scan.path, preview, 400 * 300 / 4, why)) << why;
    int w = 0, h = 0;
    Rasters::Read(preview, w, h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 150);
    // The scan stays as it was, with nothing beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(scans), fs::directory_iterator()), 1);
}

// The .map beside the map holds the points (the 30 farthest apart of more) as GDAL's
// OziExplorer driver reads them, to 0.0001 minute, and names the scan where it lies.
TEST(Calibration, MapFileHoldsThePoints) {
    TempHost host;
    const std::string maps = host.Root() + "/Maps";
    TempHost::MakeFolder(maps);
    Scan scan = MakeScan(host.Root(), "GTiff", ".tif");
    // Forty points: the nine, and more along the edges and within.
    const std::vector<Georef::ControlPoint> nine = scan.points;
    for (int i = 0; i < 31; ++i) {
        Georef::ControlPoint p = nine[std::size_t(i % 9)];
        const double dx = 3 + i, dy = 2 + (i * 7) % 20;
        p.x += p.x < 200 ? dx : -dx, p.y += p.y < 150 ? dy : -dy;
        p.latitude -= dy * 5 / 111250, p.longitude += (p.x < 200 ? dx : -dx) * 5 / 68950;
        scan.points.push_back(p);
    }
    Georef::CalibrationRequest request{
        {scan.points, Transform::Affine, 0, Georef::Datum::OSGB36, 0, 0}, scan.path, maps, ""};
    for (auto& p : request.fit.points) p.east = p.longitude, p.north = p.latitude;
    const Georef::CalibrationResult r = Georef::Calibrate(request);
    EXPECT_EQ(r.mapPoints, 30u);
    GDALAllRegister();
    GDALDatasetH ds = GDALOpen(r.mapFile.c_str(), GA_ReadOnly);
    ASSERT_NE(ds, nullptr) << CPLGetLastErrorMsg();
    ASSERT_EQ(GDALGetGCPCount(ds), 30);
    EXPECT_EQ(GDALGetRasterXSize(ds), 400);
    const GDAL_GCP* gcps = GDALGetGCPs(ds);
    std::vector<bool> used(scan.points.size());
    for (int i = 0; i < 30; ++i) {
        const auto it = std::find_if(scan.points.begin(), scan.points.end(), [&](const auto& p) {
            return std::fabs(p.x - gcps[i].dfGCPPixel) < 0.5 &&
                   std::fabs(p.y - gcps[i].dfGCPLine) < 0.5;
        });
        ASSERT_NE(it, scan.points.end()) << i;
        used[std::size_t(it - scan.points.begin())] = true;
        EXPECT_NEAR(gcps[i].dfGCPY * 60, it->latitude * 60, 1e-4) << i;
        EXPECT_NEAR(gcps[i].dfGCPX * 60, it->longitude * 60, 1e-4) << i;
    }
    GDALClose(ds);
    // The corners of the sheet are kept: no point lies farther out.
    for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(used[i]) << i;
}

// A scan that a definition's corners place as the fit does (north-up, on hundredths of a
// minute, a JPEG in the Maps folder) is named by the definition itself; the same scan fitted
// askew is warped, under a name that is not the scan's; a map that exists is kept, with
// nothing written.
TEST(Calibration, NamesTheScanItselfOnlyWhenItsCornersPlaceIt) {
    TempHost host;
    const std::string maps = host.Root() + "/Maps";
    TempHost::MakeFolder(maps);
    const Scan scan = MakeScan(maps, "JPEG", ".jpg");
    // 400 x 300 pixels spanning 4 x 3 minutes from 51.30N 1.10W.
    std::vector<Georef::ControlPoint> points;
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {400.0, 300.0}, {100.0, 200.0}}) {
        const double lat = 51.5 - y / 100 / 60, lon = -(1 + 10 / 60.0) + x / 100 / 60;
        points.push_back({x, y, lon, lat, lat, lon});
    }
    Georef::CalibrationRequest request{
        {points, Transform::ScaleShift, 0, Georef::Datum::OSGB36, 0, 0}, scan.path, maps, ""};
    const auto r = Georef::Calibrate(request);
    EXPECT_TRUE(r.scanNamed);
    EXPECT_EQ(r.picture, scan.path);
    EXPECT_EQ(r.name, "scan.inf");
    const std::string definition = TempHost::Read(r.definition);
    EXPECT_NE(definition.find("51.30.00N"), std::string::npos) << definition;
    EXPECT_NE(definition.find("001.06.00W"), std::string::npos) << definition;
    EXPECT_NE(definition.find("scan.jpg"), std::string::npos) << definition;
    EXPECT_FALSE(TempHost::Exists(maps + "/scan.jpg.tmp"));

    // Askew: warped, but not over the scan.
    request.fit.transform = Transform::Similarity;
    request.replace = true;
    try {
        Georef::Calibrate(request);
        ADD_FAILURE() << "the scan was replaced";
    } catch (const Georef::Error& e) {
        EXPECT_EQ(e.kind(), Georef::Error::Kind::Refused) << e.what();
    }
    request.name = "askew";
    request.replace = false;
    const auto askew = Georef::Calibrate(request);
    EXPECT_FALSE(askew.scanNamed);
    EXPECT_EQ(askew.picture, maps + "/askew.jpg");
    const auto before = TempHost::Read(askew.definition);
    try {
        Georef::Calibrate(request);
        ADD_FAILURE() << "replaced";
    } catch (const Georef::Error& e) {
        EXPECT_EQ(e.kind(), Georef::Error::Kind::Exists) << e.what();
    }
    EXPECT_EQ(TempHost::Read(askew.definition), before);
    // Cancelled: nothing of it is left.
    request.name = "stopped";
    request.progress = [](double) { return false; };
    try {
        Georef::Calibrate(request);
        ADD_FAILURE() << "not cancelled";
    } catch (const Georef::Error& e) {
        EXPECT_EQ(e.kind(), Georef::Error::Kind::Cancelled) << e.what();
    }
    // scan.jpg, scan.inf, scan.map, askew.jpg, askew.inf, askew.map, and no work folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(maps), fs::directory_iterator()), 6);
}

// Outside a neat line the picture written is white: of the scan's dots only those inside it
// remain; the .map gives the neat line as its outline.
TEST(Calibration, NeatLineLeavesTheCollarWhite) {
    TempHost host;
    const std::string maps = host.Root() + "/Maps";
    TempHost::MakeFolder(maps);
    const Scan scan = MakeScan(host.Root(), "GTiff", ".tif");
    Georef::CalibrationRequest request{
        {scan.points, Transform::Affine, 27700, Georef::Datum::OSGB36, 0, 0}, scan.path, maps, ""};
    request.edge = {{{110, 90}}, {{290, 90}}, {{290, 210}}, {{110, 210}}};
    const auto r = Georef::Calibrate(request);
    // Dots every 40 pixels from 20: columns 140 to 260 and rows 100 to 180 lie inside.
    EXPECT_EQ(DotCentres(r.picture).size(), 4u * 3u);
    const std::string map = TempHost::Read(r.mapFile);
    EXPECT_NE(map.find("MMPNUM,4\r\nMMPXY,1,110,90\r\nMMPXY,2,290,90\r\n"), std::string::npos)
        << map;
}
