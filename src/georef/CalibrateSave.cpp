// A calibrated scan saved as a map of the library: its definition, the scan warped as a JPEG
// (or the scan itself, when a definition's two corners place it as the fit does), and an
// OziExplorer .map of the scan, all appearing together or not at all.
#include "georef/Confinement.h"
#include "georef/GdalSupport.h"
#include "georef/ImportPicture.h"
#include "georef/ScanFit.h"
#include "georef/TextExports.h"

#include "mapdef/MapCode.h"
#include "platform/Text.h"

#include <cpl_conv.h>
#include <gdal_utils.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace Georef {
using namespace Detail;
namespace {

// A definition writes hundredths of a minute: 6000 steps to the degree.
constexpr double kLattice = 6000;

struct Target {
    std::string stem, name, definition, picture, mapFile;
};

Target TargetOf(const CalibrationRequest& request) {
    std::error_code ec;
    if (!fs::is_directory(request.mapsFolder, ec))
        throw Error(Error::Kind::Failed,
                    "The Maps folder " + request.mapsFolder + " cannot be found.");
    const std::string stem = NameStem(CalibrationName(request));
    if (stem.empty()) throw Error(Error::Kind::Refused, "A map needs a name.");
    return {stem, stem + ".inf", EntryPath(request.mapsFolder, stem + ".inf"),
            EntryPath(request.mapsFolder, stem + ".jpg"),
            EntryPath(request.mapsFolder, stem + ".map")};
}

// The corners a definition would give the scan itself, when the fit is a north-up scale and
// shift in degrees that they follow within half a pixel at every corner of the scan.
std::optional<MapCode::Georeference> AsItIs(const CalibrationRequest& request,
                                            const ScanTransform& t) {
    const FitRequest& fit = request.fit;
    const std::string extension = Platform::Lower(fs::path(request.scan).extension().string());
    std::error_code ec;
    if (fit.transform != Transform::ScaleShift || fit.epsg != 0 || !request.edge.empty() ||
        (extension != ".jpg" && extension != ".gif" && extension != ".bmp") ||
        !fs::equivalent(fs::path(request.scan).parent_path(), request.mapsFolder, ec))
        return std::nullopt;
    const auto& g = t.Geotransform();
    if (!(g[1] > 0 && g[5] < 0)) return std::nullopt; // runs east across, south down
    const double exact[] = {g[0], g[3], g[0] + g[1] * fit.width, g[3] + g[5] * fit.height};
    const double perPixel[] = {g[1], -g[5], g[1], -g[5]};
    double rounded[4];
    for (int i = 0; i < 4; ++i) {
        rounded[i] = std::round(exact[i] * kLattice) / kLattice;
        if (std::fabs(rounded[i] - exact[i]) > perPixel[i] / 2) return std::nullopt;
    }
    return MapCode::Georeference(float(rounded[0] * 60), float(rounded[1] * 60),
                                 float(rounded[2] * 60), float(rounded[3] * 60), fit.width,
                                 fit.height);
}

// The .map of the scan: its points and, as the moving map's outline, its corners as fitted.
std::string MapFile(const CalibrationRequest& request, const ScanTransform& t, const Target& target,
                    const std::vector<std::size_t>& kept) {
    const FitRequest& fit = request.fit;
    std::error_code ec;
    const fs::path scan(request.scan);
    const std::string image = fs::equivalent(scan.parent_path(), request.mapsFolder, ec)
                                  ? scan.filename().string()
                                  : fs::absolute(scan, ec).lexically_normal().string();
    std::string out =
        "OziExplorer Map Data File Version 2.2\r\n" + Platform::Cp1252ToUtf8(target.stem) + "\r\n" +
        image + "\r\n" + "1 ,Map Code,\r\n" +
        (fit.datum == Datum::WGS84 ? "WGS 84" : "Ord Srvy Grt Britn") +
        ",WGS 84,   0.0000,   0.0000,WGS 84\r\n"
        "Reserved 1\r\nReserved 2\r\nMagnetic Variation,,,E\r\n"
        "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n";
    for (std::size_t i = 0; i < kMapFilePoints; ++i) {
        char label[16];
        std::snprintf(label, sizeof label, "Point%02zu", i + 1);
        if (i < kept.size()) {
            const ControlPoint& p = fit.points[kept[i]];
            out += std::string(label) + ",xy," + Number(p.x, 0) + "," + Number(p.y, 0) +
                   ",in, deg," + OziAngle(p.latitude, "N", "S") + "," +
                   OziAngle(p.longitude, "E", "W") + ", grid, , , ,N\r\n";
        } else {
            out += std::string(label) + ",xy, , ,in, deg, , ,N, , ,W, grid, , , ,N\r\n";
        }
    }
    out += "Projection Setup,,,,,,,,,,\r\n"
           "Map Feature = MF ; Map Comment = MC     These follow if they exist\r\n"
           "Track File = TF      These follow if they exist\r\n"
           "Moving Map Parameters = MM?    These follow if they exist\r\n"
           "MM0,Yes\r\n";
    std::vector<std::array<double, 2>> outline = request.edge;
    if (outline.empty())
        outline = {{{0, 0}},
                   {{double(fit.width), 0}},
                   {{double(fit.width), double(fit.height)}},
                   {{0, double(fit.height)}}};
    out += "MMPNUM," + std::to_string(outline.size()) + "\r\n";
    const FitToDatum toDatum(fit);
    std::string lls;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        out += "MMPXY," + std::to_string(i + 1) + "," + Number(outline[i][0], 0) + "," +
               Number(outline[i][1], 0) + "\r\n";
        double x = outline[i][0], y = outline[i][1];
        if (!t.Forward(x, y) || !toDatum(x, y))
            throw Error(Error::Kind::Refused, "The calibration is refused: the map's outline does "
                                              "not convert to " +
                                                  DatumName(fit.datum) + ".");
        lls += "MMPLL," + std::to_string(i + 1) + "," + Number(x, 9) + "," + Number(y, 9) + "\r\n";
    }
    return out + lls + "IWH,Map Image Width/Height," + std::to_string(fit.width) + "," +
           std::to_string(fit.height) + "\r\n";
}

