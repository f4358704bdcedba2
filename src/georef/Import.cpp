// The import process's work: a georeferenced file warped by GDAL onto the library's
// latitude/longitude grid and written as a JPEG.
#include "georef/Confinement.h"
#include "georef/GdalSupport.h"
#include "georef/ImportPicture.h"

#include "picture/PictureHeader.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <gdal_alg.h>
#include <gdal_utils.h>
#include <gdalwarper.h>
#include <jpeglib.h>
#include <ogr_geometry.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace Georef::Detail {
namespace {

// A definition writes hundredths of a minute: 6000 steps to the degree. Corners on this lattice
// are written exactly.
constexpr double kLattice = 6000;
// libjpeg's largest side.
constexpr int kJpegMaxSide = 65500;
constexpr double kPi = 3.14159265358979323846;
constexpr double kRadian = kPi / 180;
constexpr std::uint64_t kMiB = 1 << 20;

[[noreturn]] void Refuse(const std::string& source, const std::string& why) {
    throw Error(Error::Kind::Refused, source + " cannot be imported: " + why);
}

// Refuses the source when the confinement refused a file it names.
void RefuseWhatWasRefused(const std::string& source) {
    if (const std::string why = Refusal(); !why.empty()) Refuse(source, why + ".");
}

std::string Mib(std::uint64_t bytes) {
    return std::to_string((bytes + kMiB - 1) / kMiB) + " MiB";
}

struct CloseDataset {
    void operator()(void* dataset) const {
        if (dataset) GDALClose(dataset);
    }
};
using Dataset = std::unique_ptr<void, CloseDataset>;

struct DestroyTransformer {
    void operator()(void* transformer) const {
        if (transformer) GDALDestroyGenImgProjTransformer(transformer);
    }
};
using Transformer = std::unique_ptr<void, DestroyTransformer>;

// A baseline JPEG written strip by strip from the warped picture. GDAL's own JPEG writer
// optimises its Huffman tables, for which libjpeg keeps every coefficient of the picture (about
// 3 bytes a pixel: 1.2 GB at 20000 pixels a side), beyond any memory bound; the standard tables
// cost a few per cent in size and nothing in quality.
struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    auto* failure = reinterpret_cast<JpegFailure*>(info->err);
    info->err->format_message(info, failure->message);
    std::longjmp(failure->jump, 1);
}

// Everything the compression touches lives here, not in locals, so a jump back from libjpeg's
// error handler finds it as it was.
struct JpegJob {
    GDALDatasetH picture = nullptr;
    int bands = 3;
    const std::function<void(double)>* progress = nullptr;
    const std::function<bool()>* stop = nullptr;
    int width = 0, height = 0, rows = 0, y = 0;
    std::vector<JSAMPLE> strip;
    std::vector<JSAMPROW> lines;
    std::FILE* file = nullptr;
    jpeg_compress_struct info{};
    JpegFailure failure{};
    std::string why; // the write's failure
    bool gdalFailed = false, stopped = false;
};

void Compress(JpegJob& job) {
    if (setjmp(job.failure.jump)) {
        job.why = job.failure.message;
        return;
    }
    jpeg_stdio_dest(&job.info, job.file);
    job.info.image_width = JDIMENSION(job.width);
    job.info.image_height = JDIMENSION(job.height);
    job.info.input_components = job.bands;
    job.info.in_color_space = job.bands == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&job.info);
    jpeg_set_quality(&job.info, 90, TRUE);
    job.info.optimize_coding = FALSE;
    jpeg_start_compress(&job.info, TRUE);
    for (job.y = 0; job.y < job.height; job.y += job.rows) {
        if (job.stop && *job.stop && (*job.stop)()) {
            job.stopped = true;
            return;
        }
        const int n = std::min(job.rows, job.height - job.y);
        if (GDALDatasetRasterIO(job.picture, GF_Read, 0, job.y, job.width, n, job.strip.data(),
                                job.width, n, GDT_Byte, job.bands, nullptr, job.bands,
                                GSpacing(job.width) * job.bands, 1) != CE_None) {
            job.gdalFailed = true;
            return;
        }
        jpeg_write_scanlines(&job.info, job.lines.data(), JDIMENSION(n));
        if (*job.progress) (*job.progress)(double(job.y + n) / job.height);
    }
    jpeg_finish_compress(&job.info);
}

