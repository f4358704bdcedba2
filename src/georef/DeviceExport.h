#pragma once
// The device formats' parts inside the GDAL module: the export's pixels as one GDAL dataset (a
// map's picture, or the mosaic of an area's maps), GDAL's tools run on it, and the writers of
// each format. Private to src/georef/.

#include "georef/GdalSupport.h"

#include <gdal.h>

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

// The pixels an export writes, in latitude and longitude of the request's datum.
struct ExportSource {
    std::shared_ptr<void> keep; // what the pixels read (an area's maps' VRTs), kept till after
    GdalDataset pixels;         // 3 colour bands (RGB), then an alpha band when `alpha`
    bool alpha = false;         // the fourth band is coverage (an area's mosaic)
    bool allJpeg = false;       // every picture behind it is a JPEG
    std::string title;          // the map's name as people read it (UTF-8)
};

// Opens the request's map, or builds the mosaic of its area's maps (a VRT, finest last, clipped
// to the area, at the resolution asked). Throws Error(Refused) naming the map and GDAL's reason.
ExportSource OpenExportSource(const ExportRequest& request);

// Runs GDAL's gdal_translate or gdalwarp (with these arguments) to an in-memory VRT of `from`.
// Null with GDAL's reason in `why` when it fails.
GdalDataset TranslateToVrt(GDALDatasetH from, std::vector<std::string> arguments, std::string& why);
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
