#pragma once
// A calibration's transform as the GDAL module holds it: fitted once, then used for the
// residuals, the corners and the warp. Private to src/georef/, built with GDAL.

#include "georef/Calibration.h"

#include <ogr_spatialref.h>

#include <array>
#include <memory>

namespace Georef::Detail {

// The fit's system: the EPSG system asked for, or the datum's longitude and latitude; either
// with longitude or easting first.
OGRSpatialReference FitSrs(const FitRequest& request);

class ScanTransform {
public:
    // Fits request.transform to request.points. Throws Error(Refused) as FitScan.
    explicit ScanTransform(const FitRequest& request);
    ~ScanTransform();
    ScanTransform(const ScanTransform&) = delete;
    ScanTransform& operator=(const ScanTransform&) = delete;

    // Scan pixels to the system's coordinates (forward) or back; false where it cannot.
    bool Forward(double& x, double& y) const;
    bool Backward(double& x, double& y) const;

    // The two that a GDAL geotransform holds: the geotransform (scale and shift, similarity).
    bool IsGeotransform() const { return !gdal_; }
    const std::array<double, 6>& Geotransform() const { return geotransform_; }

private:
    bool Apply(bool backward, double& x, double& y) const;

    Transform transform_;
    std::array<double, 6> geotransform_{};
    std::array<double, 6> inverse_{};
    void* gdal_ = nullptr; // GDAL's polynomial or thin-plate spline transformer
};

// The fit's system to the datum's latitude and longitude. Throws Error(Refused) when PROJ has no
// conversion.
class FitToDatum {
public:
    explicit FitToDatum(const FitRequest& request);
    // Longitude or easting (x) and latitude or northing (y) to longitude and latitude, in
    // place; false where they do not convert.
    bool operator()(double& x, double& y) const;

private:
    std::unique_ptr<OGRCoordinateTransformation> convert_;
};

} // namespace Georef::Detail

namespace Georef::Gdal {

bool ScanSize(const std::string& scan, int& width, int& height, std::string& why);
bool PreviewScan(const std::string& scan, const std::string& jpeg, std::uint64_t maxPixels,
                 std::string& why);

Fit FitScan(const FitRequest& request);
CalibrationResult Calibrate(const CalibrationRequest& request);

} // namespace Georef::Gdal
