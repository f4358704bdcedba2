#pragma once
// The import process's work: a source read through GDAL, confined to its folder (Confinement.h),
// warped onto the library's lattice and written as a JPEG. Private to src/georef/, built with
// GDAL into varnet-importer and the fuzz target.

#include "georef/ImportProcess.h"
#include "georef/ScanFit.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Georef::Detail {

struct PictureJob {
    std::string source;  // native path of the georeferenced file
    std::string picture; // native path of the JPEG to write
    // Native paths of the map's own files: a source that is part of it is refused.
    std::string mapPicture, mapDefinition;
    Datum datum = Datum::OSGB36;
    // Bytes the reading, the warp and GDAL's block cache may take together.
    std::uint64_t memoryLimit = std::uint64_t(256) << 20;
    std::function<void(double done)> progress; // may be empty
    // A polygon on the source (pixels): outside it the picture is white. Empty for none.
    std::vector<std::array<double, 2>> cutline = {};
    // Asked between strips of the JPEG: true stops the write (Error(Cancelled)). May be empty.
    std::function<bool()> stop = {};
};

// Reads the source's georeference (a geotransform or ground control points, with the file's
// coordinate system; the .prj beside it when GDAL finds no system in it), chooses the grid, warps
// the picture (bilinear, white outside the source) and writes the JPEG (quality 90). Before any
// pixel is read, a source is refused whose reading would hold more than half the memory bound at
// once (what its decoder keeps of the whole picture, a row of its blocks), or which reaches beyond
// a pole, around one or across the 180th meridian. Call Confine first. Throws Error: Refused
// (with the reason, naming the source), Failed (the JPEG could not be written).
ImportProtocol::Grid ImportPicture(const PictureJob& job);

// The same up to the warp, then the warped picture's first rows, at most `rows` of them (at most
// 64 pixels wide) and no JPEG: the import's reading as the fuzz target tries it. Throws as above.
void ReadSample(const PictureJob& job, int rows);

// A calibration's warp: the scan at job.source (any picture GDAL reads) placed by `transform`
// in the fit's system of `fit`, then chosen a grid, warped and written as ImportPicture does,
// within the same bound. The scan is read as it is: nothing is written beside it. Throws Error:
// Refused (the scan cannot be read, is too large, or its placing does not convert), Failed,
// Cancelled (job.stop).
ImportProtocol::Grid WarpScan(const PictureJob& job, const ScanTransform& transform,
                              const FitRequest& fit);

} // namespace Georef::Detail
