// Import: a georeferenced file warped by GDAL onto the library's latitude/longitude grid.
#include "georef/GdalSupport.h"

#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_alg.h>
#include <gdal_utils.h>
#include <gdalwarper.h>
#include <jpeglib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace Georef {
using namespace Detail;
namespace {

// A definition writes hundredths of a minute: 6000 steps to the degree. Corners on this lattice
// are written exactly.
constexpr double kLattice = 6000;
// libjpeg's largest side.
constexpr int kJpegMaxSide = 65500;
constexpr double kPi = 3.14159265358979323846;
constexpr double kRadian = kPi / 180;

[[noreturn]] void Refuse(const std::string& source, const std::string& why) {
    throw Error(Error::Kind::Refused, source + " cannot be imported: " + why);
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

// Files made along the way, removed unless the import keeps them.
class Leftovers {
public:
    ~Leftovers() {
        for (const auto& path : paths_) {
            std::error_code ec;
            fs::remove(path, ec);
        }
    }
    const std::string& Add(std::string path) { return paths_.emplace_back(std::move(path)); }
    void Keep() { paths_.clear(); }

private:
    std::vector<std::string> paths_;
};

struct Progress {
    const std::function<bool(double)>* report;
    bool cancelled = false;
};

int CPL_STDCALL OnProgress(double done, const char*, void* data) {
    auto* progress = static_cast<Progress*>(data);
    if (*progress->report && !(*progress->report)(std::clamp(done, 0.0, 1.0))) {
        progress->cancelled = true;
        return FALSE;
    }
    return TRUE;
}

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
    Progress* progress = nullptr;
    int width = 0, height = 0, rows = 0, y = 0;
    std::vector<JSAMPLE> strip;
    std::vector<JSAMPROW> lines;
    std::FILE* file = nullptr;
    jpeg_compress_struct info{};
    JpegFailure failure{};
    std::string why; // the write's failure
    bool gdalFailed = false, cancelled = false;
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
        const int n = std::min(job.rows, job.height - job.y);
        if (GDALDatasetRasterIO(job.picture, GF_Read, 0, job.y, job.width, n, job.strip.data(),
                                job.width, n, GDT_Byte, job.bands, nullptr, job.bands,
                                GSpacing(job.width) * job.bands, 1) != CE_None) {
            job.gdalFailed = true;
            return;
        }
        jpeg_write_scanlines(&job.info, job.lines.data(), JDIMENSION(n));
        if (!OnProgress(double(job.y + n) / job.height, nullptr, job.progress)) {
            job.cancelled = true;
            return;
        }
    }
    jpeg_finish_compress(&job.info);
}

void WriteJpeg(JpegJob& job, const std::string& path) {
    job.width = GDALGetRasterXSize(job.picture);
    job.height = GDALGetRasterYSize(job.picture);
    int blockWidth = 0;
    GDALGetBlockSize(GDALGetRasterBand(job.picture, 1), &blockWidth, &job.rows);
    job.rows = std::clamp(job.rows, 16, 256); // a row of the warped picture's blocks at a time
    job.strip.resize(std::size_t(job.width) * std::size_t(job.bands) * std::size_t(job.rows));
    for (int i = 0; i < job.rows; ++i)
        job.lines.push_back(job.strip.data() +
                            std::size_t(i) * std::size_t(job.width) * std::size_t(job.bands));
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
    // The corners in minutes of arc (a hundredth of a minute is a hundred lattice steps), and the
    // size.
    MapCode::Georeference Placed() const {
        return {float(west / 100),
                float(north / 100),
                float(east / 100),
                float(south / 100),
                width,
                height};
    }
};

Grid ChooseGrid(GDALDatasetH dataset, void* transformer, const OGRSpatialReference& target,
                const std::string& source) {
    double suggested[6], extent[4];
    int pixels = 0, lines = 0;
    if (GDALSuggestedWarpOutput2(dataset, GDALGenImgProjTransform, transformer, suggested, &pixels,
                                 &lines, extent, 0) != CE_None)
        Refuse(source, "its corners cannot be converted to latitude and longitude.");

    // The ground size of the source's centre pixel, along each of its sides.
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
    const double metres = std::sqrt(alongX * alongY);
    if (!(ok[0] && ok[1] && ok[2] && ok[3]) || !std::isfinite(metres) || metres <= 0)
        Refuse(source, "its georeference gives its pixels no size on the ground.");

    // Outward to the lattice; a corner already on it stays.
    const double slack = 1e-6;
    Grid grid{std::floor(extent[0] * kLattice + slack),
              std::ceil(extent[3] * kLattice - slack),
              std::ceil(extent[2] * kLattice - slack),
              std::floor(extent[1] * kLattice + slack),
              0,
              0};
    if (!(grid.north <= 90 * kLattice && grid.south >= -90 * kLattice && grid.west < grid.east &&
          grid.south < grid.north && std::fabs(grid.west) <= 540 * kLattice &&
          std::fabs(grid.east) <= 540 * kLattice))
        Refuse(source, "its corners do not fall on the earth.");
    const double width = std::round((grid.east - grid.west) / kLattice * parallel / metres);
    const double height = std::round((grid.north - grid.south) / kLattice * meridian / metres);
    if (width > kJpegMaxSide || height > kJpegMaxSide)
        Refuse(source, "it would become a picture of " + std::to_string(std::llround(width)) +
                           " x " + std::to_string(std::llround(height)) +
                           " pixels; a JPEG holds at most " + std::to_string(kJpegMaxSide) +
                           " a side.");
    grid.width = std::max(1, int(width));
    grid.height = std::max(1, int(height));
    return grid;
}

