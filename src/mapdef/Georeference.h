#pragma once
// A map picture placed on the earth by its definition's two corners: the top-left corner of its
// first pixel and the bottom-right corner of its last, in minutes of arc (north and east
// positive), and the picture's size in pixels. Longitude runs linearly across the picture and
// latitude down it, as a definition describes a map (a plate carrée between its corners).
//
// Picture coordinates are continuous pixels: 0 at the picture's left and top edges, width and
// height at its right and bottom ones, so pixel i covers i to i + 1 and its centre is i + 0.5.
// Corners given in either order are kept as written: a map whose "top-left" lies south of its
// "bottom-right" runs north down the picture.

#include <utility>

namespace MapCode {

class Georeference {
public:
    // Corners in minutes of arc as the definition reader gives them; the size in pixels (at
    // least 1 each way, or the conversions divide by zero: CoreError(DivisionByZero) here).
    Georeference(float topLeftLongitude, float topLeftLatitude, float bottomRightLongitude,
                 float bottomRightLatitude, int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The corners as given, minutes of arc.
    float TopLeftLongitude() const { return tlLon_; }
    float TopLeftLatitude() const { return tlLat_; }
    float BottomRightLongitude() const { return brLon_; }
    float BottomRightLatitude() const { return brLat_; }

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
    // Whether a place (minutes of arc) lies within the picture's rectangle, edges included.
    bool Contains(double latitude, double longitude) const;

private:
    float tlLon_, tlLat_, brLon_, brLat_;
    int width_, height_;
};

} // namespace MapCode
