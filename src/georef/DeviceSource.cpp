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
#include <cstring>
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

// The bands that make a picture three colours and, when it has one or `alpha` asks, a coverage
// band: a palette expanded (its transparent entries transparent), a grey repeated, a picture
// without transparency wholly covered (GDAL's mask of it).
std::vector<std::string> ColourBands(GDALDatasetH picture, bool& alpha) {
    const int bands = GDALGetRasterCount(picture);
    GDALRasterBandH last = GDALGetRasterBand(picture, bands);
    const bool own = bands > 1 && GDALGetRasterColorInterpretation(last) == GCI_AlphaBand;
    if (GDALGetRasterColorTable(GDALGetRasterBand(picture, 1)))
        return alpha = true, std::vector<std::string>{"-expand", "rgba"};
    std::vector<std::string> out{
        "-b", "1", "-b", bands - own < 3 ? "1" : "2", "-b", bands - own < 3 ? "1" : "3"};
    alpha = alpha || own;
    if (alpha)
        out.insert(out.end(),
                   {"-b", own ? std::to_string(bands) : "mask", "-colorinterp_4", "alpha"});
    return out;
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

// The whole pixels of the picture that reach into the area (all of them without one): first
// column, first row, columns, rows. None when it does not reach in.
std::array<int, 4> Window(const MapCode::Georeference& g, const Area* area) {
    const int w = g.Width(), h = g.Height();
    if (!area) return {0, 0, w, h};
    const auto& a = *area; // north, west, south, east
    const double dx = (g.East() - g.West()) / w, dy = (g.North() - g.South()) / h;
    const int x0 = std::max(0, int(std::floor((a[1] - g.West()) / dx)));
    const int x1 = std::min(w, int(std::ceil((a[3] - g.West()) / dx)));
    const int y0 = std::max(0, int(std::floor((g.North() - a[0]) / dy)));
    const int y1 = std::min(h, int(std::ceil((g.North() - a[2]) / dy)));
    return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

// A map's picture (its part in `area`, when given) in latitude and longitude of the datum, its
// corners where its definition puts them, kept in `kept` with the picture it reads; written to
// `file` (a VRT, "" for one in memory). `alpha` asks for a coverage band (set when the picture
// has one of its own). Null when the picture does not reach into the area.
GDALDatasetH PlacedPicture(const MosaicMap& map, Datum datum, const std::string& file,
                           const Area* area, bool& jpeg, bool& alpha, Kept& kept) {
    ErrorCapture errors;
    kept.pictures.emplace_back(GDALOpen(map.picture.c_str(), GA_ReadOnly));
    GDALDatasetH picture = kept.pictures.back().get();
    if (!picture || GDALGetRasterCount(picture) < 1)
        throw Error(Error::Kind::Refused,
                    "The picture of " + map.name + " (" + map.picture +
                        ") cannot be read: " + errors.Reason("GDAL cannot open it") + ".");
    jpeg = std::string(GDALGetDriverShortName(GDALGetDatasetDriver(picture))) == "JPEG";
    // The definition's size places the pixels; the picture's own is what is read.
    MapCode::Georeference g = map.georeference;
    g = MapCode::Georeference(g.TopLeftLongitude(), g.TopLeftLatitude(), g.BottomRightLongitude(),
                              g.BottomRightLatitude(), GDALGetRasterXSize(picture),
                              GDALGetRasterYSize(picture));
    const auto [x, y, w, h] = Window(g, area);
    if (w <= 0 || h <= 0) return nullptr;
    const double dx = (g.East() - g.West()) / g.Width(), dy = (g.North() - g.South()) / g.Height();
    std::vector<std::string> arguments{"-of",
                                       "VRT",
                                       "-a_srs",
                                       DatumCode(datum),
                                       "-srcwin",
                                       Number(x),
                                       Number(y),
                                       Number(w),
                                       Number(h),
                                       "-a_ullr",
                                       Number(g.West() + x * dx),
                                       Number(g.North() - y * dy),
                                       Number(g.West() + (x + w) * dx),
                                       Number(g.North() - (y + h) * dy)};
    for (auto& band : ColourBands(picture, alpha)) arguments.push_back(band);
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

// The area's maps, each clipped to it, coarsest first: the later are drawn over the earlier. A
// stable sort keeps the library's order among equals, so the one listed later wins a tie.
std::vector<Layer> AreaLayers(const ExportRequest& request, Kept& kept, bool& allJpeg,
                              double& finest) {
    const double centre = (request.area[0] + request.area[2]) / 2;
    std::vector<const MosaicMap*> maps;
    for (const auto& m : request.areaMaps) maps.push_back(&m);
    const auto scale = [&](const MosaicMap* m) {
        return m->georeference.MetresPerPixel(centre * 60);
    };
    std::stable_sort(maps.begin(), maps.end(),
                     [&](auto* a, auto* b) { return scale(a) > scale(b); });
    std::vector<Layer> layers;
    allJpeg = true;
    finest = 0;
    for (const MosaicMap* m : maps) {
        bool jpeg = false, alpha = true; // every one covers only its own part
        GDALDatasetH placed =
            PlacedPicture(*m, request.datum, kept.files.Add(), &request.area, jpeg, alpha, kept);
        if (!placed) continue;
        layers.push_back({placed, alpha});
        allJpeg = allJpeg && jpeg;
        finest = scale(m);
    }
    return layers;
}

ExportSource AreaSource(const ExportRequest& request) {
    const auto& area = request.area; // north, west, south, east
    auto kept = std::make_shared<Kept>();
    ExportSource source;
    double finest = 0;
    source.layers = AreaLayers(request, *kept, source.allJpeg, finest);
    const double metres = request.resolution > 0 ? request.resolution : finest;
    if (source.layers.empty() || !(metres > 0))
        throw Error(Error::Kind::Refused, "The maps of the area have no picture of known size.");
    std::vector<GDALDatasetH> handles;
    for (const Layer& l : source.layers) handles.push_back(l.placed);
    const double centre = (area[0] + area[2]) / 2;
    std::vector<std::string> arguments{"-te",
                                       Number(area[1]),
                                       Number(area[2]),
                                       Number(area[3]),
                                       Number(area[0]),
                                       "-tr",
                                       Number(metres / MetresPerDegreeEast(centre)),
                                       Number(metres / MetresPerDegreeNorth()),
                                       "-r",
                                       "bilinear"};
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

namespace {

// GDAL's block cache, sized to what the export reads again: the pictures' rows under two rows
// of tiles (a JPEG's rows read again from above are decoded again from its start), with room for
// the tiles being warped and written; at most five eighths of the request's memory, which leaves
// an eighth to each warp and the rest to the decoders' and writers' own buffers.
void SizeCache(const ExportRequest& request, const ExportSource& source) {
    double row = 0; // bytes
    for (const Layer& l : source.layers)
        row += double(GDALGetRasterXSize(l.placed)) * GDALGetRasterCount(l.placed);
    const double wanted = 2 * 256 * row + (8 << 20);
    const double most = double(request.memoryLimit) / 8 * 5;
    GDALSetCacheMax64(GIntBig(std::max(std::min(wanted, most), double(16 << 20))));
}

ExportSource OpenMap(const ExportRequest& request) {
    if (!request.areaMaps.empty()) {
        ExportSource source = AreaSource(request);
        source.title = Platform::Cp1252ToUtf8(request.name);
        return source;
    }
    ExportSource source;
    auto kept = std::make_shared<Kept>();
    bool alpha = false;
    GDALDatasetH placed = PlacedPicture({request.name, request.picture, request.georeference},
                                        request.datum, "", nullptr, source.allJpeg, alpha, *kept);
    source.layers = {{placed, alpha}};
    source.pixels = std::move(kept->placed.back());
    kept->placed.clear();
    source.alpha = alpha;
    source.keep = std::move(kept);
    source.title = Platform::Cp1252ToUtf8(NameStem(request.name));
    return source;
}

} // namespace

ExportSource OpenExportSource(const ExportRequest& request) {
    ExportSource source = OpenMap(request);
    SizeCache(request, source);
    return source;
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

Composite::Composite(const ExportSource& source, const TargetGrid& grid, std::uint64_t memory,
                     std::string& why) {
    const double px = (grid.east - grid.west) / grid.width;
    const double py = (grid.north - grid.south) / grid.height;
    for (const Layer& layer : source.layers) {
        // Only the pixels the layer reaches are warped and drawn (a pixel beyond, for the
        // bilinear kernel's reach).
        double e[4];
        if (!ExtentIn(layer.placed, grid.srs, e)) {
            why = std::string("a picture cannot be taken into ") + grid.srs;
            return;
        }
        const int x0 = std::max(0, int(std::floor((e[0] - grid.west) / px)) - 1);
        const int x1 = std::min(grid.width, int(std::ceil((e[2] - grid.west) / px)) + 1);
        const int y0 = std::max(0, int(std::floor((grid.north - e[3]) / py)) - 1);
        const int y1 = std::min(grid.height, int(std::ceil((grid.north - e[1]) / py)) + 1);
        if (x0 >= x1 || y0 >= y1) continue;
        std::vector<std::string> arguments{
            "-t_srs",
            grid.srs,
            "-te",
            Number(grid.west),
            Number(grid.south),
            Number(grid.east),
            Number(grid.north),
            "-ts",
            std::to_string(grid.width),
            std::to_string(grid.height),
            "-r",
            "bilinear",
            "-dstalpha",
            "-wm",
            std::to_string(std::max<std::uint64_t>(memory, 8 << 20))};
        if (layer.alpha) arguments.push_back("-srcalpha");
        GdalDataset warped = WarpToVrt(layer.placed, arguments, why);
        if (!warped) return;
        parts_.push_back({std::move(warped), x0, y0, x1, y1});
    }
    ok_ = true;
}

namespace {

// Lays `a` (straight colours, 4 planes of n) over `b`: coverage adds, colours mix by it.
void Over(const unsigned char* a, std::size_t an, unsigned char* b, std::size_t bn, int w, int h,
          int aw, int bw) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * aw + x, j = std::size_t(y) * bw + x;
            const unsigned top = a[3 * an + i];
            if (top == 0) continue;
            const unsigned under = b[3 * bn + j] * (255 - top) / 255, cover = top + under;
            for (int c = 0; c < 3; ++c)
                b[c * bn + j] = static_cast<unsigned char>(
                    (a[c * an + i] * top + b[c * bn + j] * under + cover / 2) / cover);
            b[3 * bn + j] = static_cast<unsigned char>(cover);
        }
}

} // namespace

bool Composite::Read(int x, int y, int w, int h, bool white, std::vector<unsigned char>& rgba,
                     std::string& why) {
    const std::size_t n = std::size_t(w) * std::size_t(h);
    rgba.assign(4 * n, 0);
    ErrorCapture errors;
    bool drawn = false;
    for (Part& p : parts_) {
        const int u0 = std::max(x, p.x0), v0 = std::max(y, p.y0);
        const int u1 = std::min(x + w, p.x1), v1 = std::min(y + h, p.y1);
        if (u0 >= u1 || v0 >= v1) continue;
        const int pw = u1 - u0, ph = v1 - v0;
        const std::size_t pn = std::size_t(pw) * std::size_t(ph);
        layer_.resize(4 * pn);
        if (GDALDatasetRasterIO(p.warped.get(), GF_Read, u0, v0, pw, ph, layer_.data(), pw, ph,
                                GDT_Byte, 4, nullptr, 0, 0, 0) != CE_None)
            return why = errors.Reason("the pictures cannot be read"), false;
        const std::size_t at = std::size_t(v0 - y) * w + std::size_t(u0 - x);
        if (drawn)
            Over(layer_.data(), pn, rgba.data() + at, n, pw, ph, pw, w);
        else // nothing under it: the layer as it is
            for (int b = 0; b < 4; ++b)
                for (int r = 0; r < ph; ++r)
                    std::memcpy(rgba.data() + b * n + at + std::size_t(r) * w,
                                layer_.data() + b * pn + std::size_t(r) * pw, std::size_t(pw));
        drawn = true;
    }
    if (white)
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned cover = rgba[3 * n + i];
            for (int c = 0; c < 3 && cover < 255; ++c)
                rgba[c * n + i] = static_cast<unsigned char>(
                    (rgba[c * n + i] * cover + 255 * (255 - cover) + 127) / 255);
        }
    return true;
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