// The files an import writes: the map's name, and the native paths of its definition and
// picture (the names the folder has where they exist).
struct Target {
    std::string stem, name, definition, picture;
};

Target TargetOf(const ImportRequest& request) {
    std::error_code ec;
    if (!fs::is_directory(request.mapsFolder, ec))
        throw Error(Error::Kind::Failed,
                    "The Maps folder " + request.mapsFolder + " cannot be found.");
    const std::string stem = ImportName(request.source);
    return {stem, stem + ".inf", EntryPath(request.mapsFolder, stem + ".inf"),
            EntryPath(request.mapsFolder, stem + ".jpg")};
}

// Throws Error(Exists) when the map is there and replacing it was not asked for.
void RefuseExisting(const ImportRequest& request, const Target& target) {
    const auto existing = ExistingFiles(request.source, request.mapsFolder);
    if (!existing.empty() && !request.replace)
        throw Error(Error::Kind::Exists, "The map " + target.name + " exists already (" +
                                             existing.front() + "); " + request.source +
                                             " was not imported.");
}

// The source as GDAL reads it: its picture (a palette expanded to colours, read through the file
// as opened), the bands the warp takes, and whether a geotransform or control points place it.
struct Source {
    Dataset original; // closed after `picture`, which may read through it
    Dataset picture;
    bool geotransform = false;
    std::vector<int> colours; // up to three: red, green, blue, or one grey
    int alpha = 0;            // the alpha band, 0 when none
};

// Opens the source, refusing it when it is unreadable, unplaced, or part of the map it would
// replace.
Source Open(const std::string& source, const Target& target, const ErrorCapture& errors) {
    Source s;
    s.picture.reset(GDALOpenEx(source.c_str(), GDAL_OF_RASTER | GDAL_OF_VERBOSE_ERROR, nullptr,
                               nullptr, nullptr));
    if (!s.picture) Refuse(source, errors.Reason("GDAL cannot read it") + ".");
    const std::unique_ptr<char*, decltype(&CSLDestroy)> files(GDALGetFileList(s.picture.get()),
                                                              CSLDestroy);
    std::error_code ec;
    for (char** f = files.get(); f && *f; ++f)
        for (const std::string& path : {target.picture, target.definition})
            if (fs::equivalent(*f, path, ec))
                Refuse(source, "it is part of the map the import would replace (" + path +
                                   "); import it from another folder.");
    double geotransform[6];
    s.geotransform = GDALGetGeoTransform(s.picture.get(), geotransform) == CE_None;
    if (!s.geotransform && GDALGetGCPCount(s.picture.get()) == 0)
        Refuse(source, "GDAL finds no georeference in it (neither a geotransform nor ground "
                       "control points).");
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

using Transformer = std::unique_ptr<void, DestroyTransformer>;

// From the source's pixels to latitude and longitude in the datum.
Transformer ToDatum(const Source& s, const OGRSpatialReference& from,
                    const OGRSpatialReference& datum, const std::string& source,
                    const ErrorCapture& errors) {
    const std::string dst = "DST_SRS=" + WktOf(datum, "WKT2_2018"),
                      src = "SRC_SRS=" + WktOf(from, "WKT2_2018");
    const char* options[] = {dst.c_str(), src.c_str(), nullptr};
    Transformer transformer(
        GDALCreateGenImgProjTransformer2(s.picture.get(), nullptr, const_cast<char**>(options)));
    if (!transformer)
        Refuse(source, errors.Reason("its coordinate system cannot be converted to latitude and "
                                     "longitude") +
                           ".");
    return transformer;
}

// The warped picture on the grid: destination pixels to source pixels, approximated to an
// eighth of a pixel; bilinear; white outside the source. It takes the transformer.
Dataset Warp(const Source& s, Transformer transformer, const Grid& grid,
             const ImportRequest& request, const ErrorCapture& errors) {
    auto gt = grid.Geotransform();
    GDALSetGenImgProjTransformerDstGeoTransform(transformer.get(), gt.data());
    void* approximate =
        GDALCreateApproxTransformer(GDALGenImgProjTransform, transformer.release(), 0.125);
    GDALApproxTransformerOwnsSubtransformer(approximate, TRUE);
    GDALWarpOptions* warp = GDALCreateWarpOptions();
    warp->hSrcDS = s.picture.get();
    warp->eResampleAlg = GRA_Bilinear;
    warp->dfWarpMemoryLimit = double(std::max<std::uint64_t>(request.memoryLimit / 4, 8 << 20));
    warp->nBandCount = int(s.colours.size());
    warp->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int) * s.colours.size()));
    warp->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int) * s.colours.size()));
    for (std::size_t i = 0; i < s.colours.size(); ++i) {
        warp->panSrcBands[i] = s.colours[i];
        warp->panDstBands[i] = int(i) + 1;
    }
    warp->nSrcAlphaBand = s.alpha;
    warp->papszWarpOptions = CSLSetNameValue(warp->papszWarpOptions, "INIT_DEST", "255");
    warp->pfnTransformer = GDALApproxTransform;
    warp->pTransformerArg = approximate;
    Dataset warped(GDALCreateWarpedVRT(s.picture.get(), grid.width, grid.height, gt.data(), warp));
    if (!warped) {
        GDALDestroyApproxTransformer(approximate);
        GDALDestroyWarpOptions(warp);
        Refuse(request.source, errors.Reason("GDAL cannot warp it") + ".");
    }
    GDALDestroyWarpOptions(warp); // the warped picture keeps its own copy and the transformer
    return warped;
}

