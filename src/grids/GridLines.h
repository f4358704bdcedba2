#pragma once
// The lines of a grid over a map picture, for the map view to draw: true lines of the grid (a UTM
// line over a National Grid map is tilted, a meridian is what it is), as polylines in picture
// pixels with their labels at the view's edges.
//
// The spacing is the smallest of 100 m, 200 m, 500 m, 1, 2, 5, 10, 20, 50 and 100 km (metric
// grids) or 1', 2', 5', 10', 15', 30', 1, 2 and 5 degrees (latitude and longitude) that puts
// lines at least 50 screen pixels apart at the view's centre; none when even the widest is
// closer, or when the grid does not cover the view's centre (UTM and MGRS: the zone there).
// Lines are sampled every eight spacings, at whole multiples of that, and points added only
// where a line bends more than a third of a screen pixel away from its chord. The lines of an area
// half again as large as the view each way are kept, with PROJ's operations, so that panning within
// it costs no conversion at all.

#include "grids/Grids.h"
#include "mapdef/Georeference.h"

#include <string>
#include <vector>

namespace Grids {

// Picture coordinates as MapCode::Georeference counts them: 0 at the picture's left and top
// edges, its width and height at the right and bottom ones.
struct PicturePoint {
    double x = 0, y = 0;
};
struct PictureRect {
    double left = 0, top = 0, right = 0, bottom = 0;
};

struct GridLine {
    // A line of one easting or longitude (running north and south), or of one northing or
    // latitude; `value` is that coordinate (the grid's unit, or degrees).
    bool easting = true;
    double value = 0;
    // The line within the view, in picture pixels, in order along it.
    std::vector<PicturePoint> points;
    // Its label ("29" for the National Grid's easting 529000 in its 100 km square, "5710" for a
    // UTM northing of 5710 km, "51.30N"), and where it goes: where the line meets the view's top
    // edge (eastings) or left edge (northings), or its end nearest that edge.
    std::string label;
    PicturePoint labelAt;
};

struct GridDrawing {
    double spacing = 0; // between lines, in the grid's unit or degrees; 0 when there are none
    std::vector<GridLine> lines;
};

// Cuts the part of the segment from `a` to `b` outside a rectangle; false when none is inside.
bool Clip(PicturePoint& a, PicturePoint& b, const PictureRect& r);

// One object per view and grid, used from one thread at a time.
class GridLines {
public:
    GridLines(Grid grid, Datum datum);

    // The lines over the part `visible` (picture pixels) of a map placed by `map` (whose size
    // must be known), shown at `zoom` screen pixels per picture pixel. The result stays valid
    // until the next call. Never throws: without PROJ, the map's size, or a view, no lines.
    const GridDrawing& Draw(const MapCode::Georeference& map, PictureRect visible, double zoom);
    // The lines of the whole area kept around the view at the last Draw, not cut to the view, and
    // a count that changes each time they are made again: a view may keep what it makes of them
    // (their pixels at the zoom) until then.
    const std::vector<GridLine>& Kept() const { return made_; }
    unsigned Made() const { return makings_; }
    // The area those lines were made for (picture pixels), and a count that changes only when
    // the lines themselves do (their spacing, zone, the zoom or the map), not the area: within
    // the areas of two makings of one shape, the lines are the same points.
    PictureRect Area() const { return region_; }
    unsigned Shape() const { return shapes_; }

private:
    void Make(const MapCode::Georeference& map, PictureRect region, PictureRect visible,
              double zoom);

    Grid grid_;
    Datum datum_;
    // The lines made for an area, and for what.
    std::vector<GridLine> made_;
    std::vector<PictureRect> boxes_; // each line's bounds: most lie beside the view
    unsigned makings_ = 0;
    unsigned shapes_ = 0;
    double shapeSpacing_ = 0;
    int shapeZone_ = 0;
    bool shapeSouth_ = false;
    double spacing_ = 0;
    PictureRect region_;
    double zoom_ = 0;
    float corners_[4] = {};
    int width_ = 0, height_ = 0;
    GridDrawing drawing_;
};

// --- Intersections proposed on a scan being calibrated -----------------------------------------

// A point on a scan (pixels as GDAL counts them: 0,0 the top-left corner of the first pixel, y
// down) and its place in a metric grid (easting and northing, metres).
struct ScanPlace {
    double x = 0, y = 0;
    double east = 0, north = 0;
};

struct Intersections {
    double spacing = 0;            // metres between the grid's lines; 0 when none is proposed
    std::vector<ScanPlace> points; // nearest the points placed first
};

// The intersections of a printed grid's lines that lie on a `width` x `height` scan, where the
// points placed put them: two by a similarity through both, three or more by an affine fit in
// least squares. The lines are every 1, 10 or 100 km, the closest that leaves intersections 40
// scan pixels apart at least; an intersection that is a place already given is not proposed
// again, and at most 200 are (those nearest the points placed). None for fewer than two points,
// or points that fix no fit (one place for two pixels, points in a line).
Intersections ProposeIntersections(const std::vector<ScanPlace>& placed, int width, int height);

} // namespace Grids