// Writes the JPEG, a row of the warped picture's blocks at a time (fewer rows for a very wide
// picture, so that the strip takes at most a sixteenth of the bound).
void WriteJpeg(JpegJob& job, const std::string& path, std::uint64_t memoryLimit) {
    job.width = GDALGetRasterXSize(job.picture);
    job.height = GDALGetRasterYSize(job.picture);
    int blockWidth = 0;
    GDALGetBlockSize(GDALGetRasterBand(job.picture, 1), &blockWidth, &job.rows);
    const std::uint64_t row = std::uint64_t(job.width) * std::uint64_t(job.bands);
    job.rows = int(std::clamp<std::uint64_t>(
        std::min<std::uint64_t>(std::uint64_t(std::max(job.rows, 1)), memoryLimit / 16 / row), 16,
        256));
    job.strip.resize(std::size_t(row) * std::size_t(job.rows));
    for (int i = 0; i < job.rows; ++i) job.lines.push_back(job.strip.data() + std::size_t(i) * row);
    job.file = std::fopen(path.c_str(), "wb");
    if (!job.file) {
        job.why = std::strerror(errno);
        return;
    }
    job.info.err = jpeg_std_error(&job.failure.manager);
    job.failure.manager.error_exit = OnJpegError;
    jpeg_create_compress(&job.info);
    Compress(job);
    jpeg_destroy_compress(&job.info);
    if (std::fclose(job.file) != 0 && job.why.empty()) job.why = std::strerror(errno);
}

// The source's coordinate system: the file's own, or the .prj beside it when the file has a
// geotransform and no system (a picture with a world file).
OGRSpatialReference SourceSrs(GDALDatasetH dataset, bool geotransform, const std::string& source) {
    const OGRSpatialReferenceH own =
        geotransform ? GDALGetSpatialRef(dataset) : GDALGetGCPSpatialRef(dataset);
    if (own && !OGRSpatialReference::FromHandle(own)->IsEmpty())
        return *OGRSpatialReference::FromHandle(own);
    const fs::path path(source);
    const std::string folder = path.parent_path().empty() ? "." : path.parent_path().string();
    const auto prj = Platform::FindEntryNoCase(
        folder, Platform::NativeNameToCore(path.stem().string()) + ".prj");
    if (!prj)
        Refuse(source, "its georeference names no coordinate system, and there is no .prj "
                       "beside it.");
    OGRSpatialReference srs;
    std::string why;
    if (!ReadPrj((fs::path(folder) / *prj).string(), srs, why))
        Refuse(source, "its projection file " + *prj + " cannot be read: " + why + ".");
    return srs;
}

// --- What reading the source holds at once ---------------------------------------------------

struct Needs {
    std::uint64_t held = 0; // what a decoder keeps of a whole picture
    std::uint64_t rows = 0; // a row of the source's blocks, every band
    std::string why;        // what holds the most, as people say it
};

// What GDAL's reader of the picture file at `path` keeps of the whole picture, and why: a
// progressive JPEG's coefficients (libjpeg's), a GIF's indices, an interlaced PNG's pixels, a
// run-length coded BMP's indices (GDAL's readers take those whole).
std::uint64_t HeldBy(const char* path, std::string& why) {
    VSILFILE* file = VSIFOpenL(path, "rb");
    if (!file) return 0;
    std::string head(Picture::kHeadBytes, '\0'), tail(Picture::kTailBytes, '\0');
    head.resize(VSIFReadL(head.data(), 1, head.size(), file));
    VSIFSeekL(file, 0, SEEK_END);
    const vsi_l_offset size = VSIFTellL(file);
    VSIFSeekL(file, size > tail.size() ? size - tail.size() : 0, SEEK_SET);
    tail.resize(VSIFReadL(tail.data(), 1, tail.size(), file));
    VSIFCloseL(file);
    const auto h = Picture::InspectHeader(head, tail, size);
    if (!h) return 0;
    const std::uint64_t pixels = std::uint64_t(h->width) * std::uint64_t(h->height);
    if (h->format == Picture::Format::Jpeg && h->held != Picture::Held::Nothing)
        return why = "a progressive JPEG keeps every coefficient", h->heldBytes;
    if (h->format == Picture::Format::Gif) return why = "a GIF is read whole", pixels;
    if (h->format == Picture::Format::Bmp && h->held != Picture::Held::Nothing)
        return why = "a compressed BMP is read whole", h->heldBytes;
    if (h->format == Picture::Format::Png && head.size() > 28 && head[28] == 1) {
        static const int channels[] = {1, 0, 3, 1, 2, 0, 4};
        const int type = static_cast<unsigned char>(head[25]);
        const int bytes = static_cast<unsigned char>(head[24]) > 8 ? 2 : 1;
        return why = "an interlaced PNG is read whole",
               pixels * std::uint64_t(type < 7 ? std::max(channels[type], 1) : 4) * bytes;
    }
    return 0;
}

