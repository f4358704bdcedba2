#include "mapdef/Georeference.h"

#include "platform/CoreError.h"

#include <algorithm>

namespace MapCode {

Georeference::Georeference(float topLeftLongitude, float topLeftLatitude,
                           float bottomRightLongitude, float bottomRightLatitude, int width,
                           int height)
    : tlLon_(topLeftLongitude), tlLat_(topLeftLatitude), brLon_(bottomRightLongitude),
      brLat_(bottomRightLatitude), width_(width), height_(height) {
    if (width < 1 || height < 1)
        throw CoreError(ErrorKind::DivisionByZero, "a picture without pixels has no georeference");
}

// The extents are taken in single precision, as the picture's user scale holds them, so a
// position reads the same whichever of the two gives it.
double Georeference::LongitudeAt(double x) const {
    return tlLon_ + x / width_ * double(brLon_ - tlLon_);
}

double Georeference::LatitudeAt(double y) const {
    return tlLat_ + y / height_ * double(brLat_ - tlLat_);
}

std::pair<double, double> Georeference::PixelCentre(int column, int row) const {
    return {LatitudeAt(row + 0.5), LongitudeAt(column + 0.5)};
}

double Georeference::XAt(double longitude) const {
    return (longitude - tlLon_) / double(brLon_ - tlLon_) * width_;
}

double Georeference::YAt(double latitude) const {
    return (latitude - tlLat_) / double(brLat_ - tlLat_) * height_;
}

double Georeference::DegreesPerPixelX() const {
    return (brLon_ / 60.0 - tlLon_ / 60.0) / width_;
}

double Georeference::DegreesPerPixelY() const {
    return (brLat_ / 60.0 - tlLat_ / 60.0) / height_;
}

bool Georeference::Contains(double latitude, double longitude) const {
    return latitude >= std::min(tlLat_, brLat_) && latitude <= std::max(tlLat_, brLat_) &&
           longitude >= std::min(tlLon_, brLon_) && longitude <= std::max(tlLon_, brLon_);
}

} // namespace MapCode
