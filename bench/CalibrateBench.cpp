// A calibrated scan's warp: a 10000 x 8000 scan (a tiled JPEG-compressed TIFF without a
// georeference) placed by four points on the National Grid with an affine, saved under a 256 MiB
// picture memory bound, against GDAL's own warp of the same points onto the same grid
// (gdal_translate -gcp, gdalwarp -order 1 -r bilinear, then the same JPEG at quality 90), and the
// save's peak memory above the process's idle against the bound. Each measurement runs in a
// process of its own, so each peak is its own; rounds in turn, medians reported.
#include "georef/Calibration.h"
#include "picture/PictureLoader.h"

#include <cpl_conv.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 10000, kHeight = 8000;
// The points: pixels and National Grid metres of a sheet 2.5 m a pixel, turned a little.
struct Gcp {
    double x, y, east, north;
};
const Gcp kPoints[] = {{500, 400, 440000, 130000},
                       {9500, 600, 462480, 130390},
                       {400, 7600, 440310, 111990},
                       {9600, 7500, 463300, 112470}};

long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void MakeScan(const std::string& path) {
    GDALAllRegister();
    const char* options[] = {"TILED=YES", "COMPRESS=JPEG", "PHOTOMETRIC=YCBCR", nullptr};
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), kWidth, kHeight, 3,
                                 GDT_Byte, const_cast<char**>(options));
    const int rows = 256;
    std::vector<unsigned char> strip(std::size_t(kWidth) * rows * 3);
    for (int y0 = 0; y0 < kHeight; y0 += rows) {
        const int n = std::min(rows, kHeight - y0);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int b = 0; b < 3; ++b)
                    strip[(std::size_t(y) * kWidth + std::size_t(x)) * 3 + std::size_t(b)] =
                        (x % 400 < 3 || (y0 + y) % 400 < 3)
                            ? 40
                            : (unsigned char)(180 + ((x / 37 + (y0 + y) / 53 + b * 11) % 60));
        if (GDALDatasetRasterIO(ds, GF_Write, 0, y0, kWidth, n, strip.data(), kWidth, n, GDT_Byte,
                                3, nullptr, 3, kWidth * 3, 1) != CE_None)
            std::exit(1);
    }
    GDALClose(ds);
}

// The save through Varnet; the picture's size and edges (degrees).
std::string Ours(const std::string& scan, const std::string& folder) {
    Georef::CalibrationRequest request;
    request.scan = scan;
    request.mapsFolder = folder;
    request.replace = true;
    request.memoryLimit = Picture::MemoryLimit();
    request.fit.transform = Georef::Transform::Affine;
    request.fit.epsg = 27700;
    OGRSpatialReference grid, datum;
    grid.importFromEPSG(27700);
    datum.importFromEPSG(4277);
    grid.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    datum.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformation* convert = OGRCreateCoordinateTransformation(&grid, &datum);
    for (const Gcp& g : kPoints) {
        double lon = g.east, lat = g.north;
        convert->Transform(1, &lon, &lat);
        request.fit.points.push_back({g.x, g.y, g.east, g.north, lat, lon});
    }
    OGRCoordinateTransformation::DestroyCT(convert);
    const Georef::CalibrationResult r = Georef::Calibrate(request);
    const MapCode::Georeference& g = r.georeference;
    char picture[200];
    std::snprintf(picture, sizeof picture, " %d %d %.10f %.10f %.10f %.10f", g.Width(), g.Height(),
                  g.West(), g.South(), g.East(), g.North());
    return picture;
}

// GDAL's warp of the same points onto the same grid, through virtual files, to the same JPEG.
bool Floor(const std::string& scan, const std::string& folder, char** edges) {
    std::vector<std::string> args = {"-of", "VRT", "-a_srs", "EPSG:27700"};
    for (const Gcp& g : kPoints)
        args.insert(args.end(), {"-gcp", std::to_string(g.x), std::to_string(g.y),
                                 std::to_string(g.east), std::to_string(g.north)});
    const auto argv = [](std::vector<std::string>& a) {
        std::vector<char*> v;
        for (auto& s : a) v.push_back(s.data());
        v.push_back(nullptr);
        return v;
    };
    auto t = argv(args);
    GDALTranslateOptions* to = GDALTranslateOptionsNew(t.data(), nullptr);
    GDALDatasetH in = GDALOpen(scan.c_str(), GA_ReadOnly);
    GDALDatasetH placed = GDALTranslate((folder + "/placed.vrt").c_str(), in, to, nullptr);
    GDALTranslateOptionsFree(to);
    std::vector<std::string> warp = {
        "-of", "VRT",    "-t_srs", "EPSG:4277", "-order", "1",   "-r",     "bilinear",
        "-te", edges[2], edges[3], edges[4],    edges[5], "-ts", edges[0], edges[1]};
    auto w = argv(warp);
    GDALWarpAppOptions* wo = GDALWarpAppOptionsNew(w.data(), nullptr);
    GDALDatasetH warped =
        GDALWarp((folder + "/warped.vrt").c_str(), nullptr, 1, &placed, wo, nullptr);
    GDALWarpAppOptionsFree(wo);
    const char* options[] = {"QUALITY=90", nullptr};
    GDALDatasetH out =
        warped ? GDALCreateCopy(GDALGetDriverByName("JPEG"), (folder + "/floor.jpg").c_str(),
                                warped, FALSE, const_cast<char**>(options), nullptr, nullptr)
               : nullptr;
    const bool ok = out != nullptr;
    for (GDALDatasetH d : {out, warped, placed, in})
        if (d) GDALClose(d);
    return ok;
}

