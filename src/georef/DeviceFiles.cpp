// A georeferenced PDF of a map, and a KMZ of small JPEG tiles for handheld GPS units.
#include "georef/DeviceExport.h"
#include "georef/TextExports.h"

#include "platform/Text.h"

#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal_alg.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h> // after <cstdio>: it uses FILE

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

// A baseline JPEG encoded in memory row after row, so that a row of tiles is made from strips of
// the picture read once from top to bottom (a JPEG picture read again from above is decoded
// again from its start).
class TileEncoder {
public:
    TileEncoder(int width, int height, int quality) {
        info_.err = jpeg_std_error(&error_.mgr);
        error_.mgr.error_exit = [](j_common_ptr c) {
            std::longjmp(reinterpret_cast<Failure*>(c->err)->jump, 1);
        };
        jpeg_create_compress(&info_);
        if (setjmp(error_.jump)) {
            ok_ = false;
            return;
        }
        jpeg_mem_dest(&info_, &bytes_, &size_);
        info_.image_width = JDIMENSION(width);
        info_.image_height = JDIMENSION(height);
        info_.input_components = 3;
        info_.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info_);
        jpeg_set_quality(&info_, quality, TRUE);
        jpeg_start_compress(&info_, TRUE);
    }
    TileEncoder(const TileEncoder&) = delete;
    TileEncoder& operator=(const TileEncoder&) = delete;
    ~TileEncoder() {
        jpeg_destroy_compress(&info_);
        std::free(bytes_);
    }
    // The next rows, red, green and blue interleaved.
    bool Rows(unsigned char* rgb, int rows) {
        if (!ok_ || setjmp(error_.jump)) return ok_ = false;
        const std::size_t stride = std::size_t(info_.image_width) * 3;
        for (int r = 0; r < rows; ++r) {
            JSAMPROW row = rgb + r * stride;
            jpeg_write_scanlines(&info_, &row, 1);
        }
        return true;
    }
    // The file's bytes; "" when encoding failed.
    std::string Finish() {
        if (!ok_ || setjmp(error_.jump)) return "";
        jpeg_finish_compress(&info_);
        return std::string(reinterpret_cast<char*>(bytes_), size_);
    }

private:
    struct Failure {
        jpeg_error_mgr mgr;
        std::jmp_buf jump;
    };
    jpeg_compress_struct info_{};
    Failure error_{};
    unsigned char* bytes_ = nullptr;
    unsigned long size_ = 0;
    bool ok_ = true;
};

// Encodes the tiles of row `j`, reading the picture in strips as tall as a share of the memory
// allows; "" with `why`, or cancelled, when it stops.
std::vector<std::string> TileRow(const ExportRequest& request, Composite& picture,
                                 const TileLayout& t, int j, std::string& why, bool& cancelled) {
    std::vector<std::unique_ptr<TileEncoder>> tiles;
    for (int i = 0; i < t.across; ++i)
        tiles.push_back(std::make_unique<TileEncoder>(t.X(i + 1) - t.X(i), t.Y(j + 1) - t.Y(j),
                                                      request.quality));
    const int strip = int(std::clamp<std::uint64_t>(
        request.memoryLimit / 16 / (std::uint64_t(t.width) * 7), 8, kTileSide));
    std::vector<unsigned char> rgba, rgb;
    for (int y = t.Y(j); y < t.Y(j + 1); y += strip) {
        const int h = std::min(strip, t.Y(j + 1) - y);
        const std::size_t n = std::size_t(t.width) * std::size_t(h);
        if (!picture.Read(0, y, t.width, h, true, rgba, why)) return {};
        for (int i = 0; i < t.across; ++i) {
            const int x0 = t.X(i), w = t.X(i + 1) - x0;
            rgb.resize(std::size_t(w) * std::size_t(h) * 3);
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c)
                        rgb[(std::size_t(r) * w + x) * 3 + c] =
                            rgba[c * n + std::size_t(r) * t.width + std::size_t(x0 + x)];
            if (!tiles[i]->Rows(rgb.data(), h)) {
                why = "a tile cannot be encoded";
                return {};
            }
        }
        const double done = double(y + h) / t.height;
        if (!Going(request, done)) return cancelled = true, std::vector<std::string>{};
    }
    std::vector<std::string> out;
    for (auto& tile : tiles) out.push_back(tile->Finish());
    return out;
}

