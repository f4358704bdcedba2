// varnet-maps export to the device formats (mbtiles, gpkg, pdf, garmin-kmz): named maps, or one
// seamless map of an area, written where --out says.
#include "cli/Cli.h"

#include "grids/Grids.h"
#include "library/AreaMaps.h"
#include "platform/MemoryBound.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Cli {
namespace {

// A number option's value within its range; nothing after saying why.
std::optional<double> NumberOption(const std::string& option, const std::string& text, double least,
                                   double most, bool whole) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(value >= least && value <= most) ||
        (whole && value != std::floor(value))) {
        char range[64];
        std::snprintf(range, sizeof range, " from %g to %g", least, most);
        Fail(option + " " + text + " is not " + (whole ? "a whole number" : "a number") + range);
        return std::nullopt;
    }
    return value;
}

// The options that apply to the format and the request: a wrong command line says why.
bool ReadOptions(const Arguments& a, Georef::ExportFormat format, Georef::ExportRequest& r) {
    using F = Georef::ExportFormat;
    const bool area = !a.area.empty() || !a.around.empty();
    const struct {
        const char* option;
        const std::string& value;
        bool applies;
        const char* only; // where it applies
    } rules[] = {{"--max-tiles", a.maxTiles, format == F::GarminKmz, "to --format garmin-kmz"},
                 {"--dpi", a.dpi, format == F::Pdf, "to --format pdf"},
                 {"--resolution", a.resolution, area, "to an area"},
                 {"--radius", a.radius, !a.around.empty(), "with --around"}};
    for (const auto& rule : rules)
        if (!rule.value.empty() && !rule.applies)
            return Fail(std::string(rule.option) + " applies only " + rule.only), false;
    if (!a.area.empty() && !a.around.empty())
        return Fail("give --area or --around, not both"), false;
    const auto set = [&](const std::string& option, const std::string& text, double least,
                         double most, bool whole, auto& to) {
        if (text.empty()) return true;
        const auto v = NumberOption(option, text, least, most, whole);
        if (v) to = static_cast<std::remove_reference_t<decltype(to)>>(*v);
        return v.has_value();
    };
    return set("--quality", a.quality, 1, 100, true, r.quality) &&
           set("--max-tiles", a.maxTiles, 1, 1e6, true, r.maxTiles) &&
           set("--dpi", a.dpi, 1, 1e5, false, r.dpi) &&
           set("--resolution", a.resolution, 1e-3, 1e7, false, r.resolution);
}

// The area --area or --around and --radius give; nothing after saying why.
std::optional<Georef::Area> AreaOf(const Arguments& a, Georef::Datum datum) {
    std::string why;
    if (!a.area.empty()) {
        auto area = Georef::ReadArea(a.area, why);
        if (!area) Fail(why);
        return area;
    }
    if (a.radius.empty()) return Fail("--around needs --radius KM"), std::nullopt;
    char* end = nullptr;
    const double km = std::strtod(a.radius.c_str(), &end);
    if (*end || !(km > 0)) return Fail("the radius " + a.radius + " is not above 0"), std::nullopt;
    const Grids::Place place = Grids::ReadPlace(a.around, datum);
    if (!place.ok) return Fail(place.error), std::nullopt;
    return Georef::AroundPlace(place.latitude, place.longitude, km, datum);
}

// Where the files go: a folder (every name's file in it) or, for one map, the file itself.
struct Destination {
    std::string folder;
    std::string file; // the file's name in the folder; "" for each map's own
};

std::optional<Destination> DestinationOf(const std::string& out, bool one) {
    std::error_code ec;
    if (out.empty()) return Destination{fs::current_path(ec).string(), ""};
    if (out.back() == '/') fs::create_directories(out, ec);
    if (fs::is_directory(out, ec)) return Destination{fs::canonical(out, ec).string(), ""};
    if (ec && out.back() == '/')
        return Fail("--out " + out + " cannot be made: " + ec.message()), std::nullopt;
    if (!one)
        return Fail("--out " + out + " is no folder, and there are several maps"), std::nullopt;
    const fs::path path = fs::absolute(out, ec);
    if (!fs::is_directory(path.parent_path(), ec))
        return Fail("--out " + out + " is not in a folder that exists"), std::nullopt;
    return Destination{path.parent_path().string(), path.filename().string()};
}