Needs NeedsOf(GDALDatasetH dataset) {
    Needs needs;
    if (char** files = GDALGetFileList(dataset)) {
        for (char** f = files; *f; ++f) {
            std::string why;
            const std::uint64_t held = HeldBy(*f, why);
            if (held > needs.held) needs.why = why;
            needs.held += held;
        }
        CSLDestroy(files);
    }
    const std::uint64_t width = std::uint64_t(GDALGetRasterXSize(dataset));
    int rowsPerBlock = 1;
    for (int b = 1; b <= GDALGetRasterCount(dataset); ++b) {
        GDALRasterBandH band = GDALGetRasterBand(dataset, b);
        int bw = 1, bh = 1;
        GDALGetBlockSize(band, &bw, &bh);
        bw = std::max(bw, 1), bh = std::max(bh, 1), rowsPerBlock = std::max(rowsPerBlock, bh);
        needs.rows += (width + std::uint64_t(bw) - 1) / std::uint64_t(bw) * std::uint64_t(bw) *
                      std::uint64_t(bh) *
                      std::uint64_t(GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band)));
    }
    if (needs.rows > needs.held)
        needs.why = "it is stored in blocks of " + std::to_string(rowsPerBlock) + " rows";
    return needs;
}

// Refuses a source whose reading would hold more than half the bound at once (the warp and the
// block cache of what is read take the rest), then gives GDAL's block cache what is left of that
// half. Nothing of the picture has been read yet.
void SetMemory(GDALDatasetH dataset, const PictureJob& job) {
    const Needs needs = NeedsOf(dataset);
    const std::uint64_t half = job.memoryLimit / 2;
    if (needs.held + needs.rows > half)
        Refuse(job.source, "reading it would take " + Mib(needs.held + needs.rows) + " at once (" +
                               needs.why + "), more than the " + Mib(half) +
                               " an import may give it within the picture memory bound of " +
                               Mib(job.memoryLimit) + " (VARNET_PICTURE_LIMIT_MB).");
    GDALSetCacheMax64(GIntBig(std::max<std::uint64_t>(half - needs.held, 16 * kMiB)));
    // libjpeg's own bound, for a JPEG the headers' reader does not see (inside a TIFF or PDF).
    CPLSetConfigOption("JPEGMEM", (std::to_string(half / kMiB) + "M").c_str());
}

// --- The source -------------------------------------------------------------------------------

// The source as GDAL reads it: its picture (a palette expanded to colours, read through the file
// as opened), the bands the warp takes, and whether a geotransform or control points place it.
struct Source {
    Dataset original; // closed after `picture`, which may read through it
    Dataset between;  // a calibrated scan's expanded palette, between the two
    Dataset picture;
    bool geotransform = false;
    std::vector<int> colours; // up to three: red, green, blue, or one grey
    int alpha = 0;            // the alpha band, 0 when none
};

