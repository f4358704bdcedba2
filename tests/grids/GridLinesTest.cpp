#include "grids/GridLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

using namespace Grids;

namespace {

// West London, 0.4 by 0.2 degrees, in a picture of 2000 x 1500 pixels (about 14 m a pixel), and
// Great Britain, over whose plate carree a projection's lines bend.
const MapCode::Georeference kLondon(-0.5f * 60, 51.6f * 60, -0.1f * 60, 51.4f * 60, 2000, 1500);
const MapCode::Georeference kBritain(-8 * 60, 59 * 60, 2 * 60, 50 * 60, 2000, 1800);

// A place in a grid's coordinates, from picture pixels.
std::array<double, 2> InGrid(const MapCode::Georeference& map, Grid grid, Datum datum,
                             PicturePoint at) {
    const auto w = WritePlace(map.LatitudeAt(at.y) / 60, map.LongitudeAt(at.x) / 60, grid, datum);
    EXPECT_EQ(w.outcome, Outcome::Written) << w.why;
    return {w.point.x, w.point.y};
}

// Where a line's polyline crosses the row `y` (x there), or the column x = `y` when `column`;
// NaN when it does not.
double Crossing(const GridLine& line, double y, bool column = false) {
    auto along = [&](PicturePoint p) { return column ? p.x : p.y; };
    auto across = [&](PicturePoint p) { return column ? p.y : p.x; };
    for (std::size_t i = 0; i + 1 < line.points.size(); ++i) {
        const PicturePoint a = line.points[i], b = line.points[i + 1];
        if ((along(a) - y) * (along(b) - y) <= 0 && along(a) != along(b))
            return across(a) + (across(b) - across(a)) * (y - along(a)) / (along(b) - along(a));
    }
    return std::nan("");
}

} // namespace