// Writes one export, saying what was written; false after saying why it failed. Sets
// `cancelled` when a signal stopped it.
bool ExportOne(Georef::ExportRequest request, const Arguments& a, bool& cancelled) {
    const bool terminal = isatty(STDERR_FILENO);
    int shown = -1;
    const std::string name = Platform::Cp1252ToUtf8(request.name);
    request.progress = [&](double done) {
        if (terminal && int(done * 100) != shown) {
            shown = int(done * 100);
            std::fprintf(stderr, "\rExporting %s: %3d%%", Georef::Printable(name).c_str(), shown);
        }
        return !Interrupted();
    };
    try {
        const Georef::ExportResult r = Georef::ExportFiles(request);
        if (terminal) std::fprintf(stderr, "\r\033[K");
        nlohmann::json o{{"name", name}, {"path", r.paths[0]}, {"format", a.format}};
        if (r.maxZoom >= 0) o["minzoom"] = r.minZoom, o["maxzoom"] = r.maxZoom;
        if (r.tiles > 0) o["tiles"] = r.tiles, o["reduction"] = r.reduction;
        std::string line = r.paths[0];
        if (r.tiles > 0 && r.reduction < 1) {
            char note[128];
            std::snprintf(note, sizeof note,
                          " (reduced to %.3g of its size each way to fit %d tiles)", r.reduction,
                          request.maxTiles);
            line += note;
        }
        Write(a.json ? JsonLine(o) : line + "\n");
        return true;
    } catch (const Georef::Error& e) {
        if (terminal) std::fprintf(stderr, "\r\033[K");
        cancelled = e.kind() == Georef::Error::Kind::Cancelled;
        Fail(e.kind() == Georef::Error::Kind::Exists
                 ? std::string(e.what()) + " (--replace replaces it)"
                 : e.what());
        return false;
    }
}

} // namespace

int ExportForDevices(const Arguments& a, Model& model, Georef::ExportFormat format) {
    const bool area = !a.area.empty() || !a.around.empty();
    if (area && !a.operands.empty()) return Fail("export takes names or an area, not both");
    if (area && a.out.empty()) return Fail("an area's export needs --out PATH");
    if (!area && a.operands.empty()) return Fail("export needs the names of the maps to export");
    const MapCode::Georeference none(0, 1, 1, 0, 1, 1); // an area's request places no one map
    Georef::ExportRequest request{.name = {},
                                  .picture = {},
                                  .georeference = none,
                                  .format = format,
                                  .outFolder = {},
                                  .replace = a.replace};
    if (!ReadOptions(a, format, request)) return kFailed;
    const auto destination = DestinationOf(a.out, area || a.operands.size() == 1);
    if (!destination) return kFailed;
    const std::string folder = MapsFolder(a);
    if (folder.empty() || !LoadLibrary(model.maps, folder)) return kFailed;
    request.datum = LibraryDatum();
    request.outFolder = destination->folder;
    request.outStem = destination->file;
    request.replace = a.replace;
    request.memoryLimit = Platform::PictureMemoryBound();
    StopOnSignals();
    bool cancelled = false;
    if (area) {
        const auto box = AreaOf(a, request.datum);
        if (!box) return kFailed;
        request.area = *box;
        for (int i : Library::Covering(model.maps, *box)) {
            const Library::Entry& e = model.maps.Entries()[std::size_t(i)];
            request.areaMaps.push_back({e.name, e.pictureNative, *e.Georeference()});
        }
        if (request.areaMaps.empty()) return Fail("no map of the library covers the area");
        request.name =
            destination->file.empty()
                ? std::string("area")
                : Platform::NativeNameToCore(fs::path(destination->file).stem().string());
        if (!ExportOne(request, a, cancelled)) return cancelled ? kStopped : kFailed;
        return kOk;
    }
    int status = kOk;
    for (const std::string& name : a.operands) {
        if (Interrupted()) return kStopped;
        const Library::Entry* e = FindEntry(model.maps, Platform::Utf8ToCp1252(name));
        const auto g = e ? e->Georeference() : std::nullopt;
        if (!e || !g || !e->NamesPicture()) {
            status = Fail(!e ? "there is no map " + name + " in " + Platform::Cp1252ToUtf8(folder)
                             : "the map " + name + " cannot be placed: " +
                                   Platform::Cp1252ToUtf8(e->reason.empty() ? "it has no corners"
                                                                            : e->reason));
            continue;
        }
        request.name = e->name;
        request.picture = e->pictureNative;
        request.georeference = *g;
        if (!ExportOne(request, a, cancelled)) status = kFailed;
        if (cancelled) return kStopped;
    }
    return Interrupted() ? kStopped : status;
}

} // namespace Cli