// The picture in WGS 84 latitude and longitude, reduced evenly to fit the tile limit.
std::unique_ptr<Composite> TilesPicture(const ExportRequest& request, const ExportSource& source,
                                        TileLayout& t, double& scale) {
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
    std::string why;
    auto picture = std::make_unique<Composite>(
        source,
        TargetGrid{"EPSG:4326", extent[0], extent[1], extent[2], extent[3], t.width, t.height},
        request.memoryLimit / 8, why);
    if (!picture->Ok())
        throw Error(Error::Kind::Refused,
                    "The map " + request.name + " cannot be shifted to WGS 84: " + why + ".");
    return picture;
}

// Writes the archive into the file at `temp`: the KML, then each tile.
std::string WriteTileArchive(const ExportRequest& request, Composite& picture, const TileLayout& t,
                             const std::string& kml, const std::string& temp, bool& cancelled) {
    ErrorCapture errors;
    void* zip = CPLCreateZip(temp.c_str(), nullptr);
    if (!zip) return errors.Reason("the archive cannot be made");
    const char* stored[] = {"COMPRESSED=NO", nullptr}; // a JPEG is compressed already
    std::string why;
    bool ok = CPLCreateFileInZip(zip, "doc.kml", nullptr) == CE_None &&
              CPLWriteFileInZip(zip, kml.data(), int(kml.size())) == CE_None &&
              CPLCloseFileInZip(zip) == CE_None;
    for (int j = 0; j < t.down && ok; ++j) {
        const std::vector<std::string> row = TileRow(request, picture, t, j, why, cancelled);
        ok = !row.empty();
        for (int i = 0; i < t.across && ok; ++i) {
            const std::string name =
                "files/" + std::to_string(j + 1) + "-" + std::to_string(i + 1) + ".jpg";
            ok = !row[i].empty() &&
                 CPLCreateFileInZip(zip, name.c_str(), const_cast<char**>(stored)) == CE_None &&
                 CPLWriteFileInZip(zip, row[i].data(), int(row[i].size())) == CE_None &&
                 CPLCloseFileInZip(zip) == CE_None;
        }
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
    // In tiles: GDAL compresses each image of the page in memory, so one image of the whole
    // picture would take memory as the picture grows. The writer reads a row of tiles at a time;
    // the picture's rows it spans stay in GDAL's cache (a JPEG read again from above is decoded
    // again from its start), so a row of tiles spans at most half the cache.
    const double row = double(GDALGetRasterXSize(pixels)) * GDALGetRasterCount(pixels);
    int rows = 1024;
    while (rows > 32 && rows * row > double(GDALGetCacheMax64()) / 2) rows /= 2;
    const std::string height = "BLOCKYSIZE=" + std::to_string(rows);
    const char* options[] = {dpiOption.c_str(),
                             "GEO_ENCODING=ISO32000",
                             title.c_str(),
                             source.allJpeg ? "COMPRESS=JPEG" : "COMPRESS=DEFLATE",
                             quality.c_str(),
                             "TILED=YES",
                             "BLOCKXSIZE=1024",
                             height.c_str(),
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
    const auto picture = TilesPicture(request, source, layout, scale);
    const std::string kml = TilesKml(source.title, layout);
    ReplaceWith(request, path, [&](const std::string& temp, bool& cancelled) {
        return WriteTileArchive(request, *picture, layout, kml, temp, cancelled);
    });
    ExportResult result;
    result.paths = {path};
    result.tiles = layout.across * layout.down;
    result.reduction = scale;
    return result;
}

} // namespace Georef::Detail
