// varnet-maps import and export: georeferenced maps into the library through GDAL and PROJ, and
// the library's maps out again for other programs.
#include "cli/Cli.h"

#include "georef/Georef.h"
#include "platform/MemoryBound.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <csignal>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace Cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

} // namespace

// Ctrl+C, and the end of the session (SIGHUP) or a polite kill (SIGTERM), stop the import or
// export under way, which then leaves nothing of its own behind. No SA_RESTART: a wait in
// progress returns at once to look.
void StopOnSignals() {
    struct sigaction action {};
    action.sa_handler = [](int) { interrupted = 1; };
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
}

bool Interrupted() {
    return interrupted;
}

std::string NativeFolder(const std::string& folder, const char* what) {
    const auto native = Platform::ToNativePath(folder);
    std::error_code ec;
    if (!native || !std::filesystem::is_directory(*native, ec)) {
        Fail(std::string(what) + " " + Platform::Cp1252ToUtf8(folder) + " is not a folder");
        return {};
    }
    // Paths printed as list prints them: through no drive link.
    return std::filesystem::canonical(*native, ec).string();
}

namespace {

Georef::Datum Datum() {
    std::string warning;
    const Georef::Datum datum = Georef::LibraryDatum(&warning);
    if (!warning.empty()) std::fprintf(stderr, "varnet-maps: %s\n", warning.c_str());
    return datum;
}

std::optional<Georef::ExportFormat> ExportFormatNamed(const std::string& name) {
    using F = Georef::ExportFormat;
    static const std::pair<const char*, F> names[] = {{"kmz", F::Kmz},
                                                      {"ozi", F::Ozi},
                                                      {"world", F::World},
                                                      {"mbtiles", F::MbTiles},
                                                      {"gpkg", F::GeoPackage},
                                                      {"pdf", F::Pdf},
                                                      {"garmin-kmz", F::GarminKmz}};
    for (const auto& [n, format] : names)
        if (name == n) return format;
    return std::nullopt;
}

// The native folder --out names ("" without it: each picture's own); nothing after saying why.
std::optional<std::string> OutFolder(const Arguments& arguments) {
    const std::string& o = arguments.out;
    if (o.empty()) return std::string();
    const bool windows = o.size() >= 2 && o[1] == ':';
    std::string out =
        NativeFolder(windows ? Platform::Utf8ToCp1252(o)
                             : Platform::NativeNameToCore(std::filesystem::absolute(o)),
                     "--out");
    if (out.empty()) return std::nullopt;
    return out;
}

// Writes one export, printing each file written; false after saying why it failed.
bool ExportOne(Georef::ExportRequest request, bool json) {
    request.progress = [](double) { return !interrupted; };
    try {
        for (const std::string& path : Georef::Export(request)) {
            if (json) {
                Write(JsonLine({{"name", Platform::Cp1252ToUtf8(request.name)}, {"path", path}}));
            } else {
                Write(path + "\n");
            }
        }
        return true;
    } catch (const Georef::Error& error) {
        Fail(error.kind() == Georef::Error::Kind::Exists
                 ? std::string(error.what()) + " (--replace replaces it)"
                 : error.what());
        return false;
    }
}

} // namespace

const Library::Entry* FindEntry(const Library::MapLibrary& library, const std::string& name) {
    for (const std::string& n : {name, name + ".inf"})
        if (const int i = library.IndexOf(n); i >= 0) return &library.Probed(i);
    const auto& entries = library.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (Platform::EqualsNoCase(entries[i].name, name) ||
            Platform::EqualsNoCase(entries[i].name, name + ".inf"))
            return &library.Probed(int(i));
    return nullptr;
}

