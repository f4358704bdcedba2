#pragma once
// A map picture placed on the earth by its definition's two corners: the top-left corner of its
// first pixel and the bottom-right corner of its last, in minutes of arc (north and east
// positive), and the picture's size in pixels when it is known. Longitude runs linearly across
// the picture and latitude down it, as a definition describes a map (a plate carrée between its
// corners). Every part of Varnet that places a map (the view, coverage, Find Maps, imports,
// exports, the command line) holds it as this value and takes its figures from here.
//
// Picture coordinates are continuous pixels: 0 at the picture's left and top edges, width and
// height at its right and bottom ones, so pixel i covers i to i + 1 and its centre is i + 0.5.
// Corners given in either order are kept as written: a map whose "top-left" lies south of its
// "bottom-right" runs north down the picture.
//
// Ground figures are on the sphere of mapdef/Earth.h, the one distances are measured on.

#include <utility>

namespace MapCode {

class Georeference {
public:
    // Corners in minutes of arc as the definition reader gives them, the picture's size unknown:
    // the rectangle and its ground figures are known, its pixels are not (HasSize() is false).
    Georeference(float topLeftLongitude, float topLeftLatitude, float bottomRightLongitude,
                 float bottomRightLatitude);
    // The same with the picture's size in pixels: at least 1 each way, or the conversions would
    // divide by zero (CoreError(DivisionByZero) here).
    Georeference(float topLeftLongitude, float topLeftLatitude, float bottomRightLongitude,
                 float bottomRightLatitude, int width, int height);

    // Whether the picture's size is known; Width() and Height() are 0 when it is not.
    bool HasSize() const { return width_ > 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The corners as given, minutes of arc.
    float TopLeftLongitude() const { return tlLon_; }
    float TopLeftLatitude() const { return tlLat_; }
    float BottomRightLongitude() const { return brLon_; }
    float BottomRightLatitude() const { return brLat_; }

    // --- The rectangle ---------------------------------------------------------------------
    // Its edges in degrees, whichever way round the corners were given: North() >= South(),
    // East() >= West() (a plate carrée's drawing takes these).
    double North() const;
    double South() const;
    double West() const;
    double East() const;
    // Whether a place (minutes of arc) lies within the rectangle, edges included.
    bool Contains(double latitude, double longitude) const;

    // --- On the ground ---------------------------------------------------------------------
    // Kilometres across, east-west along the parallel of `latitude` (minutes of arc) between the
    // corners' longitudes, and down, north-south along the top-left corner's meridian between
    // the corners' latitudes (as GetDistance measures it). Never throws.
    std::pair<double, double> ExtentKm(double latitude) const;
    // Metres on the ground per pixel east-west, along the parallel of `latitude` (minutes of
    // arc); 0 when the size is not known. Never throws.
    double MetresPerPixel(double latitude) const;
    // The rectangle's area in square kilometres. Never throws.
    double GroundArea() const;

    // --- Pixels and places (these need the size: CoreError(DivisionByZero) without it) ------
    // Minutes of arc at a picture coordinate: the longitude at x, the latitude at y.
    double LongitudeAt(double x) const;
    double LatitudeAt(double y) const;
    // The centre of a pixel (column, row, from 0): latitude and longitude in minutes of arc.
    std::pair<double, double> PixelCentre(int column, int row) const;
    // The picture coordinates of a place (minutes of arc); outside the picture when the place
    // is. Maps with equal corner longitudes (or latitudes) give infinities.
    double XAt(double longitude) const;
    double YAt(double latitude) const;
    // The size of one pixel in degrees (negative where the picture runs west or south), as a
    // world file gives it.
    double DegreesPerPixelX() const;
    double DegreesPerPixelY() const;

private:
    void NeedSize() const;

    float tlLon_, tlLat_, brLon_, brLat_;
    int width_ = 0, height_ = 0;
};

} // namespace MapCode