// Opens the source, refusing it when it or a file it names cannot be read, it is part of the map
// it would replace, or it is unplaced.
Source Open(const PictureJob& job, const ErrorCapture& errors) {
    const std::string& source = job.source;
    if (const std::string why = SourceRefusal(source); !why.empty()) Refuse(source, why + ".");
    Source s;
    s.picture.reset(GDALOpenEx(source.c_str(), GDAL_OF_RASTER | GDAL_OF_VERBOSE_ERROR, nullptr,
                               nullptr, nullptr));
    RefuseWhatWasRefused(source);
    if (!s.picture) Refuse(source, errors.Reason("GDAL cannot read it") + ".");
    const std::unique_ptr<char*, decltype(&CSLDestroy)> files(GDALGetFileList(s.picture.get()),
                                                              CSLDestroy);
    std::error_code ec;
    for (char** f = files.get(); f && *f; ++f)
        for (const std::string& path : {job.mapPicture, job.mapDefinition})
            if (!path.empty() && fs::equivalent(*f, path, ec))
                Refuse(source, "it is part of the map the import would replace (" + path +
                                   "); import it from another folder.");
    // GDAL looks for overviews once, on first asking; a one-strip TIFF read a line at a time
    // loses its place in the strip when that happens in the middle of its reading.
    for (int b = 1; b <= GDALGetRasterCount(s.picture.get()); ++b)
        GDALGetOverviewCount(GDALGetRasterBand(s.picture.get(), b));
    double geotransform[6];
    s.geotransform = GDALGetGeoTransform(s.picture.get(), geotransform) == CE_None;
    RefuseWhatWasRefused(source); // the world file is read on first asking
    if (!s.geotransform && GDALGetGCPCount(s.picture.get()) == 0)
        Refuse(source, "GDAL finds no georeference in it (neither a geotransform nor ground "
                       "control points).");
    SetMemory(s.picture.get(), job);
    RefuseWhatWasRefused(source);
    return s;
}

// Chooses the bands the warp takes, a palette expanded into colours (and transparency) first so
// the warp blends colours, not indices. Refuses pictures of other than 8-bit colours or greys.
void TakeBands(Source& s, const std::string& source, const ErrorCapture& errors) {
    if (GDALGetRasterCount(s.picture.get()) < 1) Refuse(source, "it holds no picture.");
    if (GDALGetRasterColorTable(GDALGetRasterBand(s.picture.get(), 1))) {
        const char* argv[] = {"-of", "VRT", "-expand", "rgba", nullptr};
        GDALTranslateOptions* options = GDALTranslateOptionsNew(const_cast<char**>(argv), nullptr);
        Dataset expanded(GDALTranslate("", s.picture.get(), options, nullptr));
        GDALTranslateOptionsFree(options);
        if (!expanded) Refuse(source, errors.Reason("its palette cannot be read") + ".");
        s.original = std::move(s.picture);
        s.picture = std::move(expanded);
    }
    for (int b = 1; b <= GDALGetRasterCount(s.picture.get()); ++b) {
        GDALRasterBandH band = GDALGetRasterBand(s.picture.get(), b);
        if (GDALGetRasterColorInterpretation(band) == GCI_AlphaBand) {
            if (!s.alpha) s.alpha = b;
        } else if (s.colours.size() < 3) {
            s.colours.push_back(b);
        }
        if (GDALGetRasterDataType(band) != GDT_Byte)
            Refuse(source, std::string("its pixels are ") +
                               GDALGetDataTypeName(GDALGetRasterDataType(band)) +
                               " values; Varnet imports pictures of 8-bit colours or greys.");
    }
    if (s.colours.size() == 2) s.colours.resize(1); // two colour bands are no colour picture
    if (s.colours.empty()) Refuse(source, "it holds no colour or grey band.");
}

// --- Where it lies ----------------------------------------------------------------------------

// Refuses a source whose own latitudes (a geographic system's) go beyond a pole: its corners,
// or its control points. GDAL gives a raster's positions longitude first, whatever the system.
void RefuseBeyondThePoles(const Source& s, const OGRSpatialReference& from,
                          const std::string& source) {
    if (!from.IsGeographic()) return;
    std::vector<double> latitudes;
    double gt[6];
    if (s.geotransform && GDALGetGeoTransform(s.picture.get(), gt) == CE_None) {
        const double w = GDALGetRasterXSize(s.picture.get());
        const double h = GDALGetRasterYSize(s.picture.get());
        for (const auto& [x, y] : {std::pair{0.0, 0.0}, {w, 0.0}, {0.0, h}, {w, h}})
            latitudes.push_back(gt[3] + x * gt[4] + y * gt[5]);
    } else {
        const GDAL_GCP* points = GDALGetGCPs(s.picture.get());
        for (int i = 0; i < GDALGetGCPCount(s.picture.get()); ++i)
            latitudes.push_back(points[i].dfGCPY);
    }
    for (double latitude : latitudes) {
        if (std::fabs(latitude) <= 90) continue;
        char text[64];
        std::snprintf(text, sizeof text, "%.2f", std::fabs(latitude));
        Refuse(source,
               std::string("its georeference puts part of it at latitude ") + text +
                   (latitude > 0 ? " N, beyond the North Pole" : " S, beyond the South Pole") +
                   "; no place on the earth is there.");
    }
}

