// The library's datum, and the corners of a picture placed by its world file: read here, in the
// programs; the .prj beside it and a datum shift go to the GDAL module.
#include "georef/Module.h"

#include "mapdef/MapCode.h"
#include "platform/Settings.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

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

namespace {

[[noreturn]] void Fail(const std::string& why) {
    throw CoreError(ErrorKind::FileError, why);
}

// The GDAL module, for the world file `world`.
const ModuleTable& Module(const std::string& world) {
    std::string why;
    const ModuleTable* module = LoadModule(why);
    if (!module) Fail("The world file " + world + " cannot be placed: " + why + ".");
    return *module;
}

// What the .prj beside a world file says its numbers are: degrees of the library's datum or
// National Grid metres; anything else is refused.
MapCode::WorldUnits UnitsOfPrj(const std::string& prj, const std::string& world, Datum datum) {
    const auto native = Platform::ToNativePath(prj);
    const PrjUnits units =
        native ? Module(world).worldFilePrj(*native, datum)
               : PrjUnits{PrjUnits::Kind::Unreadable, "its folder cannot be reached"};
    switch (units.kind) {
    case PrjUnits::Kind::Degrees:
        return MapCode::WorldUnits::Degrees;
    case PrjUnits::Kind::NationalGrid:
        return MapCode::WorldUnits::NationalGrid;
    case PrjUnits::Kind::Unreadable:
        Fail("The world file " + world + " cannot be placed: its projection file " + prj +
             " cannot be read (" + units.text + ").");
    case PrjUnits::Kind::Other:
        break;
    }
    Fail("The world file " + world + " is in " +
         (units.text.empty() ? "a coordinate system" : units.text) + " (" + prj +
         "); a definition takes only latitude and longitude on " + DatumName(datum) +
         " or the British National Grid. Tools > Import Map... warps such a picture into the "
         "library.");
}

} // namespace

MapCode::Georeference WorldFileCorners(const std::string& imagePath, int width, int height,
                                       Datum datum) {
    const std::string world = MapCode::FindWorldFile(imagePath);
    if (world.empty()) Fail("There is no world file beside " + imagePath + ".");
    const MapCode::WorldFile file = MapCode::ReadWorldFile(world);
    // The .prj by the picture's own name too, whatever name the picture is listed under.
    const std::string prj = Platform::FindCompanion(imagePath, ".prj");
    const MapCode::WorldUnits units = !prj.empty() && MapCode::FileExists(prj)
                                          ? UnitsOfPrj(prj, world, datum)
                                          : MapCode::UnitsOf(file, world);
    const MapCode::Georeference placed =
        MapCode::WorldFileGeoreference(file, units, width, height, world);
    if (units != MapCode::WorldUnits::NationalGrid || datum != Datum::WGS84) return placed;
    // The grid's corners as a definition holds them (hundredths of a minute), then shifted by
    // PROJ.
    const ModuleTable& module = Module(world);
    const auto texts = MapCode::CornerTexts(placed);
    float minutes[4];
    for (std::size_t i = 0; i < 4; i += 2) {
        double lat = MapCode::CoordToMinutes(texts[i]) / 60.0;
        double lon = MapCode::CoordToMinutes(texts[i + 1]) / 60.0;
        if (!module.shift(Datum::OSGB36, Datum::WGS84, lat, lon))
            Fail("The corners of " + imagePath + " could not be shifted to WGS 84.");
        minutes[i] = float(lat * 60);
        minutes[i + 1] = float(lon * 60);
    }
    return {minutes[1], minutes[0], minutes[3], minutes[2], width, height};
}

} // namespace Georef
