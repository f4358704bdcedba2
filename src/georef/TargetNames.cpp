// The names imports and exports write, and the datums' names: in the programs (to ask before
// replacing) and in the GDAL module (to write).
#include "georef/TargetNames.h"

#include "georef/WholeFiles.h"
#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <filesystem>
#include <string_view>

namespace fs = std::filesystem;

namespace Georef {
namespace Detail {

std::string NameStem(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string EntryPath(const std::string& folder, const std::string& coreName) {
    const auto found = Platform::FindEntryNoCase(folder, coreName);
    return (fs::path(folder) / (found ? *found : Platform::CoreNameToNative(coreName))).string();
}

std::string CoreFileName(const std::string& path) {
    return Platform::NativeNameToCore(fs::path(path).filename().string());
}

} // namespace Detail

using namespace Detail;

namespace {

// The characters a map's name cannot hold: those Windows file names cannot, and those the
// definition reader would cut or trim from its image line (a leading ';' or '.', spaces at
// either end).
std::string SafeName(std::string name) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 32 ||
            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    if (!name.empty() && (name.front() == ';' || name.front() == '.' || name.front() == ' '))
        name.front() = '_';
    if (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.back() = '_';
    return name.empty() ? "map" : name;
}

} // namespace

std::string Printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return shown;
}

std::string DatumName(Datum datum) {
    return datum == Datum::WGS84 ? "WGS 84 (EPSG:4326)" : "OSGB 1936 (EPSG:4277)";
}

std::string ImportName(const std::string& source) {
    return SafeName(Platform::NativeNameToCore(fs::path(source).stem().string()));
}

std::vector<std::string> ExistingFiles(const std::string& source, const std::string& mapsFolder) {
    const std::string name = ImportName(source);
    std::vector<std::string> existing;
    for (const char* extension : {".inf", ".jpg"}) {
        const std::string path = EntryPath(mapsFolder, name + extension);
        if (Occupied(path)) existing.push_back(path);
    }
    return existing;
}

std::string ExportExtension(ExportFormat format) {
    switch (format) {
    case ExportFormat::Kmz:
    case ExportFormat::GarminKmz:
        return ".kmz";
    case ExportFormat::Ozi:
        return ".map";
    case ExportFormat::World:
        return ".wld";
    case ExportFormat::MbTiles:
        return ".mbtiles";
    case ExportFormat::GeoPackage:
        return ".gpkg";
    case ExportFormat::Pdf:
        return ".pdf";
    }
    return {};
}

bool IsDeviceFormat(ExportFormat format) {
    return format != ExportFormat::Kmz && format != ExportFormat::Ozi &&
           format != ExportFormat::World;
}

std::vector<std::string> ExportTargets(const ExportRequest& request) {
    const fs::path picture(request.picture);
    const fs::path folder =
        request.outFolder.empty() ? picture.parent_path() : fs::path(request.outFolder);
    // A KMZ and the device formats are named after the map, the others after its picture.
    const bool byName =
        request.format != ExportFormat::Ozi && request.format != ExportFormat::World;
    const std::string stem = !request.outStem.empty() ? request.outStem
                             : byName ? Platform::CoreNameToNative(NameStem(request.name))
                                      : picture.stem().string();
    // A device format's file named in full (a save dialog's, a command line's) keeps its name.
    if (IsDeviceFormat(request.format) && !request.outStem.empty() &&
        fs::path(request.outStem).has_extension())
        return {(folder / stem).string()};
    if (request.format != ExportFormat::World)
        return {(folder / (stem + ExportExtension(request.format))).string()};
    const std::string world = fs::path(MapCode::WorldFileNameFor(picture.string())).extension();
    std::vector<std::string> targets{(folder / (stem + world)).string(),
                                     (folder / (stem + ".prj")).string()};
    // A world file places the picture of its own stem beside it: the picture itself, or a copy.
    const fs::path copy = folder / (stem + picture.extension().string());
    std::error_code ec;
    if (copy.lexically_normal() != picture.lexically_normal() && !fs::equivalent(copy, picture, ec))
        targets.push_back(copy.string());
    return targets;
}

} // namespace Georef