// Refuses a source whose outline, carried to latitude and longitude, goes around a pole or across
// the 180th meridian: a definition's two corners hold neither, and a box around either would span
// the earth. The outline is followed in small steps; a step of more than half a turn of longitude
// crosses the meridian, and steps summing to a whole turn go around a pole.
void RefuseAcrossTheEarth(GDALDatasetH dataset, void* transformer, const std::string& source) {
    constexpr int kSteps = 64; // a side
    const double w = GDALGetRasterXSize(dataset), h = GDALGetRasterYSize(dataset);
    std::vector<double> x, y, z;
    for (int i = 0; i < 4 * kSteps; ++i) {
        const double t = double(i % kSteps) / kSteps;
        const int side = i / kSteps; // top, right, bottom, left, going round
        x.push_back(side == 0 ? t * w : side == 1 ? w : side == 2 ? (1 - t) * w : 0);
        y.push_back(side == 0 ? 0 : side == 1 ? t * h : side == 2 ? h : (1 - t) * h);
    }
    z.assign(x.size(), 0);
    std::vector<int> ok(x.size());
    GDALGenImgProjTransform(transformer, FALSE, int(x.size()), x.data(), y.data(), z.data(),
                            ok.data());
    double turn = 0, northmost = -90;
    bool across = false;
    std::size_t last = x.size();
    for (std::size_t k = 0; k <= x.size(); ++k) {
        const std::size_t i = k % x.size();
        if (!ok[i]) continue;
        northmost = std::max(northmost, y[i]);
        if (last != x.size()) {
            const double step = x[i] - x[last];
            across = across || std::fabs(step) > 180;
            turn += step - 360 * std::round(step / 360);
        }
        last = i;
    }
    if (std::fabs(turn) > 180)
        Refuse(source, std::string("it reaches around the ") + (northmost > 0 ? "North" : "South") +
                           " Pole; a definition's two corners cannot hold a map around a pole.");
    if (across)
        Refuse(source, "it reaches across the 180th meridian; a definition's two corners cannot "
                       "hold a map that does.");
}

// The output grid: corners on the lattice (in lattice steps), size in pixels.
struct Grid {
    double west, north, east, south;
    int width, height;
    std::array<double, 6> Geotransform() const {
        return {west / kLattice,
                (east - west) / kLattice / width,
                0,
                north / kLattice,
                0,
                -(north - south) / kLattice / height};
    }
    ImportProtocol::Grid Lattice() const {
        return {std::llround(west),
                std::llround(north),
                std::llround(east),
                std::llround(south),
                width,
                height};
    }
};

// The ground size (metres) of the source's centre pixel along each of its sides, and the metres
// a degree of latitude and of longitude spans there.
struct Scale {
    double alongX, alongY, meridian, parallel;
};

Scale CentreScale(GDALDatasetH dataset, void* transformer, const OGRSpatialReference& target,
                  const std::string& source) {
    const double cx = GDALGetRasterXSize(dataset) / 2.0, cy = GDALGetRasterYSize(dataset) / 2.0;
    double x[] = {cx - 0.5, cx + 0.5, cx, cx}, y[] = {cy, cy, cy - 0.5, cy + 0.5}, z[4] = {};
    int ok[4] = {};
    GDALGenImgProjTransform(transformer, FALSE, 4, x, y, z, ok);
    const double a = target.GetSemiMajor(), inverseFlattening = target.GetInvFlattening();
    const double f = inverseFlattening > 0 ? 1 / inverseFlattening : 0, e2 = f * (2 - f);
    const double phi = (y[0] + y[1] + y[2] + y[3]) / 4 * kRadian;
    const double w = 1 - e2 * std::sin(phi) * std::sin(phi);
    const double meridian = a * (1 - e2) / std::pow(w, 1.5) * kRadian;  // metres a degree north
    const double parallel = a / std::sqrt(w) * std::cos(phi) * kRadian; // metres a degree east
    const double alongX = std::hypot((x[1] - x[0]) * parallel, (y[1] - y[0]) * meridian);
    const double alongY = std::hypot((x[3] - x[2]) * parallel, (y[3] - y[2]) * meridian);
    const bool sized = std::isfinite(alongX) && std::isfinite(alongY) && alongX > 0 && alongY > 0;
    if (!(ok[0] && ok[1] && ok[2] && ok[3]) || !sized)
        Refuse(source, "its georeference gives its pixels no size on the ground.");
    return {alongX, alongY, meridian, parallel};
}

