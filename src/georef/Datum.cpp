// The library's datum, and world files' .prj read through GDAL's spatial-reference classes.
#include "georef/GdalSupport.h"

#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "platform/Settings.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <cpl_conv.h>

#include <memory>

namespace Georef {
using namespace Detail;

Datum LibraryDatum(std::string* warning) {
    const std::string value = Platform::GetSetting("Varnet", "Settings", "Datum", "");
    if (value.empty() || Platform::EqualsNoCase(value, "OSGB36")) return Datum::OSGB36;
    if (Platform::EqualsNoCase(value, "WGS84")) return Datum::WGS84;
    if (warning)
        *warning = "The setting Datum=" + value +
                   " is neither OSGB36 nor WGS84; the library's datum is OSGB 1936.";
    return Datum::OSGB36;
}

std::string DatumName(Datum datum) {
    return datum == Datum::WGS84 ? "WGS 84 (EPSG:4326)" : "OSGB 1936 (EPSG:4277)";
}

std::string DatumPrj(Datum datum) {
    EnsureGdal();
    const OGRSpatialReference srs = DatumSrs(datum);
    char* text = nullptr;
    const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
    srs.exportToWkt(&text, options);
    std::string wkt = text ? text : "";
    CPLFree(text);
    return wkt;
}

namespace {

[[noreturn]] void Fail(const std::string& why) {
    throw CoreError(ErrorKind::FileError, why);
}

// What the .prj beside a world file says its numbers are: degrees of the library's datum or
// National Grid metres; anything else is refused.
MapCode::WorldUnits UnitsOfPrj(const std::string& prj, const std::string& world, Datum datum) {
    std::string why;
    const auto native = Platform::ToNativePath(prj);
    OGRSpatialReference srs;
    if (!native || !ReadPrj(*native, srs, why))
        Fail("The world file " + world + " cannot be placed: its projection file " + prj +
             " cannot be read (" + why + ").");
    const char* equivalent[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                                "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
    const OGRSpatialReference library = DatumSrs(datum);
    OGRSpatialReference grid;
    grid.importFromEPSG(27700);
    if (srs.IsGeographic() && srs.IsSame(&library, equivalent)) return MapCode::WorldUnits::Degrees;
    if (srs.IsProjected() && srs.IsSame(&grid, equivalent))
        return MapCode::WorldUnits::NationalGrid;
    const char* name = srs.GetName();
    Fail("The world file " + world + " is in " + (name ? name : "a coordinate system") + " (" +
         prj + "); a definition takes only latitude and longitude on " + DatumName(datum) +
         " or the British National Grid. Tools > Import Map... warps such a picture into the "
         "library.");
}

} // namespace

std::array<std::string, 4> WorldFileCorners(const std::string& imagePath, int width, int height,
                                            Datum datum) {
    const std::string world = MapCode::FindWorldFile(imagePath);
    if (world.empty()) Fail("There is no world file beside " + imagePath + ".");
    const MapCode::WorldFile file = MapCode::ReadWorldFile(world);
    // The .prj by the picture's own name too, whatever name the picture is listed under.
    const std::string prj = Platform::FindCompanion(imagePath, ".prj");
    const MapCode::WorldUnits units = !prj.empty() && MapCode::FileExists(prj)
                                          ? UnitsOfPrj(prj, world, datum)
                                          : MapCode::UnitsOf(file, world);
    std::array<std::string, 4> c;
    MapCode::WorldFileCorners(file, units, width, height, world, c[0], c[1], c[2], c[3]);
    if (units == MapCode::WorldUnits::NationalGrid && datum == Datum::WGS84) {
        // The grid's corners, exactly as the core converts them, then shifted by PROJ.
        OGRSpatialReference from = DatumSrs(Datum::OSGB36), to = DatumSrs(Datum::WGS84);
        std::unique_ptr<OGRCoordinateTransformation> shift(
            OGRCreateCoordinateTransformation(&from, &to));
        for (int i = 0; i < 4; i += 2) {
            double lat = MapCode::CoordToMinutes(c[std::size_t(i)]) / 60.0;
            double lon = MapCode::CoordToMinutes(c[std::size_t(i) + 1]) / 60.0;
            if (!shift || !shift->Transform(1, &lon, &lat))
                Fail("The corners of " + imagePath + " could not be shifted to WGS 84.");
            MapCode::FormatPosition(float(lat * 60), float(lon * 60), c[std::size_t(i)],
                                    c[std::size_t(i) + 1]);
        }
    }
    return c;
}

} // namespace Georef