int Import(const Arguments& arguments, Model&) {
    if (arguments.operands.empty()) return Fail("import needs the files to import");
    const std::string folder = MapsFolder(arguments);
    if (folder.empty()) return kFailed;
    const std::string maps = NativeFolder(folder, "the Maps folder");
    if (maps.empty()) return kFailed;
    const Georef::Datum datum = Datum();
    const bool terminal = isatty(STDERR_FILENO);
    StopOnSignals();
    int status = kOk;
    for (const std::string& file : arguments.operands) {
        if (interrupted) return kStopped;
        const std::string name = Georef::Printable(file); // a name cannot move the terminal
        Georef::ImportRequest request;
        request.source = file;
        request.mapsFolder = maps;
        request.replace = arguments.replace;
        request.datum = datum;
        request.memoryLimit = Platform::PictureMemoryBound(); // the picture memory bound
        int shown = -1;
        request.progress = [&](double done) {
            const int percent = int(done * 100);
            if (terminal && percent != shown) {
                shown = percent;
                std::fprintf(stderr, "\rImporting %s: %3d%%", name.c_str(), percent);
                std::fflush(stderr);
            }
            return !interrupted;
        };
        try {
            const Georef::ImportResult r = Georef::Import(request);
            if (terminal) std::fprintf(stderr, "\r\033[K");
            if (arguments.json) {
                Write(JsonLine({{"name", Platform::Cp1252ToUtf8(r.name)},
                                {"path", r.definition},
                                {"datum", Georef::DatumName(r.datum)}}));
            } else {
                Write("Imported " + name + " as " + Platform::Cp1252ToUtf8(r.name) + " (" +
                      r.definition + "), " + std::to_string(r.georeference.Width()) + " x " +
                      std::to_string(r.georeference.Height()) + " pixels, corners on " +
                      Georef::DatumName(r.datum) + "\n");
            }
        } catch (const Georef::Error& e) {
            if (terminal) std::fprintf(stderr, "\r\033[K");
            status = Fail(e.kind() == Georef::Error::Kind::Exists
                              ? std::string(e.what()) + " (--replace replaces it)"
                              : e.what());
            if (e.kind() == Georef::Error::Kind::Cancelled) return kStopped;
        }
    }
    return status;
}

int Export(const Arguments& arguments, Model& model) {
    const auto format = ExportFormatNamed(arguments.format);
    if (!format)
        return Fail("export needs --format kmz, ozi, world, mbtiles, gpkg, pdf or garmin-kmz");
    if (Georef::IsDeviceFormat(*format)) return ExportForDevices(arguments, model, *format);
    // The device formats' options write no file of these.
    for (const std::string* given :
         {&arguments.quality, &arguments.maxTiles, &arguments.dpi, &arguments.area,
          &arguments.around, &arguments.radius, &arguments.resolution})
        if (!given->empty())
            return Fail("--format " + arguments.format +
                        " takes none of --quality, --max-tiles, --dpi, --area, --around, "
                        "--radius, --resolution");
    if (arguments.operands.empty()) return Fail("export needs the names of the maps to export");
    const std::string folder = MapsFolder(arguments);
    if (folder.empty()) return kFailed;
    const auto out = OutFolder(arguments);
    if (!out) return kFailed;
    if (!LoadLibrary(model.maps, folder, Library::Depth::Definitions)) return kFailed;
    const Library::MapLibrary& library = model.maps;
    const Georef::Datum datum = Datum();
    StopOnSignals();
    int status = kOk;
    for (const std::string& name : arguments.operands) {
        if (interrupted) return kStopped;
        const Library::Entry* e = FindEntry(library, Platform::Utf8ToCp1252(name));
        if (!e) {
            status = Fail("there is no map " + name + " in " + Platform::Cp1252ToUtf8(folder));
            continue;
        }
        const auto georeference = e->Georeference();
        if (!georeference || !e->NamesPicture()) {
            status =
                Fail("the map " + name + " cannot be placed: " +
                     Platform::Cp1252ToUtf8(e->reason.empty() ? "it has no corners" : e->reason));
            continue;
        }
        const Georef::ExportRequest request{.name = e->name,
                                            .picture = e->pictureNative,
                                            .georeference = *georeference,
                                            .format = *format,
                                            .outFolder = *out,
                                            .replace = arguments.replace,
                                            .datum = datum,
                                            .progress = {}};
        if (!ExportOne(request, arguments.json)) status = kFailed;
    }
    return interrupted ? kStopped : status;
}

} // namespace Cli