Grid ChooseGrid(GDALDatasetH dataset, void* transformer, const OGRSpatialReference& target,
                const std::string& source) {
    RefuseAcrossTheEarth(dataset, transformer, source);
    double suggested[6], extent[4];
    int pixels = 0, lines = 0;
    if (GDALSuggestedWarpOutput2(dataset, GDALGenImgProjTransform, transformer, suggested, &pixels,
                                 &lines, extent, 0) != CE_None)
        Refuse(source, "its corners cannot be converted to latitude and longitude.");
    const Scale scale = CentreScale(dataset, transformer, target, source);

    // Outward to the lattice; a corner already on it stays.
    const double slack = 1e-6;
    Grid grid{std::floor(extent[0] * kLattice + slack),
              std::ceil(extent[3] * kLattice - slack),
              std::ceil(extent[2] * kLattice - slack),
              std::floor(extent[1] * kLattice + slack),
              0,
              0};
    if (!(grid.north <= 90 * kLattice && grid.south >= -90 * kLattice && grid.west < grid.east &&
          grid.south < grid.north && grid.west >= -180 * kLattice && grid.east <= 180 * kLattice))
        Refuse(source, "its corners do not fall on the earth.");
    // Each axis keeps its own pixel size: a picture in latitude and longitude keeps its degrees a
    // pixel, any other its centre pixel's ground size along each side (a turned source adds
    // pixels only by its wider bounding box).
    const double width =
        std::round((grid.east - grid.west) / kLattice * scale.parallel / scale.alongX);
    const double height =
        std::round((grid.north - grid.south) / kLattice * scale.meridian / scale.alongY);
    if (width > kJpegMaxSide || height > kJpegMaxSide)
        Refuse(source, "it would become a picture of " + std::to_string(std::llround(width)) +
                           " x " + std::to_string(std::llround(height)) +
                           " pixels; a JPEG holds at most " + std::to_string(kJpegMaxSide) +
                           " a side.");
    grid.width = std::max(1, int(width));
    grid.height = std::max(1, int(height));
    return grid;
}

// From the source's pixels to latitude and longitude in the datum.
Transformer ToDatum(const Source& s, const OGRSpatialReference& from,
                    const OGRSpatialReference& datum, const std::string& source,
                    const ErrorCapture& errors) {
    const std::string dst = "DST_SRS=" + WktOf(datum, "WKT2_2018"),
                      src = "SRC_SRS=" + WktOf(from, "WKT2_2018");
    const char* options[] = {dst.c_str(), src.c_str(), nullptr};
    Transformer transformer(
        GDALCreateGenImgProjTransformer2(s.picture.get(), nullptr, const_cast<char**>(options)));
    RefuseWhatWasRefused(source);
    if (!transformer)
        Refuse(source, errors.Reason("its coordinate system cannot be converted to latitude and "
                                     "longitude") +
                           ".");
    return transformer;
}