std::string DefinitionBytes(const MapCode::Georeference& placed, const CalibrationRequest& request,
                            const std::string& picture) {
    MapCode::DefinitionComments comments;
    comments[0].push_back(
        "; Calibrated by Varnet from " + Printable(CoreFileName(request.scan)) + " (" +
        TransformName(request.fit.transform) + ", " + std::to_string(request.fit.points.size()) +
        " points); corners in latitude and longitude on " + DatumName(request.fit.datum));
    const auto c = MapCode::CornerTexts(placed);
    std::string bytes;
    for (const auto& line :
         MapCode::DefinitionLines(c[0], c[1], c[2], c[3], CoreFileName(picture), comments))
        bytes += line + "\r\n";
    return bytes;
}

void RefuseExisting(const CalibrationRequest& request, const Target& target) {
    if (request.replace) return;
    std::error_code ec;
    for (const std::string& path : {target.definition, target.picture, target.mapFile})
        if (Occupied(path) && !fs::equivalent(path, request.scan, ec)) // the scan is no map
            throw Error(Error::Kind::Exists, "The map " + target.name + " exists already (" + path +
                                                 "); " + request.scan + " was not calibrated.");
}

// The scan warped into the JPEG at `picture` (native); its grid's corners and size.
MapCode::Georeference Warp(const CalibrationRequest& request, const ScanTransform& t,
                           const std::string& picture) {
    PictureJob job;
    job.source = request.scan;
    job.picture = picture;
    job.datum = request.fit.datum;
    job.memoryLimit = request.memoryLimit;
    job.cutline = request.edge;
    bool stopped = false;
    if (request.progress) {
        job.progress = [&](double done) { stopped = stopped || !request.progress(done * 0.99); };
        job.stop = [&] { return stopped; };
    }
    return WarpScan(job, t, request.fit).Placed();
}

// Moves the files written from the work folder into place, the definition last: the .map and,
// when one was warped, the picture. The .map goes first where there is a picture too (which
// takes MoveIntoPlace's care of an earlier one), and is taken away again when they fail.
void MoveAll(const WorkFolder& work, const Target& target, bool warped) {
    if (!warped) return MoveIntoPlace(work, target.mapFile, target.definition);
    std::error_code ec;
    fs::rename(work.Path(fs::path(target.mapFile).filename().string()), target.mapFile, ec);
    if (ec)
        throw Error(Error::Kind::Failed,
                    target.mapFile + " could not be written: " + ec.message() + ".");
    try {
        MoveIntoPlace(work, target.picture, target.definition);
    } catch (const Error&) {
        fs::remove(target.mapFile, ec);
        throw;
    }
}

} // namespace