// In a child: "ours" or "floor" into the folder; prints seconds, peak KiB, idle KiB and the
// bound's KiB, and for ours the picture's size and edges.
int Child(int argc, char** argv) {
    GDALAllRegister();
    const long idle = PeakKiB();
    const std::uint64_t bound = Picture::MemoryLimit();
    GDALSetCacheMax64(GIntBig(bound / 2));
    const auto start = Clock::now();
    const std::string mode = argv[2];
    std::string picture;
    if (mode == "ours")
        picture = Ours(argv[3], argv[4]);
    else if (argc < 11 || !Floor(argv[3], argv[4], argv + 5))
        return 1;
    std::printf("%.3f %ld %ld %llu%s\n",
                std::chrono::duration<double>(Clock::now() - start).count(), PeakKiB(), idle,
                static_cast<unsigned long long>(bound >> 10), picture.c_str());
    return 0;
}

std::vector<std::string> Run(const std::string& self, const std::string& arguments) {
    FILE* out = popen(("VARNET_PICTURE_LIMIT_MB=256 " + self + " child " + arguments).c_str(), "r");
    std::vector<std::string> words;
    char word[256];
    while (out && std::fscanf(out, "%255s", word) == 1) words.push_back(word);
    if (!out || pclose(out) != 0 || words.size() < 4) {
        std::fprintf(stderr, "%s failed\n", arguments.c_str());
        std::exit(1);
    }
    return words;
}

double Median(std::vector<double> runs) {
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 4 && std::string(argv[1]) == "child") return Child(argc, argv);
    std::string root = (fs::temp_directory_path() / "varnet-calibrate-bench-XXXXXX").string();
    if (!mkdtemp(root.data())) return 1;
    const std::string scan = root + "/scan.tif", maps = root + "/Maps";
    fs::create_directory(maps);
    MakeScan(scan);
    std::vector<double> ours, floor;
    double above = 0, bound = 0;
    for (int round = 0; round < 3; ++round) {
        const auto o = Run(argv[0], "ours " + scan + " " + maps);
        if (o.size() < 10) return 1;
        ours.push_back(std::stod(o[0]));
        above = std::max(above, std::stod(o[1]) - std::stod(o[2]));
        bound = std::stod(o[3]);
        std::string edges;
        for (std::size_t i = 4; i < 10; ++i) edges += " " + o[i];
        floor.push_back(std::stod(Run(argv[0], "floor " + scan + " " + root + edges)[0]));
        if (round == 0)
            std::printf("the picture written: %s x %s pixels\n", o[4].c_str(), o[5].c_str());
    }
    std::printf("warp of a %d x %d scan: %.1f s, GDAL's warp of the same points %.1f s, ratio "
                "%.2f (medians); memory above idle %.0f MiB of a %.0f MiB bound (%s)\n",
                kWidth, kHeight, Median(ours), Median(floor), Median(ours) / Median(floor),
                above / 1024, bound / 1024, above <= bound ? "within" : "OVER");
    std::printf("row\twarp of a %d x %d scan (bench calibrate-warp)\t%.3f s\t%.3f s\t%.2f\tat "
                "most 1.5\n",
                kWidth, kHeight, Median(ours), Median(floor), Median(ours) / Median(floor));
    std::printf("row\twarp's memory above idle, MiB (bench calibrate-warp)\t%.0f MiB\t%.0f "
                "MiB\t%.2f\tat most 1.0 of the bound\n",
                above / 1024, bound / 1024, above / bound);
    fs::remove_all(root);
    return above <= bound ? 0 : 1;
}