// True lines of each grid: every stretch of a drawn line stays within half a screen pixel of
// the grid's own line, at the smallest spacing of the ladder that keeps lines 50 screen pixels
// apart, labelled where they meet the view's top and left edges.
TEST(GridLines, FollowTheGridAtTheSpacingOfTheLadder) {
    const std::vector<double> metres = {100, 200, 500, 1e3, 2e3, 5e3, 1e4, 2e4, 5e4, 1e5};
    const std::vector<double> degrees = {1 / 60.0,  2 / 60.0, 5 / 60.0, 10 / 60.0, 15 / 60.0,
                                         30 / 60.0, 1,        2,        5};
    const struct {
        const MapCode::Georeference& map;
        Grid grid;
        Datum datum;
        double zoom;
        double value; // a line in view, and its label
        const char* label;
    } cases[] = {
        {kLondon, {GridKind::Bng, 0}, Datum::OSGB36, 1, 520000, "20"},
        {kLondon, {GridKind::Bng, 0}, Datum::WGS84, 0.25, 520000, "20"},
        {kLondon, {GridKind::Utm, 0}, Datum::WGS84, 1, 5710000, "5710"},
        {kLondon, {GridKind::Mgrs, 0}, Datum::OSGB36, 4, 5716000, "16.0"},
        {kLondon, {GridKind::LatLon, 0}, Datum::OSGB36, 1, 51.5, "51.30N"},
        {kBritain, {GridKind::Epsg, 27700}, Datum::WGS84, 1, 400000, "400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(KeyOf(c.grid) + " at zoom " + std::to_string(c.zoom));
        GridLines lines(c.grid, c.datum);
        const PictureRect view{300, 200, std::min(300 + 1200 / c.zoom, double(c.map.Width())),
                               std::min(200 + 800 / c.zoom, double(c.map.Height()))};
        const GridDrawing& drawn = lines.Draw(c.map, view, c.zoom);
        ASSERT_GT(drawn.lines.size(), 4u);
        const auto& ladder = c.grid.kind == GridKind::LatLon ? degrees : metres;
        const auto step = std::find(ladder.begin(), ladder.end(), drawn.spacing);
        ASSERT_NE(step, ladder.end()) << drawn.spacing;
        // A coordinate's change across a screen pixel, at the view's centre.
        const PicturePoint centre{(view.left + view.right) / 2, (view.top + view.bottom) / 2};
        const auto at = InGrid(c.map, c.grid, c.datum, centre);
        const auto across = InGrid(c.map, c.grid, c.datum, {centre.x + 1 / c.zoom, centre.y});
        const auto down = InGrid(c.map, c.grid, c.datum, {centre.x, centre.y + 1 / c.zoom});
        const double perPixel = std::max(std::hypot(across[0] - at[0], down[0] - at[0]),
                                         std::hypot(across[1] - at[1], down[1] - at[1]));
        bool labelled = false;
        std::vector<double>
            crossings[2]; // of eastings along the centre row, northings down its column
        for (const GridLine& line : drawn.lines) {
            for (std::size_t i = 0; i + 1 < line.points.size(); ++i) {
                const PicturePoint a = line.points[i], b = line.points[i + 1];
                for (const PicturePoint p : {a, PicturePoint{(a.x + b.x) / 2, (a.y + b.y) / 2}}) {
                    EXPECT_TRUE(p.x >= view.left - 1e-9 && p.x <= view.right + 1e-9 &&
                                p.y >= view.top - 1e-9 && p.y <= view.bottom + 1e-9);
                    const auto g = InGrid(c.map, c.grid, c.datum, p);
                    EXPECT_LT(std::fabs((line.easting ? g[0] : g[1]) - line.value), perPixel / 2);
                }
            }
            // The label where the line meets the top edge (eastings) or the left one.
            const double edge = Crossing(line, line.easting ? view.top : view.left, !line.easting);
            if (!std::isnan(edge)) {
                EXPECT_NEAR(line.easting ? line.labelAt.x : line.labelAt.y, edge, 1e-6);
            }
            const double across =
                line.easting ? Crossing(line, centre.y) : Crossing(line, centre.x, true);
            if (!std::isnan(across)) crossings[line.easting ? 0 : 1].push_back(across);
            if (std::fabs(line.value - c.value) < 1e-9) labelled = line.label == c.label;
        }
        EXPECT_TRUE(labelled) << c.label;
        // The closest two lines, and how close the next smaller spacing would have put them.
        double closest = std::numeric_limits<double>::infinity();
        for (std::vector<double>& family : crossings) {
            std::sort(family.begin(), family.end());
            for (std::size_t i = 1; i < family.size(); ++i)
                closest = std::min(closest, (family[i] - family[i - 1]) * c.zoom);
        }
        EXPECT_GE(closest, 49.5);
        if (step != ladder.begin()) {
            EXPECT_LT(closest * *(step - 1) / drawn.spacing, 50);
        }
    }
}

// Lines made again for a view moved on are the same lines: where the two areas overlap, the
// same points (a view keeps what it drew of them) and the same shape; at another zoom, another.
TEST(GridLines, MadeAgainForAViewMovedOnThePointsStay) {
    GridLines lines({GridKind::Bng, 0}, Datum::OSGB36);
    lines.Draw(kBritain, {0, 0, 600, 500}, 1);
    const std::vector<GridLine> first = lines.Kept();
    const PictureRect a = lines.Area();
    const unsigned shape = lines.Shape(), made = lines.Made();
    lines.Draw(kBritain, {700, 300, 1300, 800}, 1);
    ASSERT_NE(lines.Made(), made);
    EXPECT_EQ(lines.Shape(), shape);
    const PictureRect b = lines.Area();
    auto inBoth = [&](const std::vector<PicturePoint>& points) {
        std::vector<std::array<double, 2>> kept;
        for (const PicturePoint& p : points)
            if (p.x >= std::max(a.left, b.left) && p.x <= std::min(a.right, b.right) &&
                p.y >= std::max(a.top, b.top) && p.y <= std::min(a.bottom, b.bottom))
                kept.push_back({p.x, p.y});
        return kept;
    };
    std::size_t compared = 0;
    for (const GridLine& before : first)
        for (const GridLine& now : lines.Kept())
            if (before.easting == now.easting && before.value == now.value) {
                EXPECT_EQ(inBoth(before.points), inBoth(now.points)) << now.value;
                compared += inBoth(now.points).size();
            }
    EXPECT_GT(compared, 20u);
    lines.Draw(kBritain, {700, 300, 1300, 800}, 2);
    EXPECT_NE(lines.Shape(), shape);
}

// No lines where the grid does not reach, where even its widest spacing is too close, or over
// a map whose picture's size is not known.
TEST(GridLines, NoneWhereTheyCannotBeRead) {
    const MapCode::Georeference world(-180 * 60, 90 * 60, 180 * 60, -90 * 60, 2000, 1000);
    const MapCode::Georeference britain(-8 * 60, 59 * 60, 2 * 60, 50 * 60, 2000, 1800);
    const MapCode::Georeference unsized(-0.5f * 60, 51.6f * 60, -0.1f * 60, 51.4f * 60);
    const struct {
        Grid grid;
        const MapCode::Georeference& map;
        double zoom;
    } cases[] = {
        {{GridKind::Irish, 0}, kLondon, 1},
        {{GridKind::LatLon, 0}, world, 1},
        {{GridKind::Bng, 0}, britain, 0.1},
        {{GridKind::Bng, 0}, unsized, 1},
    };
    for (const auto& c : cases) {
        GridLines lines(c.grid, Datum::OSGB36);
        const GridDrawing& drawn = lines.Draw(c.map, {0, 0, 2000, 2000}, c.zoom);
        EXPECT_TRUE(drawn.lines.empty()) << KeyOf(c.grid);
        EXPECT_EQ(drawn.spacing, 0);
    }
}

// Intersections proposed on a scan: each case a sheet whose true placement it gives (east and
// north from pixels, an affine of metres), points placed exactly on it. Each proposal must lie
// where the truth puts an intersection of the expected lines; they must be those on the scan
// not given already, the nearest the points placed when not all.
TEST(GridLines, IntersectionsProposedWhereTheSheetPutsThem) {
    const double c = std::cos(0.5), s = std::sin(0.5);
    const struct {
        const char* name;
        std::array<double, 6> t; // east = t0 + t1 x + t2 y, north = t3 + t4 x + t5 y
        int width, height;
        std::vector<std::array<double, 2>> pixels;
        double spacing; // 0: none proposed
    } cases[] = {
        {"north-up", {440013, 4, 0, 120217, 0, -4}, 2000, 1500, {{9, 11}, {1900, 1400}}, 1e3},
        {"turned",
         {530021, 3 * c, 3 * s, 180033, 3 * s, -3 * c},
         1800,
         1600,
         {{1, 2}, {1500, 1300}},
         1e3},
        {"skewed",
         {250007, 5, 0.8, 600011, 0.3, -4.5},
         2400,
         2000,
         {{0, 0}, {2300, 9}, {7, 1900}},
         1e3},
        {"one given",
         {440013, 4, 0, 120217, 0, -4},
         2000,
         1500,
         {{246.75, 54.25}, {1900, 1400}},
         1e3},
        {"10 km", {300500, 100, 0, 900700, 0, -100}, 3000, 2000, {{10, 10}, {2900, 1900}}, 1e4},
        {"many", {400003, 2, 0, 300007, 0, -2}, 12000, 9000, {{6000, 4500}, {6100, 4500}}, 1e3},
        {"in a line", {440013, 4, 0, 120217, 0, -4}, 2000, 1500, {{0, 0}, {1, 1}, {2, 2}}, 0},
        {"one point", {440013, 4, 0, 120217, 0, -4}, 2000, 1500, {{9, 11}}, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const auto& t = k.t;
        std::vector<ScanPlace> placed;
        for (const auto& [x, y] : k.pixels)
            placed.push_back({x, y, t[0] + t[1] * x + t[2] * y, t[3] + t[4] * x + t[5] * y});
        const auto nearest = [&](double x, double y) {
            double d = 1e300;
            for (const ScanPlace& p : placed) d = std::min(d, std::hypot(p.x - x, p.y - y));
            return d;
        };
        const Intersections found = ProposeIntersections(placed, k.width, k.height);
        EXPECT_EQ(found.spacing, k.spacing);
        // Every intersection the truth puts on the scan, not a place given: how near it lies.
        std::vector<double> all;
        const double det = t[1] * t[5] - t[2] * t[4];
        for (double e = 0; k.spacing && e < 1e6; e += k.spacing)
            for (double n = 0; n < 1e6; n += k.spacing) {
                const double x = (t[5] * (e - t[0]) - t[2] * (n - t[3])) / det;
                const double y = (t[1] * (n - t[3]) - t[4] * (e - t[0])) / det;
                const bool given = std::any_of(placed.begin(), placed.end(), [&](auto& p) {
                    return std::hypot(p.east - e, p.north - n) < 1e-3;
                });
                if (x >= 0 && x <= k.width && y >= 0 && y <= k.height && !given)
                    all.push_back(nearest(x, y));
            }
        std::sort(all.begin(), all.end());
        EXPECT_EQ(found.points.size(), std::min<std::size_t>(all.size(), 200));
        for (const ScanPlace& p : found.points) {
            EXPECT_NEAR(t[0] + t[1] * p.x + t[2] * p.y, p.east, 1e-4);
            EXPECT_NEAR(t[3] + t[4] * p.x + t[5] * p.y, p.north, 1e-4);
            EXPECT_EQ(std::fmod(p.east, k.spacing) + std::fmod(p.north, k.spacing), 0);
            if (found.points.size() < all.size()) { // none left out is nearer
                EXPECT_LE(nearest(p.x, p.y), all[found.points.size()] + 1e-9);
            }
        }
    }
}