bool Gdal::PreviewScan(const std::string& scan, const std::string& jpeg, std::uint64_t maxPixels,
                       std::string& why) {
    int width = 0, height = 0;
    if (!Gdal::ScanSize(scan, width, height, why)) return false;
    ErrorCapture errors;
    const double shrink = std::max(1.0, std::sqrt(double(width) * double(height) /
                                                  double(std::max<std::uint64_t>(maxPixels, 1))));
    const std::string w = std::to_string(std::max(1, int(width / shrink)));
    const std::string h = std::to_string(std::max(1, int(height / shrink)));
    GDALDatasetH dataset = GDALOpenEx(scan.c_str(), GDAL_OF_RASTER, nullptr, nullptr, nullptr);
    if (!dataset) return why = errors.Reason("GDAL cannot read it"), false;
    // A palette as its colours; the first three bands (or one grey) as bytes, scaled down.
    const bool palette = GDALGetRasterColorTable(GDALGetRasterBand(dataset, 1)) != nullptr;
    std::vector<const char*> argv = {"-of",     "JPEG", "-ot",     "Byte", "-outsize",  w.c_str(),
                                     h.c_str(), "-r",   "average", "-co",  "QUALITY=90"};
    if (palette)
        argv.insert(argv.end(), {"-expand", "rgb"});
    else if (GDALGetRasterCount(dataset) >= 3)
        argv.insert(argv.end(), {"-b", "1", "-b", "2", "-b", "3"});
    else
        argv.insert(argv.end(), {"-b", "1"});
    argv.push_back(nullptr);
    CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "NO"); // no .aux.xml beside it
    GDALTranslateOptions* options =
        GDALTranslateOptionsNew(const_cast<char**>(argv.data()), nullptr);
    GDALDatasetH preview = GDALTranslate(jpeg.c_str(), dataset, options, nullptr);
    GDALTranslateOptionsFree(options);
    const bool written = preview != nullptr;
    if (preview) GDALClose(preview);
    CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr);
    GDALClose(dataset);
    if (written) return true;
    std::error_code ec;
    fs::remove(jpeg, ec);
    return why = errors.Reason("GDAL cannot write it"), false;
}

CalibrationResult Gdal::Calibrate(const CalibrationRequest& given) {
    EnsureGdal();
    CalibrationRequest request = given;
    std::error_code absolute;
    request.scan = fs::absolute(request.scan, absolute).lexically_normal().string();
    std::string why;
    if (!Gdal::ScanSize(request.scan, request.fit.width, request.fit.height, why))
        throw Error(Error::Kind::Refused, request.scan + " cannot be calibrated: " + why + ".");
    if (!request.edge.empty() && request.edge.size() < 3)
        throw Error(Error::Kind::Refused,
                    "The calibration is refused: a neat line needs 3 corners at least.");
    const Target target = TargetOf(request);
    if (!request.dryRun) RefuseExisting(request, target);
    CalibrationResult result;
    result.fit = Gdal::FitScan(request.fit);
    const ScanTransform t(request.fit);
    const auto asItIs = AsItIs(request, t);
    std::error_code ec;
    if (!asItIs && fs::equivalent(request.scan, target.picture, ec))
        throw Error(Error::Kind::Refused,
                    request.scan + " cannot be calibrated as " + target.name +
                        ": its picture would replace the scan; give the map another name.");
    result.scanNamed = bool(asItIs);
    result.picture = asItIs ? request.scan : target.picture;
    result.name = target.name, result.definition = target.definition;
    result.mapFile = target.mapFile;
    if (request.dryRun) {
        if (asItIs) result.georeference = *asItIs;
        result.mapPoints = MapFilePoints(request.fit.points).size();
        return result;
    }
    const WorkFolder work(request.mapsFolder,
                          "The calibration of " + request.scan + " could not be written");
    const auto file = [](const std::string& path) { return fs::path(path).filename().string(); };
    if (asItIs) {
        result.georeference = *asItIs;
    } else {
        result.georeference = Warp(request, t, work.Path(file(target.picture)));
    }
    const std::vector<std::size_t> kept = MapFilePoints(request.fit.points);
    result.mapPoints = kept.size();
    WriteNew(work.Path(file(target.mapFile)), MapFile(request, t, target, kept));
    WriteNew(work.Path(file(target.definition)),
             DefinitionBytes(result.georeference, request, result.picture));
    RefuseExisting(request, target);
    // The last moment a stop leaves nothing: after it, the files appear.
    if (request.progress && !request.progress(0.99))
        throw Error(Error::Kind::Cancelled,
                    "The calibration of " + request.scan + " was cancelled.");
    MoveAll(work, target, !asItIs);
    if (request.progress) request.progress(1.0);
    return result;
}

} // namespace Georef