// Writes the warped picture as the JPEG at `path`. Throws Error: Cancelled, Failed.
void WritePicture(GDALDatasetH warped, int bands, const ImportRequest& request,
                  const std::string& path, const ErrorCapture& errors) {
    Progress progress{&request.progress};
    JpegJob job;
    job.picture = warped;
    job.bands = bands;
    job.progress = &progress;
    WriteJpeg(job, path);
    if (job.cancelled || errors.Interrupted())
        throw Error(Error::Kind::Cancelled, "The import of " + request.source + " was cancelled.");
    if (job.gdalFailed || !job.why.empty())
        throw Error(Error::Kind::Failed,
                    "The picture of " + request.source + " could not be written: " +
                        (job.gdalFailed ? errors.Reason("GDAL gave no reason") : job.why) + ".");
}

// The new definition's bytes: where the import came from and on which datum, then the corners
// and the picture's name.
std::string DefinitionBytes(const MapCode::Georeference& placed, const ImportRequest& request,
                            const Target& target) {
    MapCode::DefinitionComments comments;
    comments[0].push_back("; Imported by Varnet from " + CoreFileName(request.source) +
                          "; corners in latitude and longitude on " + DatumName(request.datum));
    const auto c = MapCode::CornerTexts(placed);
    std::string bytes;
    for (const auto& line :
         MapCode::DefinitionLines(c[0], c[1], c[2], c[3], CoreFileName(target.picture), comments))
        bytes += line + "\r\n";
    return bytes;
}

// The picture and then the definition under their names; the picture goes again when the
// definition cannot follow it.
void MoveIntoPlace(const std::string& jpeg, const std::string& definition, const Target& target) {
    MoveOver(jpeg, target.picture);
    try {
        MoveOver(definition, target.definition);
    } catch (...) {
        std::error_code ec;
        fs::remove(target.picture, ec);
        throw;
    }
}

} // namespace

ImportResult Gdal::Import(const ImportRequest& request) {
    const std::string& source = request.source;
    EnsureGdal();
    ErrorCapture errors;
    const Target target = TargetOf(request);
    RefuseExisting(request, target);
    Source s = Open(source, target, errors);
    const OGRSpatialReference from = SourceSrs(s.picture.get(), s.geotransform, source);
    const OGRSpatialReference datum = DatumSrs(request.datum);
    TakeBands(s, source, errors);
    Transformer transformer = ToDatum(s, from, datum, source, errors);
    const Grid grid = ChooseGrid(s.picture.get(), transformer.get(), datum, source);
    Dataset warped = Warp(s, std::move(transformer), grid, request, errors);

    // GDAL's block cache is its other large user of memory; the rest of the bound is the warp's.
    GDALSetCacheMax64(GIntBig(std::max<std::uint64_t>(request.memoryLimit / 2, 16 << 20)));
    Leftovers leftovers;
    const std::string jpeg = leftovers.Add(FreshTempPath(request.mapsFolder, target.stem + ".jpg"));
    WritePicture(warped.get(), int(s.colours.size()), request, jpeg, errors);
    warped.reset();
    s.picture.reset();
    s.original.reset();

    const MapCode::Georeference placed = grid.Placed();
    const std::string definition =
        leftovers.Add(FreshTempPath(request.mapsFolder, target.stem + ".inf"));
    WriteNew(definition, DefinitionBytes(placed, request, target));
    // Both appear together, under the names as the folder has them.
    RefuseExisting(request, target);
    MoveIntoPlace(jpeg, definition, target);
    leftovers.Keep();
    if (request.progress) request.progress(1.0);
    return {target.name, target.definition, target.picture, request.datum, placed};
}

} // namespace Georef