// The warped picture on the grid: destination pixels to source pixels, approximated to an
// eighth of a pixel; bilinear; white outside the source; a quarter of the bound for the warp's
// buffers. It takes the transformer.
Dataset Warp(const Source& s, Transformer transformer, const Grid& grid, const PictureJob& job,
             const ErrorCapture& errors) {
    auto gt = grid.Geotransform();
    GDALSetGenImgProjTransformerDstGeoTransform(transformer.get(), gt.data());
    void* approximate =
        GDALCreateApproxTransformer(GDALGenImgProjTransform, transformer.release(), 0.125);
    GDALApproxTransformerOwnsSubtransformer(approximate, TRUE);
    GDALWarpOptions* warp = GDALCreateWarpOptions();
    warp->hSrcDS = s.picture.get();
    warp->eResampleAlg = GRA_Bilinear;
    warp->dfWarpMemoryLimit = double(std::max<std::uint64_t>(job.memoryLimit / 4, 8 * kMiB));
    warp->nBandCount = int(s.colours.size());
    warp->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int) * s.colours.size()));
    warp->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int) * s.colours.size()));
    for (std::size_t i = 0; i < s.colours.size(); ++i) {
        warp->panSrcBands[i] = s.colours[i];
        warp->panDstBands[i] = int(i) + 1;
    }
    warp->nSrcAlphaBand = s.alpha;
    if (!job.cutline.empty()) {
        OGRLinearRing ring;
        for (const auto& corner : job.cutline) ring.addPoint(corner[0], corner[1]);
        ring.closeRings();
        auto* polygon = new OGRPolygon;
        polygon->addRing(&ring);
        warp->hCutline = OGRGeometry::ToHandle(polygon); // the options own it
    }
    warp->papszWarpOptions = CSLSetNameValue(warp->papszWarpOptions, "INIT_DEST", "255");
    warp->pfnTransformer = GDALApproxTransform;
    warp->pTransformerArg = approximate;
    Dataset warped(GDALCreateWarpedVRT(s.picture.get(), grid.width, grid.height, gt.data(), warp));
    if (!warped) {
        GDALDestroyApproxTransformer(approximate);
        GDALDestroyWarpOptions(warp);
        Refuse(job.source, errors.Reason("GDAL cannot warp it") + ".");
    }
    GDALDestroyWarpOptions(warp); // the warped picture keeps its own copy and the transformer
    return warped;
}

// Writes the warped picture as the JPEG. Throws Error: Refused (a file the source names was
// refused while it was read), Failed.
void WritePicture(GDALDatasetH warped, int bands, const PictureJob& job,
                  const ErrorCapture& errors) {
    JpegJob jpeg;
    jpeg.picture = warped;
    jpeg.bands = bands;
    jpeg.progress = &job.progress;
    jpeg.stop = &job.stop;
    WriteJpeg(jpeg, job.picture, job.memoryLimit);
    RefuseWhatWasRefused(job.source);
    if (jpeg.stopped)
        throw Error(Error::Kind::Cancelled, "The picture of " + job.source + " was cancelled.");
    if (jpeg.gdalFailed || !jpeg.why.empty())
        throw Error(Error::Kind::Failed,
                    "The picture of " + job.source + " could not be written: " +
                        (jpeg.gdalFailed ? errors.Reason("GDAL gave no reason") : jpeg.why) + ".");
}

// Everything up to the warped picture, which reads through `s`.
struct Warped {
    Source s;
    Grid grid;
    Dataset picture;
};

Warped Prepare(const PictureJob& job, const ErrorCapture& errors) {
    Warped w{Open(job, errors), {}, {}};
    const OGRSpatialReference from = SourceSrs(w.s.picture.get(), w.s.geotransform, job.source);
    RefuseBeyondThePoles(w.s, from, job.source);
    const OGRSpatialReference datum = DatumSrs(job.datum);
    TakeBands(w.s, job.source, errors);
    Transformer transformer = ToDatum(w.s, from, datum, job.source, errors);
    w.grid = ChooseGrid(w.s.picture.get(), transformer.get(), datum, job.source);
    w.picture = Warp(w.s, std::move(transformer), w.grid, job, errors);
    return w;
}

// --- A calibrated scan ---------------------------------------------------------------------

// Opens the scan within the bound, then takes its bands onto an in-memory VRT that carries the
// calibration's placing, so that nothing is written beside the scan.
Source OpenScan(const PictureJob& job, const ScanTransform& transform, const FitRequest& fit,
                const ErrorCapture& errors) {
    if (const std::string why = SourceRefusal(job.source); !why.empty())
        Refuse(job.source, why + ".");
    Source s;
    s.picture.reset(GDALOpenEx(job.source.c_str(), GDAL_OF_RASTER | GDAL_OF_VERBOSE_ERROR, nullptr,
                               nullptr, nullptr));
    if (!s.picture) Refuse(job.source, errors.Reason("GDAL cannot read it") + ".");
    SetMemory(s.picture.get(), job);
    TakeBands(s, job.source, errors);
    const char* argv[] = {"-of", "VRT", nullptr};
    GDALTranslateOptions* options = GDALTranslateOptionsNew(const_cast<char**>(argv), nullptr);
    Dataset placed(GDALTranslate("", s.picture.get(), options, nullptr));
    GDALTranslateOptionsFree(options);
    if (!placed) Refuse(job.source, errors.Reason("GDAL cannot read it") + ".");
    (s.original ? s.between : s.original) = std::move(s.picture);
    s.picture = std::move(placed);
    OGRSpatialReference srs = FitSrs(fit);
    if (transform.IsGeotransform()) {
        std::array<double, 6> gt = transform.Geotransform();
        GDALSetGeoTransform(s.picture.get(), gt.data());
        GDALSetSpatialRef(s.picture.get(), OGRSpatialReference::ToHandle(&srs));
    } else {
        std::vector<GDAL_GCP> gcps(fit.points.size());
        static char empty[] = "";
        for (std::size_t i = 0; i < gcps.size(); ++i) {
            const ControlPoint& p = fit.points[i];
            gcps[i] = {empty, empty, p.x, p.y, p.east, p.north, 0};
        }
        GDALSetGCPs2(s.picture.get(), int(gcps.size()), gcps.data(),
                     OGRSpatialReference::ToHandle(&srs));
    }
    s.geotransform = transform.IsGeotransform();
    return s;
}

