#include "mapdef/Georeference.h"

#include "mapdef/Earth.h"
#include "mapdef/MapCode.h"
#include "platform/CoreError.h"

#include <algorithm>

namespace MapCode {

Georeference::Georeference(float topLeftLongitude, float topLeftLatitude,
                           float bottomRightLongitude, float bottomRightLatitude)
    : tlLon_(topLeftLongitude), tlLat_(topLeftLatitude), brLon_(bottomRightLongitude),
      brLat_(bottomRightLatitude) {}

Georeference::Georeference(float topLeftLongitude, float topLeftLatitude,
                           float bottomRightLongitude, float bottomRightLatitude, int width,
                           int height)
    : Georeference(topLeftLongitude, topLeftLatitude, bottomRightLongitude, bottomRightLatitude) {
    if (width < 1 || height < 1)
        throw CoreError(ErrorKind::DivisionByZero, "a picture without pixels has no georeference");
    width_ = width;
    height_ = height;
}

void Georeference::NeedSize() const {
    if (!HasSize()) throw CoreError(ErrorKind::DivisionByZero, "the picture's size is not known");
}

double Georeference::North() const {
    return std::max(tlLat_, brLat_) / 60.0;
}

double Georeference::South() const {
    return std::min(tlLat_, brLat_) / 60.0;
}

double Georeference::West() const {
    return std::min(tlLon_, brLon_) / 60.0;
}

double Georeference::East() const {
    return std::max(tlLon_, brLon_) / 60.0;
}

bool Georeference::Contains(double latitude, double longitude) const {
    return latitude >= std::min(tlLat_, brLat_) && latitude <= std::max(tlLat_, brLat_) &&
           longitude >= std::min(tlLon_, brLon_) && longitude <= std::max(tlLon_, brLon_);
}

std::pair<double, double> Georeference::ExtentKm(double latitude) const {
    float bearing = 0;
    return {Earth::AlongParallelKm(latitude / 60.0, brLon_ / 60.0 - tlLon_ / 60.0),
            GetDistance(tlLat_ / 60.0, tlLon_ / 60.0, brLat_ / 60.0, tlLon_ / 60.0, bearing)};
}

double Georeference::MetresPerPixel(double latitude) const {
    return HasSize() ? ExtentKm(latitude).first * 1000 / width_ : 0;
}

double Georeference::GroundArea() const {
    return Earth::GroundArea(tlLat_ / 60.0, tlLon_ / 60.0, brLat_ / 60.0, brLon_ / 60.0);
}

// The extents are taken in single precision, as the picture's user scale holds them, so a
// position reads the same whichever of the two gives it.
double Georeference::LongitudeAt(double x) const {
    NeedSize();
    return tlLon_ + x / width_ * double(brLon_ - tlLon_);
}

double Georeference::LatitudeAt(double y) const {
    NeedSize();
    return tlLat_ + y / height_ * double(brLat_ - tlLat_);
}

std::pair<double, double> Georeference::PixelCentre(int column, int row) const {
    return {LatitudeAt(row + 0.5), LongitudeAt(column + 0.5)};
}

double Georeference::XAt(double longitude) const {
    NeedSize();
    return (longitude - tlLon_) / double(brLon_ - tlLon_) * width_;
}

double Georeference::YAt(double latitude) const {
    NeedSize();
    return (latitude - tlLat_) / double(brLat_ - tlLat_) * height_;
}

double Georeference::DegreesPerPixelX() const {
    NeedSize();
    return (brLon_ / 60.0 - tlLon_ / 60.0) / width_;
}

double Georeference::DegreesPerPixelY() const {
    NeedSize();
    return (brLat_ / 60.0 - tlLat_ / 60.0) / height_;
}

} // namespace MapCode
