// A georeferenced PDF of a map, and a KMZ of small JPEG tiles for handheld GPS units.
#include "georef/DeviceExport.h"
#include "georef/TextExports.h"

#include "platform/Text.h"

#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal_alg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Georef::Detail {
namespace {

// GDAL's progress function over the request's, remembering a cancel (GDAL's drivers word it
// each their own way).
struct Watch {
    const ExportRequest& request;
    bool cancelled = false;
};
int CPL_STDCALL Progress(double done, const char*, void* watch) {
    auto* w = static_cast<Watch*>(watch);
    w->cancelled = w->cancelled || !Going(w->request, done);
    return w->cancelled ? FALSE : TRUE;
}

// The tiles a handheld unit takes: at most this many pixels a side, each its own overlay.
constexpr int kTileSide = 1024;

// The largest even scale (at most 1) at which the picture's tiles number at most `maxTiles`.
double Reduction(int width, int height, int maxTiles) {
    double best = 0;
    for (int across = 1; across <= maxTiles; ++across) {
        const int down = maxTiles / across;
        const double scale =
            std::min({1.0, double(across) * kTileSide / width, double(down) * kTileSide / height});
        best = std::max(best, scale);
    }
    return best;
}

struct TileLayout {
    int width = 0, height = 0; // the reduced picture
    int across = 0, down = 0;
    double west = 0, north = 0, dx = 0, dy = 0; // its grid, degrees (dy negative)
    int Edge(int i, int count, int size) const {
        return int(std::lround(double(i) * size / count));
    }
    int X(int i) const { return Edge(i, across, width); }
    int Y(int j) const { return Edge(j, down, height); }
};

std::string TilesKml(const std::string& title, const TileLayout& t) {
    std::string kml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n  <name>" +
                      Xml(title) + "</name>\n";
    for (int j = 0; j < t.down; ++j)
        for (int i = 0; i < t.across; ++i) {
            const std::string tile = std::to_string(j + 1) + "-" + std::to_string(i + 1);
            kml += "  <GroundOverlay>\n    <name>" + Xml(title) + " " + tile +
                   "</name>\n    <drawOrder>50</drawOrder>\n    <Icon><href>files/" + tile +
                   ".jpg</href></Icon>\n    <LatLonBox>\n      <north>" +
                   Number(t.north + t.Y(j) * t.dy, 9) + "</north>\n      <south>" +
                   Number(t.north + t.Y(j + 1) * t.dy, 9) + "</south>\n      <east>" +
                   Number(t.west + t.X(i + 1) * t.dx, 9) + "</east>\n      <west>" +
                   Number(t.west + t.X(i) * t.dx, 9) + "</west>\n    </LatLonBox>\n" +
                   "  </GroundOverlay>\n";
        }
    return kml + "</Document>\n</kml>\n";
}

// One tile of the warped picture as a baseline JPEG's bytes; "" with `why` when it fails.
std::string TileJpeg(GDALDatasetH warped, int x, int y, int w, int h, int quality,
                     std::string& why) {
    ErrorCapture errors;
    GdalDataset mem(GDALCreate(GDALGetDriverByName("MEM"), "", w, h, 3, GDT_Byte, nullptr));
    std::vector<unsigned char> pixels(std::size_t(w) * std::size_t(h) * 3);
    int bands[] = {1, 2, 3};
    if (!mem ||
        GDALDatasetRasterIO(warped, GF_Read, x, y, w, h, pixels.data(), w, h, GDT_Byte, 3, bands, 0,
                            0, 0) != CE_None ||
        GDALDatasetRasterIO(mem.get(), GF_Write, 0, 0, w, h, pixels.data(), w, h, GDT_Byte, 3,
                            bands, 0, 0, 0) != CE_None)
        return why = errors.Reason("the picture cannot be read"), "";
    const std::string file =
        "/vsimem/varnet-tile-" + std::to_string(std::uintptr_t(&pixels)) + ".jpg";
    const std::string q = "QUALITY=" + std::to_string(quality);
    const char* options[] = {q.c_str(), "PROGRESSIVE=NO", "WRITE_EXIF_METADATA=NO", nullptr};
    GdalDataset jpeg(GDALCreateCopy(GDALGetDriverByName("JPEG"), file.c_str(), mem.get(), FALSE,
                                    const_cast<char**>(options), nullptr, nullptr));
    jpeg.reset();
    vsi_l_offset size = 0;
    GByte* bytes = VSIGetMemFileBuffer(file.c_str(), &size, FALSE);
    std::string out = bytes ? std::string(reinterpret_cast<char*>(bytes), size) : std::string();
    VSIUnlink(file.c_str());
    if (out.empty()) why = errors.Reason("the tile cannot be encoded");
    return out;
}

// The picture in WGS 84 latitude and longitude, reduced evenly to fit the tile limit.
GdalDataset TilesPicture(const ExportRequest& request, const ExportSource& source, TileLayout& t,
                         double& scale) {
    GDALDatasetH pixels = source.pixels.get();
    double extent[4];
    if (!ExtentIn(pixels, "EPSG:4326", extent))
        throw Error(Error::Kind::Refused,
                    "The map " + request.name + " cannot be shifted to WGS 84.");
    // Each axis keeps its own number of pixels (no square-degree pixels).
    const int w = GDALGetRasterXSize(pixels), h = GDALGetRasterYSize(pixels);
    scale = Reduction(w, h, request.maxTiles);
    t.width = std::max(1, int(std::floor(w * scale + 1e-9)));
    t.height = std::max(1, int(std::floor(h * scale + 1e-9)));
    t.across = (t.width + kTileSide - 1) / kTileSide;
    t.down = (t.height + kTileSide - 1) / kTileSide;
    t.west = extent[0], t.north = extent[3];
    t.dx = (extent[2] - extent[0]) / t.width, t.dy = (extent[1] - extent[3]) / t.height;
    std::vector<std::string> arguments{
        "-t_srs",
        "EPSG:4326",
        "-te",
        Number(extent[0], 12),
        Number(extent[1], 12),
        Number(extent[2], 12),
        Number(extent[3], 12),
        "-ts",
        std::to_string(t.width),
        std::to_string(t.height),
        "-r",
        "bilinear",
        "-wo",
        "INIT_DEST=255",
        "-wm",
        std::to_string(std::max<std::uint64_t>(request.memoryLimit / 4, 1 << 24))};
    if (source.alpha) arguments.push_back("-srcalpha");
    std::string why;
    GdalDataset warped = WarpToVrt(pixels, arguments, why);
    if (!warped)
        throw Error(Error::Kind::Refused,
                    "The map " + request.name + " cannot be shifted to WGS 84: " + why + ".");
    return warped;
}

// Writes the archive into the file at `temp`: the KML, then each tile.
std::string WriteTileArchive(const ExportRequest& request, GDALDatasetH warped, const TileLayout& t,
                             const std::string& kml, const std::string& temp, bool& cancelled) {
    ErrorCapture errors;
    void* zip = CPLCreateZip(temp.c_str(), nullptr);
    if (!zip) return errors.Reason("the archive cannot be made");
    const char* stored[] = {"COMPRESSED=NO", nullptr}; // a JPEG is compressed already
    std::string why;
    bool ok = CPLCreateFileInZip(zip, "doc.kml", nullptr) == CE_None &&
              CPLWriteFileInZip(zip, kml.data(), int(kml.size())) == CE_None &&
              CPLCloseFileInZip(zip) == CE_None;
    for (int j = 0; j < t.down && ok; ++j)
        for (int i = 0; i < t.across && ok; ++i) {
            const std::string jpeg = TileJpeg(warped, t.X(i), t.Y(j), t.X(i + 1) - t.X(i),
                                              t.Y(j + 1) - t.Y(j), request.quality, why);
            const std::string name =
                "files/" + std::to_string(j + 1) + "-" + std::to_string(i + 1) + ".jpg";
            ok = !jpeg.empty() &&
                 CPLCreateFileInZip(zip, name.c_str(), const_cast<char**>(stored)) == CE_None &&
                 CPLWriteFileInZip(zip, jpeg.data(), int(jpeg.size())) == CE_None &&
                 CPLCloseFileInZip(zip) == CE_None;
            if (ok && !Going(request, double(j * t.across + i + 1) / (t.across * t.down)))
                ok = false, cancelled = true;
        }
    ok = CPLCloseZip(zip) == CE_None && ok;
    if (ok) return "";
    return cancelled ? "cancelled" : !why.empty() ? why : errors.Reason("the write failed");
}

} // namespace