// From the scan's pixels to latitude and longitude in the datum, by the calibration's method.
Transformer ScanToDatum(const Source& s, const FitRequest& fit, const PictureJob& job,
                        const ErrorCapture& errors) {
    const std::string dst = "DST_SRS=" + WktOf(DatumSrs(job.datum), "WKT2_2018");
    const char* method = fit.transform == Transform::Tps ? "SRC_METHOD=GCP_TPS"
                         : s.geotransform                ? "SRC_METHOD=GEOTRANSFORM"
                                                         : "SRC_METHOD=GCP_POLYNOMIAL";
    // The spline takes no order (GDAL refuses a spline given one).
    const char* order = fit.transform == Transform::Poly2    ? "MAX_GCP_ORDER=2"
                        : fit.transform == Transform::Affine ? "MAX_GCP_ORDER=1"
                                                             : nullptr;
    const char* options[] = {dst.c_str(), method, order, nullptr};
    Transformer transformer(
        GDALCreateGenImgProjTransformer2(s.picture.get(), nullptr, const_cast<char**>(options)));
    if (!transformer)
        Refuse(job.source, errors.Reason("its calibration cannot be converted to latitude and "
                                         "longitude") +
                               ".");
    return transformer;
}

} // namespace

ImportProtocol::Grid ImportPicture(const PictureJob& job) {
    ErrorCapture errors;
    Warped w = Prepare(job, errors);
    WritePicture(w.picture.get(), int(w.s.colours.size()), job, errors);
    return w.grid.Lattice();
}

void ReadSample(const PictureJob& job, int rows) {
    ErrorCapture errors;
    Warped w = Prepare(job, errors);
    const int width = std::min(w.grid.width, 64), height = std::min(w.grid.height, rows);
    const int bands = int(w.s.colours.size());
    std::vector<unsigned char> pixels(std::size_t(width) * std::size_t(height) *
                                      std::size_t(bands));
    if (GDALDatasetRasterIO(w.picture.get(), GF_Read, 0, 0, width, height, pixels.data(), width,
                            height, GDT_Byte, bands, nullptr, bands, GSpacing(width) * bands,
                            1) != CE_None)
        RefuseWhatWasRefused(job.source);
}

ImportProtocol::Grid WarpScan(const PictureJob& job, const ScanTransform& transform,
                              const FitRequest& fit) {
    ErrorCapture errors;
    try {
        Warped w{OpenScan(job, transform, fit, errors), {}, {}};
        Transformer transformer = ScanToDatum(w.s, fit, job, errors);
        const OGRSpatialReference datum = DatumSrs(job.datum);
        w.grid = ChooseGrid(w.s.picture.get(), transformer.get(), datum, job.source);
        w.picture = Warp(w.s, std::move(transformer), w.grid, job, errors);
        WritePicture(w.picture.get(), int(w.s.colours.size()), job, errors);
        return w.grid.Lattice();
    } catch (const Error& e) {
        // The import's words, as a calibration says them.
        std::string message = e.what();
        const std::string imported = " cannot be imported: ";
        if (const auto at = message.find(imported); at != std::string::npos)
            message.replace(at, imported.size(), " cannot be calibrated: ");
        throw Error(e.kind(), message);
    }
}

} // namespace Georef::Detail
