#pragma once
// The device formats' parts inside the GDAL module: the export's pixels as one GDAL dataset (a
// map's picture, or the mosaic of an area's maps), GDAL's tools run on it, and the writers of
// each format. Private to src/georef/.

#include "georef/GdalSupport.h"

#include <gdal.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Georef::Detail {

struct CloseGdal {
    void operator()(void* dataset) const {
        if (dataset) GDALClose(dataset);
    }
};
using GdalDataset = std::unique_ptr<void, CloseGdal>;

// One picture of an export, placed by its definition in latitude and longitude of the request's
// datum (an area's clipped to the area): what the warps read, each once.
struct Layer {
    GDALDatasetH placed = nullptr; // 3 colour bands, then an alpha band when `alpha`
    bool alpha = false;
};

// The pixels an export writes, in latitude and longitude of the request's datum.
struct ExportSource {
    std::shared_ptr<void> keep; // what the pixels read (the pictures, their VRTs), kept till after
    // The whole at its resolution: the map's picture, or an area's mosaic on the area's grid (a
    // PDF's pixels, and the extent and resolution of every export).
    GdalDataset pixels;        // 3 colour bands (RGB), then an alpha band when `alpha`
    bool alpha = false;        // the fourth band is coverage
    std::vector<Layer> layers; // coarsest first: the later drawn over the earlier
    bool allJpeg = false;      // every picture behind it is a JPEG
    std::string title;         // the map's name as people read it (UTF-8)
};

// A target grid: its coordinate system ("EPSG:3857"), its edges there and its pixels.
struct TargetGrid {
    const char* srs;
    double west, south, east, north;
    int width, height;
};

// The layers warped onto one grid and drawn coarsest first: each layer resampled once, bilinear,
// straight from its picture, a warp taking at most `memory` bytes at a time.
class Composite {
public:
    // Not Ok, with GDAL's reason in `why`, when a warp cannot be made.
    Composite(const ExportSource& source, const TargetGrid& grid, std::uint64_t memory,
              std::string& why);
    bool Ok() const { return ok_; }
    // The pixels of the window as 4 planes (red, green, blue, coverage) of w * h bytes; with
    // `white`, a JPEG's: the colours laid over white where the coverage is partial or none.
    // False with GDAL's reason in `why`.
    bool Read(int x, int y, int w, int h, bool white, std::vector<unsigned char>& rgba,
              std::string& why);

private:
    struct Part {
        GdalDataset warped; // RGBA on the grid
        int x0, y0, x1, y1; // the pixels the layer can reach
    };
    std::vector<Part> parts_;
    std::vector<unsigned char> layer_;
    bool ok_ = false;
};

// Opens the request's map, or builds the mosaic of its area's maps (a VRT, finest last, clipped
// to the area, at the resolution asked) and their layers. Throws Error(Refused) naming the map and
// GDAL's reason.
ExportSource OpenExportSource(const ExportRequest& request);

// Runs GDAL's gdalwarp (with these arguments) to an in-memory VRT of `from`. Null with GDAL's
// reason in `why` when it fails.
GdalDataset WarpToVrt(GDALDatasetH from, std::vector<std::string> arguments, std::string& why);

// The box (min x, min y, max x, max y) the dataset's edges reach in `srs` ("EPSG:4326"), and the
// size of a pixel there that keeps the pixel count along the diagonal (`pixel`, when given).
// False when PROJ cannot take it there.
bool ExtentIn(GDALDatasetH dataset, const char* srs, double extent[4], double* pixel = nullptr);

// The share of the export done, passed to the request's progress; false when it cancels.
bool Going(const ExportRequest& request, double done);

// Cancelled or failed: throws the Error the request's writer reports, removing nothing (the
// replace removes its temporary file).
[[noreturn]] void Fail(const ExportRequest& request, const std::string& path,
                       const std::string& why, bool cancelled);

// Writes the file at `path` through the platform's replace: `write` fills the temporary file
// (native path) and returns "" or why it failed, `cancelled` set when the progress stopped it.
// Throws Error (Cancelled, Failed with the system's reason: a full disc says "Disk full").
void ReplaceWith(const ExportRequest& request, const std::string& path,
                 const std::function<std::string(const std::string& temp, bool& cancelled)>& write);

// The device formats' writers; each returns what it wrote and throws Error.
ExportResult WriteTiles(const ExportRequest& request, const std::string& path);
ExportResult WritePdf(const ExportRequest& request, const std::string& path);
ExportResult WriteGarminKmz(const ExportRequest& request, const std::string& path);

} // namespace Georef::Detail
