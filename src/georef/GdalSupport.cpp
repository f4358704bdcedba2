// GDAL set up and its errors caught; the datums, .prj files and datum shifts through GDAL's
// spatial-reference classes and PROJ.
#include "georef/GdalSupport.h"

#include "platform/FileIO.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>

#include <memory>
#include <mutex>

namespace Georef::Detail {
namespace {

void CPL_STDCALL Handler(CPLErr errorClass, CPLErrorNum number, const char* message) {
    static_cast<ErrorCapture*>(CPLGetErrorHandlerUserData())
        ->Record(errorClass >= CE_Failure, number == CPLE_UserInterrupt, message);
}

} // namespace

void EnsureGdal() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

ErrorCapture::ErrorCapture() {
    CPLPushErrorHandlerEx(Handler, this);
}
ErrorCapture::~ErrorCapture() {
    CPLPopErrorHandler();
}

void ErrorCapture::Record(bool failure, bool interrupted, const char* message) {
    if (interrupted) interrupted_ = true;
    if (failure && message && *message) last_ = message;
}

std::string ErrorCapture::Reason(const std::string& fallback) const {
    std::string reason = last_.empty() ? fallback : last_;
    // The caller ends the sentence: GDAL's own full stop would double it.
    while (!reason.empty() &&
           (reason.back() == '.' || reason.back() == ' ' || reason.back() == '\n'))
        reason.pop_back();
    return reason;
}

OGRSpatialReference DatumSrs(Datum datum) {
    OGRSpatialReference srs;
    srs.importFromEPSG(datum == Datum::WGS84 ? 4326 : 4277);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

bool ReadPrj(const std::string& path, OGRSpatialReference& srs, std::string& why) {
    std::string text;
    if (!Platform::ReadWholeFile(path, text, 64 * 1024, &why)) return false;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    EnsureGdal();
    ErrorCapture errors;
    if (srs.SetFromUserInput(text.c_str(),
                             OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) ==
        OGRERR_NONE)
        return true;
    why = errors.Reason("not a coordinate system GDAL reads");
    return false;
}

std::string WktOf(const OGRSpatialReference& srs, const char* format) {
    char* text = nullptr;
    const std::string option = std::string("FORMAT=") + format;
    const char* options[] = {option.c_str(), nullptr};
    srs.exportToWkt(&text, options);
    std::string wkt = text ? text : "";
    CPLFree(text);
    return wkt;
}

} // namespace Georef::Detail

namespace Georef::Gdal {
using namespace Detail;

std::string DatumPrj(Datum datum) {
    EnsureGdal();
    return Detail::WktOf(DatumSrs(datum), "WKT1_ESRI");
}

PrjUnits WorldFilePrj(const std::string& path, Datum datum) {
    OGRSpatialReference srs;
    std::string why;
    if (!ReadPrj(path, srs, why)) return {PrjUnits::Kind::Unreadable, why};
    const char* equivalent[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                                "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
    const OGRSpatialReference library = DatumSrs(datum);
    OGRSpatialReference grid;
    grid.importFromEPSG(27700);
    if (srs.IsGeographic() && srs.IsSame(&library, equivalent))
        return {PrjUnits::Kind::Degrees, ""};
    if (srs.IsProjected() && srs.IsSame(&grid, equivalent))
        return {PrjUnits::Kind::NationalGrid, ""};
    const char* name = srs.GetName();
    return {PrjUnits::Kind::Other, name ? name : ""};
}

bool Shift(Datum from, Datum to, double& latitude, double& longitude) {
    EnsureGdal();
    ErrorCapture quiet; // the caller says what failed
    OGRSpatialReference a = DatumSrs(from), b = DatumSrs(to);
    std::unique_ptr<OGRCoordinateTransformation> shift(OGRCreateCoordinateTransformation(&a, &b));
    return shift && shift->Transform(1, &longitude, &latitude);
}

} // namespace Georef::Gdal
