// The pixels of a device export: a map's picture placed by its definition, or the mosaic of an
// area's maps; GDAL's tools run on them; the file put in place whole.
#include "georef/DeviceExport.h"

#include "mapdef/Earth.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

#include <cpl_vsi.h>
#include <gdal_utils.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <gdal_alg.h>
#include <sys/statvfs.h>

namespace Georef::Detail {
namespace {

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string DatumCode(Datum datum) {
    return datum == Datum::WGS84 ? "EPSG:4326" : "EPSG:4277";
}

// The arguments as the tools' option parsers take them: a null-ended list.
std::vector<char*> Argv(std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// The bands that make a picture three colours: a palette expanded, a grey repeated.
std::vector<std::string> ColourBands(GDALDatasetH picture) {
    const int bands = GDALGetRasterCount(picture);
    if (GDALGetRasterColorTable(GDALGetRasterBand(picture, 1))) return {"-expand", "rgb"};
    if (bands < 3) return {"-b", "1", "-b", "1", "-b", "1"};
    return {"-b", "1", "-b", "2", "-b", "3"};
}

// The files of an area's maps, kept in GDAL's memory files while the mosaic reads them.
class MemoryFiles {
public:
    MemoryFiles() = default;
    MemoryFiles(const MemoryFiles&) = delete;
    MemoryFiles& operator=(const MemoryFiles&) = delete;
    ~MemoryFiles() {
        for (const auto& f : files_) VSIUnlink(f.c_str());
    }
    std::string Add() {
        static std::atomic<long> serial{0};
        files_.push_back("/vsimem/varnet-area-" + std::to_string(++serial) + ".vrt");
        return files_.back();
    }

private:
    std::vector<std::string> files_;
};

// What the pixels read, closed after them: GDAL's memory files of an area's maps, the pictures
// and their placed VRTs (which read the pictures through their handles).
struct Kept {
    MemoryFiles files;
    std::vector<GdalDataset> pictures, placed;
};

// A map's picture as three colour bands in latitude and longitude of the datum, its corners
// where its definition puts them, kept in `kept` with the picture it reads; written to `file`
// (a VRT, "" for one in memory).
GDALDatasetH PlacedPicture(const MosaicMap& map, Datum datum, const std::string& file, bool& jpeg,
                           Kept& kept) {
    ErrorCapture errors;
    kept.pictures.emplace_back(GDALOpen(map.picture.c_str(), GA_ReadOnly));
    GDALDatasetH picture = kept.pictures.back().get();
    if (!picture || GDALGetRasterCount(picture) < 1)
        throw Error(Error::Kind::Refused,
                    "The picture of " + map.name + " (" + map.picture +
                        ") cannot be read: " + errors.Reason("GDAL cannot open it") + ".");
    jpeg = std::string(GDALGetDriverShortName(GDALGetDatasetDriver(picture))) == "JPEG";
    const MapCode::Georeference& g = map.georeference;
    std::vector<std::string> arguments{"-of",
                                       "VRT",
                                       "-a_srs",
                                       DatumCode(datum),
                                       "-a_ullr",
                                       Number(g.TopLeftLongitude() / 60.0),
                                       Number(g.TopLeftLatitude() / 60.0),
                                       Number(g.BottomRightLongitude() / 60.0),
                                       Number(g.BottomRightLatitude() / 60.0)};
    for (auto& band : ColourBands(picture)) arguments.push_back(band);
    auto argv = Argv(arguments);
    GDALTranslateOptions* options = GDALTranslateOptionsNew(argv.data(), nullptr);
    kept.placed.emplace_back(GDALTranslate(file.c_str(), picture, options, nullptr));
    GDALTranslateOptionsFree(options);
    if (!kept.placed.back())
        throw Error(Error::Kind::Refused, "The picture of " + map.name + " cannot be placed: " +
                                              errors.Reason("GDAL cannot read it") + ".");
    return kept.placed.back().get();
}

// Metres on the ground per degree of longitude at a latitude and per degree of latitude, on the
// sphere the library measures maps on.
double MetresPerDegreeEast(double latitude) {
    return MapCode::Earth::AlongParallelKm(latitude, 1) * 1000;
}
double MetresPerDegreeNorth() {
    return MapCode::Earth::AlongParallelKm(0, 1) * 1000;
}

ExportSource AreaSource(const ExportRequest& request) {
    const auto& area = request.area; // north, west, south, east
    const double centre = (area[0] + area[2]) / 2;
    std::vector<const MosaicMap*> maps;
    for (const auto& m : request.areaMaps) maps.push_back(&m);
    // Coarsest first: the VRT's later sources are drawn over the earlier ones. A stable sort
    // keeps the library's order among equals, so the one listed later wins a tie.
    const auto scale = [&](const MosaicMap* m) {
        return m->georeference.MetresPerPixel(centre * 60);
    };
    std::stable_sort(maps.begin(), maps.end(),
                     [&](auto* a, auto* b) { return scale(a) > scale(b); });
    const double metres = request.resolution > 0 ? request.resolution : scale(maps.back());
    if (!(metres > 0))
        throw Error(Error::Kind::Refused, "The maps of the area have no picture of known size.");
    auto kept = std::make_shared<Kept>();
    std::vector<GDALDatasetH> handles;
    ExportSource source;
    source.allJpeg = true;
    for (const MosaicMap* m : maps) {
        bool jpeg = false;
        handles.push_back(PlacedPicture(*m, request.datum, kept->files.Add(), jpeg, *kept));
        source.allJpeg = source.allJpeg && jpeg;
    }
    std::vector<std::string> arguments{"-te",
                                       Number(area[1]),
                                       Number(area[2]),
                                       Number(area[3]),
                                       Number(area[0]),
                                       "-tr",
                                       Number(metres / MetresPerDegreeEast(centre)),
                                       Number(metres / MetresPerDegreeNorth()),
                                       "-r",
                                       "bilinear",
                                       "-addalpha"};
    auto argv = Argv(arguments);
    ErrorCapture errors;
    GDALBuildVRTOptions* options = GDALBuildVRTOptionsNew(argv.data(), nullptr);
    source.pixels.reset(
        GDALBuildVRT("", int(handles.size()), handles.data(), nullptr, options, nullptr));
    GDALBuildVRTOptionsFree(options);
    if (!source.pixels)
        throw Error(Error::Kind::Refused,
                    "The maps of the area cannot be joined: " + errors.Reason("GDAL failed") + ".");
    source.alpha = true;
    source.keep = std::move(kept);
    return source;
}

} // namespace

ExportSource OpenExportSource(const ExportRequest& request) {
    if (!request.areaMaps.empty()) {
        ExportSource source = AreaSource(request);
        source.title = Platform::Cp1252ToUtf8(request.name);
        return source;
    }
    ExportSource source;
    auto kept = std::make_shared<Kept>();
    PlacedPicture({request.name, request.picture, request.georeference}, request.datum, "",
                  source.allJpeg, *kept);
    source.pixels = std::move(kept->placed.back());
    kept->placed.clear();
    source.keep = std::move(kept);
    source.title = Platform::Cp1252ToUtf8(NameStem(request.name));
    return source;
}

GdalDataset TranslateToVrt(GDALDatasetH from, std::vector<std::string> arguments,
                           std::string& why) {
    arguments.insert(arguments.begin(), {"-of", "VRT"});
    auto argv = Argv(arguments);
    ErrorCapture errors;
    GDALTranslateOptions* options = GDALTranslateOptionsNew(argv.data(), nullptr);
    GdalDataset out(GDALTranslate("", from, options, nullptr));
    GDALTranslateOptionsFree(options);
    if (!out) why = errors.Reason("GDAL failed");
    return out;
}

GdalDataset WarpToVrt(GDALDatasetH from, std::vector<std::string> arguments, std::string& why) {
    arguments.insert(arguments.begin(), {"-of", "VRT"});
    auto argv = Argv(arguments);
    ErrorCapture errors;
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(argv.data(), nullptr);
    GdalDataset out(GDALWarp("", nullptr, 1, &from, options, nullptr));
    GDALWarpAppOptionsFree(options);
    if (!out) why = errors.Reason("GDAL failed");
    return out;
}

bool ExtentIn(GDALDatasetH dataset, const char* srs, double extent[4], double* pixel) {
    const std::string to = std::string("DST_SRS=") + srs;
    const char* options[] = {to.c_str(), nullptr};
    ErrorCapture quiet; // the caller says what failed
    void* t = GDALCreateGenImgProjTransformer2(dataset, nullptr, const_cast<char**>(options));
    if (!t) return false;
    // The edges, densely: a datum shift or a projection bends them.
    constexpr int kSteps = 64;
    const double w = GDALGetRasterXSize(dataset), h = GDALGetRasterYSize(dataset);
    std::vector<double> x, y, z;
    for (int i = 0; i <= kSteps; ++i) {
        const double f = double(i) / kSteps;
        for (const auto& p : {std::array<double, 2>{f * w, 0}, {f * w, h}, {0, f * h}, {w, f * h}})
            x.push_back(p[0]), y.push_back(p[1]), z.push_back(0);
    }
    std::vector<int> ok(x.size());
    GDALGenImgProjTransform(t, FALSE, int(x.size()), x.data(), y.data(), z.data(), ok.data());
    double geotransform[6], suggested[4];
    int pw = 0, ph = 0;
    const bool fitted =
        !pixel || GDALSuggestedWarpOutput2(dataset, GDALGenImgProjTransform, t, geotransform, &pw,
                                           &ph, suggested, 0) == CE_None;
    GDALDestroyGenImgProjTransformer(t);
    if (!fitted || std::find(ok.begin(), ok.end(), 0) != ok.end()) return false;
    if (pixel) *pixel = geotransform[1];
    extent[0] = *std::min_element(x.begin(), x.end());
    extent[1] = *std::min_element(y.begin(), y.end());
    extent[2] = *std::max_element(x.begin(), x.end());
    extent[3] = *std::max_element(y.begin(), y.end());
    return true;
}

bool Going(const ExportRequest& request, double done) {
    return !request.progress || request.progress(std::clamp(done, 0.0, 1.0));
}

void Fail(const ExportRequest& request, const std::string& path, const std::string& why,
          bool cancelled) {
    if (cancelled)
        throw Error(Error::Kind::Cancelled, "The export of " + request.name + " was cancelled.");
    throw Error(Error::Kind::Failed, path + " could not be written: " + why + ".");
}

void ReplaceWith(
    const ExportRequest& request, const std::string& path,
    const std::function<std::string(const std::string& temp, bool& cancelled)>& write) {
    bool cancelled = false;
    const auto writer = [&](const std::string& temp, std::string& why) {
        why = write(temp, cancelled);
        if (why.empty()) return true;
        // GDAL words a full disc in many ways (SQLite's, the zip's, a short write): the folder's
        // free space says it once, as the replace words the system's own.
        struct statvfs fs {};
        const std::size_t slash = temp.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : temp.substr(0, slash + 1);
        if (!cancelled && statvfs(folder.c_str(), &fs) == 0 &&
            std::uint64_t(fs.f_bavail) * fs.f_frsize < (std::uint64_t(1) << 20))
            why = "the disc is full";
        return false;
    };
    std::string why;
    if (!Platform::ReplaceFileAtName(path, writer, &why)) Fail(request, path, why, cancelled);
}

} // namespace Georef::Detail
