// Import of a 20000 x 20000 National Grid GeoTIFF under a 256 MiB picture memory bound: its time
// against a floor measured in the same run (GDAL copying the same GeoTIFF to a JPEG of the same
// quality, without warping), and its peak memory above the process's idle, against the bound.
// Each measurement runs in a process of its own, so each peak is its own.
#include "georef/Georef.h"
#include "picture/PictureLoader.h"

#include <cpl_conv.h>
#include <gdal.h>
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

constexpr int kSide = 20000;

long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// A scanned sheet stand-in: RGB, 5 m pixels from 500 km E 300 km N, tiled and JPEG-compressed
// as large GeoTIFFs usually are.
void MakeGeoTiff(const std::string& path) {
    GDALAllRegister();
    const char* options[] = {"TILED=YES", "COMPRESS=JPEG", "PHOTOMETRIC=YCBCR", "BIGTIFF=YES",
                             nullptr};
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), kSide, kSide, 3,
                                 GDT_Byte, const_cast<char**>(options));
    double gt[] = {500000, 5, 0, 300000 + 5.0 * kSide, 0, -5};
    GDALSetGeoTransform(ds, gt);
    OGRSpatialReference grid;
    grid.importFromEPSG(27700);
    GDALSetSpatialRef(ds, OGRSpatialReference::ToHandle(&grid));
    const int rows = 256;
    std::vector<unsigned char> strip(std::size_t(kSide) * rows * 3);
    for (int y0 = 0; y0 < kSide; y0 += rows) {
        const int n = std::min(rows, kSide - y0);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < kSide; ++x)
                for (int b = 0; b < 3; ++b)
                    strip[(std::size_t(y) * kSide + std::size_t(x)) * 3 + std::size_t(b)] =
                        (x % 500 < 3 || (y0 + y) % 500 < 3)
                            ? 40
                            : (unsigned char)(180 + ((x / 37 + (y0 + y) / 53 + b * 11) % 60));
        if (GDALDatasetRasterIO(ds, GF_Write, 0, y0, kSide, n, strip.data(), kSide, n, GDT_Byte, 3,
                                nullptr, 3, kSide * 3, 1) != CE_None)
            std::exit(1);
    }
    GDALClose(ds);
}

// In a child: "import" or "floor" on the GeoTIFF into the folder; prints seconds, peak KiB and
// idle KiB.
int Child(const std::string& mode, const std::string& source, const std::string& folder) {
    GDALAllRegister();
    const long idle = PeakKiB();
    const std::uint64_t bound = Picture::MemoryLimit();
    const auto start = Clock::now();
    if (mode == "import") {
        Georef::ImportRequest request;
        request.source = source;
        request.mapsFolder = folder;
        request.replace = true;
        request.memoryLimit = bound;
        Georef::Import(request);
    } else {
        GDALSetCacheMax64(GIntBig(bound / 2));
        GDALDatasetH in = GDALOpen(source.c_str(), GA_ReadOnly);
        const char* options[] = {"QUALITY=90", nullptr};
        GDALDatasetH out =
            GDALCreateCopy(GDALGetDriverByName("JPEG"), (folder + "/floor.jpg").c_str(), in, FALSE,
                           const_cast<char**>(options), nullptr, nullptr);
        if (!out) return 1;
        GDALClose(out);
        GDALClose(in);
    }
    std::printf("%.3f %ld %ld %llu\n", std::chrono::duration<double>(Clock::now() - start).count(),
                PeakKiB(), idle, static_cast<unsigned long long>(bound >> 10));
    return 0;
}

std::vector<double> Run(const std::string& self, const std::string& mode, const std::string& source,
                        const std::string& folder) {
    const std::string command =
        "VARNET_PICTURE_LIMIT_MB=256 " + self + " child " + mode + " " + source + " " + folder;
    FILE* out = popen(command.c_str(), "r");
    std::vector<double> numbers;
    double v = 0;
    while (out && std::fscanf(out, "%lf", &v) == 1) numbers.push_back(v);
    if (!out || pclose(out) != 0 || numbers.size() != 4) {
        std::fprintf(stderr, "%s failed\n", mode.c_str());
        std::exit(1);
    }
    return numbers;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "child") return Child(argv[2], argv[3], argv[4]);
    std::string root = (fs::temp_directory_path() / "varnet-import-bench-XXXXXX").string();
    if (!mkdtemp(root.data())) return 1;
    const std::string source = root + "/sheet.tif", maps = root + "/Maps";
    fs::create_directory(maps);
    auto start = Clock::now();
    MakeGeoTiff(source);
    std::printf("made a %d x %d GeoTIFF (%.0f MiB) in %.1f s\n", kSide, kSide,
                double(fs::file_size(source)) / (1 << 20),
                std::chrono::duration<double>(Clock::now() - start).count());
    const auto floor = Run(argv[0], "floor", source, maps);
    const auto import = Run(argv[0], "import", source, maps);
    const double above = import[1] - import[2], bound = import[3];
    std::printf("import: %.1f s, floor (GDAL's copy to JPEG, no warp) %.1f s, ratio %.2f\n",
                import[0], floor[0], import[0] / floor[0]);
    std::printf("import memory above idle: %.0f MiB of a %.0f MiB bound (%s); the floor's %.0f "
                "MiB\n",
                above / 1024, bound / 1024, above <= bound ? "within" : "OVER",
                (floor[1] - floor[2]) / 1024);
    fs::remove_all(root);
    return above <= bound ? 0 : 1;
}