ExportResult WritePdf(const ExportRequest& request, const std::string& path) {
    const ExportSource source = OpenExportSource(request);
    GDALDatasetH pixels = source.pixels.get();
    const int longer = std::max(GDALGetRasterXSize(pixels), GDALGetRasterYSize(pixels));
    // The most PDF viewers open is a page of 200 inches a side.
    const double dpi = request.dpi > 0 ? request.dpi : std::max(72.0, std::ceil(longer / 200.0));
    const std::string dpiOption = "DPI=" + Number(dpi, 3);
    const std::string title = "TITLE=" + source.title;
    const std::string quality = "JPEG_QUALITY=" + std::to_string(request.quality);
    // In tiles of 1024 pixels: GDAL compresses each image of the page in memory, so one image
    // of the whole picture would take memory as the picture grows.
    const char* options[] = {dpiOption.c_str(),
                             "GEO_ENCODING=ISO32000",
                             title.c_str(),
                             source.allJpeg ? "COMPRESS=JPEG" : "COMPRESS=DEFLATE",
                             quality.c_str(),
                             "TILED=YES",
                             "BLOCKXSIZE=1024",
                             "BLOCKYSIZE=1024",
                             nullptr};
    ReplaceWith(request, path, [&](const std::string& temp, bool& cancelled) -> std::string {
        ErrorCapture errors;
        Watch watch{request};
        GdalDataset out(GDALCreateCopy(GDALGetDriverByName("PDF"), temp.c_str(), pixels, FALSE,
                                       const_cast<char**>(options), Progress, &watch));
        cancelled = watch.cancelled;
        if (!out) return cancelled ? "cancelled" : errors.Reason("GDAL cannot write it");
        CPLErrorReset();
        out.reset();
        return CPLGetLastErrorType() >= CE_Failure ? errors.Reason("the write failed") : "";
    });
    return {{path}};
}

ExportResult WriteGarminKmz(const ExportRequest& request, const std::string& path) {
    if (request.maxTiles < 1)
        throw Error(Error::Kind::Refused, "A KMZ of tiles needs room for one tile at least.");
    const ExportSource source = OpenExportSource(request);
    TileLayout layout;
    double scale = 1;
    const GdalDataset warped = TilesPicture(request, source, layout, scale);
    const std::string kml = TilesKml(source.title, layout);
    ReplaceWith(request, path, [&](const std::string& temp, bool& cancelled) {
        return WriteTileArchive(request, warped.get(), layout, kml, temp, cancelled);
    });
    ExportResult result;
    result.paths = {path};
    result.tiles = layout.across * layout.down;
    result.reduction = scale;
    return result;
}

} // namespace Georef::Detail
