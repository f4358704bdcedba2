// Exports for devices, checked with GDAL: each file opens with its driver, lies where the map's
// corners put it, and holds, level by level, what gdalwarp -r bilinear makes of the map's own
// picture on the same grid.
#include "georef/Georef.h"
#include "georef/Rasters.h"
#include "support/TempHost.h"

#include <gdal_priv.h>
#include <gdal_utils.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;
using Format = Georef::ExportFormat;

namespace {

// A smooth picture, as a scanned map's colours run: each band a gentle slope and a long wave.
std::vector<unsigned char> Smooth(int width, int height, int band, int tint) {
    std::vector<unsigned char> pixels(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                static_cast<unsigned char>(band == 2
                                               ? tint
                                               : 60 + 0.5 * (band ? y : x) +
                                                     40 * std::sin((x + 2 * y) / 60.0 + band));
    return pixels;
}

// Writes an RGB picture of Smooth bands (blue the tint) in the driver's format.
void Picture(const std::string& driver, const std::string& path, int width, int height,
             int tint = 120) {
    std::vector<unsigned char> rgb;
    for (int b = 0; b < 3; ++b) {
        auto band = Smooth(width, height, b, tint);
        rgb.insert(rgb.end(), band.begin(), band.end());
    }
    GDALAllRegister();
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    GDALDatasetH mem =
        GDALCreate(GDALGetDriverByName("MEM"), "", width, height, 3, GDT_Byte, nullptr);
    ASSERT_EQ(GDALDatasetRasterIO(mem, GF_Write, 0, 0, width, height, rgb.data(), width, height,
                                  GDT_Byte, 3, nullptr, 0, 0, 0),
              CE_None);
    const char* options[] = {"QUALITY=95", nullptr};
    GDALClose(GDALCreateCopy(GDALGetDriverByName(driver.c_str()), path.c_str(), mem, FALSE,
                             driver == "JPEG" ? const_cast<char**>(options) : nullptr, nullptr,
                             nullptr));
    GDALClose(mem);
}

// A map over Sheet's ground: 51.6N 0.4W to 51.5N 0.2W, on OSGB 1936.
Georef::ExportRequest Request(const std::string& picture, int width, int height, Format format,
                              const std::string& out) {
    return {.name = "Sheet.inf",
            .picture = picture,
            .georeference = {-24, 51.6f * 60, -12, 51.5f * 60, width, height},
            .format = format,
            .outFolder = out};
}

// Runs gdalwarp (through its library call) with these arguments onto a picture in memory.
GDALDatasetH Warp(GDALDatasetH from, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"-of", "MEM", "-r", "bilinear", "-dstalpha"});
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(argv.data(), nullptr);
    GDALDatasetH out = GDALWarp("", nullptr, 1, &from, options, nullptr);
    GDALWarpAppOptionsFree(options);
    EXPECT_NE(out, nullptr) << CPLGetLastErrorMsg();
    return out;
}

// The map's own picture placed by its corners, as GDAL's tools would place it.
GDALDatasetH Placed(const Georef::ExportRequest& r) {
    const auto& g = r.georeference;
    const std::string arguments = "-of VRT -a_srs EPSG:4277 -a_ullr " + std::to_string(g.West()) +
                                  " " + std::to_string(g.North()) + " " + std::to_string(g.East()) +
                                  " " + std::to_string(g.South());
    char** argv = CSLTokenizeString(arguments.c_str());
    GDALTranslateOptions* options = GDALTranslateOptionsNew(argv, nullptr);
    // A VRT file reads the picture by its name, as the tools' own do.
    GDALDatasetH src = GDALOpen(r.picture.c_str(), GA_ReadOnly);
    GDALClose(GDALTranslate("/vsimem/placed.vrt", src, options, nullptr));
    GDALTranslateOptionsFree(options);
    CSLDestroy(argv);
    GDALClose(src);
    return GDALOpen("/vsimem/placed.vrt", GA_ReadOnly);
}

struct Difference {
    double mean = 0, within = 1; // mean absolute difference, share within the bound
    long compared = 0;
};

// The colours of `got` against gdalwarp's of the map onto the same grid (`srs`), where both
// are fully covered.
Difference Compare(GDALDataset& got, GDALDatasetH placed, const char* srs, int bound) {
    double gt[6];
    got.GetGeoTransform(gt);
    const int w = got.GetRasterXSize(), h = got.GetRasterYSize();
    GDALDatasetH want =
        Warp(placed, {"-t_srs", srs, "-te", std::to_string(gt[0]),
                      std::to_string(gt[3] + h * gt[5]), std::to_string(gt[0] + w * gt[1]),
                      std::to_string(gt[3]), "-ts", std::to_string(w), std::to_string(h)});
    const std::size_t n = std::size_t(w) * std::size_t(h);
    std::vector<unsigned char> a(n * 4, 255), b(n * 4);
    const int bands = std::min(4, got.GetRasterCount());
    EXPECT_EQ(got.RasterIO(GF_Read, 0, 0, w, h, a.data(), w, h, GDT_Byte, bands, nullptr, 0, 0, 0,
                           nullptr),
              CE_None);
    EXPECT_EQ(GDALDatasetRasterIO(want, GF_Read, 0, 0, w, h, b.data(), w, h, GDT_Byte, 4, nullptr,
                                  0, 0, 0),
              CE_None);
    GDALClose(want);
    Difference d;
    long near = 0;
    // Where the map covers a pixel and its neighbours: a pixel on the picture's edge (and so on
    // the file's, which ends there) blends with what lies beyond it.
    const auto covered = [&](std::size_t i) {
        const int x = int(i % std::size_t(w)), y = int(i / std::size_t(w));
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int u = x + dx, v = y + dy;
                if (u < 0 || v < 0 || u >= w || v >= h) return false;
                const std::size_t j = std::size_t(v) * std::size_t(w) + std::size_t(u);
                if (b[3 * n + j] < 255 || (bands == 4 && a[3 * n + j] < 255)) return false;
            }
        return true;
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (!covered(i)) continue;
        for (int c = 0; c < 3; ++c) {
            const int diff = std::abs(int(a[c * n + i]) - int(b[c * n + i]));
            d.mean += diff;
            near += diff <= bound;
            ++d.compared;
        }
    }
    if (d.compared) d.mean /= double(d.compared), d.within = double(near) / double(d.compared);
    return d;
}

// The map's corners (west, south, east, north) in `epsg` through PROJ (gdaltransform).
std::array<double, 4> Corners(const Georef::ExportRequest& r, int epsg, const std::string& tmp) {
    const auto& g = r.georeference;
    const auto p = Rasters::Gdaltransform("-s_srs EPSG:4277 -t_srs EPSG:" + std::to_string(epsg),
                                          {{g.West(), g.South()}, {g.East(), g.North()}}, tmp);
    return {p[0][0], p[0][1], p[1][0], p[1][1]};
}

void ExpectBounds(GDALDataset& ds, const std::array<double, 4>& corners) {
    double gt[6];
    ASSERT_EQ(ds.GetGeoTransform(gt), CE_None);
    const double half = std::abs(gt[1]) / 2;
    EXPECT_NEAR(gt[0], corners[0], half);
    EXPECT_NEAR(gt[3], corners[3], half);
    EXPECT_NEAR(gt[0] + ds.GetRasterXSize() * gt[1], corners[2], half);
    EXPECT_NEAR(gt[3] + ds.GetRasterYSize() * gt[5], corners[1], half);
}

// The KML's ground overlays: href and box (north, south, east, west).
struct Overlay {
    std::string href;
    std::array<double, 4> box;
};
std::vector<Overlay> Overlays(const std::string& kmz) {
    VSILFILE* f = VSIFOpenL(("/vsizip/" + kmz + "/doc.kml").c_str(), "rb");
    EXPECT_NE(f, nullptr);
    std::string kml;
    char buffer[4096];
    for (std::size_t got; f && (got = VSIFReadL(buffer, 1, sizeof buffer, f)) > 0;)
        kml.append(buffer, got);
    if (f) VSIFCloseL(f);
    std::vector<Overlay> overlays;
    const std::regex overlay("<href>([^<]*)</href>[^]*?<north>([^<]*)</north>\\s*<south>([^<]*)"
                             "</south>\\s*<east>([^<]*)</east>\\s*<west>([^<]*)</west>");
    for (std::sregex_iterator it(kml.begin(), kml.end(), overlay), end; it != end; ++it)
        overlays.push_back(
            {(*it)[1],
             {std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4]), std::stod((*it)[5])}});
    EXPECT_NE(kml.find("<drawOrder>50</drawOrder>"), std::string::npos);
    return overlays;
}

// Checks a tile KMZ: baseline JPEG tiles of at most 1024 pixels a side, abutting boxes that
// cover the map, and each tile's pixels against gdalwarp onto its box; `tiles` the count.
void CheckTiles(const std::string& kmz, const Georef::ExportRequest& r,
                const std::array<double, 4>& corners, int bound, double mean, std::size_t& tiles) {
    const auto overlays = Overlays(kmz);
    GDALDatasetH placed = Placed(r);
    double west = 1e9, east = -1e9, north = -1e9, south = 1e9, area = 0;
    for (const auto& o : overlays) {
        SCOPED_TRACE(o.href);
        const std::string tile = "/vsizip/" + kmz + "/" + o.href;
        std::string bytes(64 * 1024, '\0');
        VSILFILE* f = VSIFOpenL(tile.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        bytes.resize(VSIFReadL(bytes.data(), 1, bytes.size(), f));
        VSIFCloseL(f);
        EXPECT_NE(bytes.find("\xFF\xC0"), std::string::npos) << "not a baseline JPEG";
        EXPECT_EQ(bytes.find("\xFF\xC2"), std::string::npos) << "a progressive JPEG";
        auto* ds = GDALDataset::FromHandle(GDALOpen(tile.c_str(), GA_ReadOnly));
        ASSERT_NE(ds, nullptr);
        EXPECT_LE(ds->GetRasterXSize(), 1024);
        EXPECT_LE(ds->GetRasterYSize(), 1024);
        const auto& b = o.box; // north, south, east, west
        double gt[6] = {b[3], (b[2] - b[3]) / ds->GetRasterXSize(), 0, b[0],
                        0,    (b[1] - b[0]) / ds->GetRasterYSize()};
        ds->SetGeoTransform(gt);
        const auto d = Compare(*ds, placed, "EPSG:4326", bound);
        EXPECT_LE(d.mean, mean);
        EXPECT_GE(d.within, 0.99) << d.mean;
        GDALClose(ds);
        west = std::min(west, b[3]), east = std::max(east, b[2]);
        south = std::min(south, b[1]), north = std::max(north, b[0]);
        area += (b[2] - b[3]) * (b[0] - b[1]);
    }
    GDALClose(placed);
    // Abutting without gap or overlap: the boxes fill their hull exactly.
    EXPECT_NEAR(area, (east - west) * (north - south), 1e-9);
    EXPECT_NEAR(west, corners[0], 1e-4);
    EXPECT_NEAR(east, corners[2], 1e-4);
    tiles = overlays.size();
}

} // namespace

// One small map in each device format, read back by GDAL as the devices' programs read it.
TEST(DeviceExport, EachFormatHoldsTheMapWhereItsCornersPutIt) {
    TempHost host;
    const std::string out = host.Root() + "/out";
    TempHost::MakeFolder(out);
    Picture("JPEG", host.Root() + "/sheet.jpg", 300, 200);
    Picture("PNG", host.Root() + "/sheet.png", 300, 200);
    const auto wgs84 = Corners(Request("", 1, 1, Format::Pdf, ""), 4326, host.Root() + "/p");
    const auto merc = Corners(Request("", 1, 1, Format::Pdf, ""), 3857, host.Root() + "/p");
    const struct Case {
        Format format;
        const char* picture;
        const char* driver;
        int bound;
        double mean;
    } cases[] = {
        {Format::MbTiles, "sheet.png", "MBTiles", 10, 2},
        {Format::MbTiles, "sheet.jpg", "MBTiles", 16, 4},
        {Format::GeoPackage, "sheet.png", "GPKG", 10, 2},
        {Format::GeoPackage, "sheet.jpg", "GPKG", 16, 4},
        {Format::Pdf, "sheet.png", "PDF", 10, 2},
        {Format::GarminKmz, "sheet.jpg", nullptr, 16, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.picture) + " as " + (c.driver ? c.driver : "tiles"));
        auto r = Request(host.Root() + "/" + c.picture, 300, 200, c.format, out);
        r.replace = true;
        const auto result = Georef::ExportFiles(r);
        ASSERT_EQ(result.paths.size(), 1u);
        if (!c.driver) {
            std::size_t tiles = 0;
            CheckTiles(result.paths[0], r, wgs84, c.bound, c.mean, tiles);
            EXPECT_EQ(tiles, std::size_t(result.tiles));
            EXPECT_EQ(result.reduction, 1);
            continue;
        }
        const char* dpi[] = {"DPI=72", nullptr}; // as written: the picture's own pixels
        auto* ds =
            GDALDataset::FromHandle(GDALOpenEx(result.paths[0].c_str(), GDAL_OF_RASTER, nullptr,
                                               c.format == Format::Pdf ? dpi : nullptr, nullptr));
        ASSERT_NE(ds, nullptr) << CPLGetLastErrorMsg();
        EXPECT_STREQ(ds->GetDriver()->GetDescription(), c.driver);
        GDALDatasetH placed = Placed(r);
        if (c.format == Format::Pdf) {
            const auto& g = r.georeference;
            EXPECT_EQ(ds->GetRasterXSize(), 300);
            ExpectBounds(*ds, {g.West(), g.South(), g.East(), g.North()});
        } else {
            ExpectBounds(*ds, merc);
            // 79 Mercator metres a pixel along the diagonal: zoom 11's 76 m is as fine, zoom
            // 10's 153 m is not; 22 km across: zoom 10's tile of 39 km holds it, 11's of 20 km
            // does not.
            EXPECT_EQ(result.maxZoom, 11);
            EXPECT_EQ(result.minZoom, 10);
            if (c.format == Format::MbTiles) { // as the file says it, titled by the map
                EXPECT_STREQ(ds->GetMetadataItem("minzoom"), "10");
                EXPECT_STREQ(ds->GetMetadataItem("description"), "Sheet");
            }
        }
        // Each level as the file holds it (a PDF has one).
        const int from = c.format == Format::Pdf ? -1 : result.minZoom;
        const int to = c.format == Format::Pdf ? -1 : result.maxZoom;
        for (int z = from; z <= to; ++z) {
            SCOPED_TRACE(z);
            const std::string zoom = "ZOOM_LEVEL=" + std::to_string(z);
            const char* level[] = {zoom.c_str(), nullptr};
            auto* ds =
                GDALDataset::FromHandle(GDALOpenEx(result.paths[0].c_str(), GDAL_OF_RASTER, nullptr,
                                                   c.format == Format::Pdf ? dpi : level, nullptr));
            ASSERT_NE(ds, nullptr) << CPLGetLastErrorMsg();
            const auto d =
                Compare(*ds, placed, c.format == Format::Pdf ? "EPSG:4277" : "EPSG:3857", c.bound);
            EXPECT_GT(d.compared, 0);
            EXPECT_LE(d.mean, c.mean);
            EXPECT_GE(d.within, 0.99);
            GDALClose(ds);
        }
        GDALClose(placed);
        GDALClose(ds);
    }
}

// A picture needing more tiles than allowed is reduced evenly until its tiles fit.
TEST(DeviceExport, ATileKmzKeepsWithinItsTileLimit) {
    TempHost host;
    Picture("JPEG", host.Root() + "/big.jpg", 2500, 1100);
    auto r = Request(host.Root() + "/big.jpg", 2500, 1100, Format::GarminKmz, host.Root());
    r.maxTiles = 3;
    const auto result = Georef::ExportFiles(r);
    std::size_t tiles = 0;
    CheckTiles(result.paths[0], r, Corners(r, 4326, host.Root() + "/p"), 16, 4, tiles);
    EXPECT_LE(tiles, 3u);
    EXPECT_EQ(tiles, std::size_t(result.tiles));
    EXPECT_LT(result.reduction, 1);
    // Evenly: both sides by the scale reported, to the pixel.
    int width = 0, height = 0;
    for (const auto& o : Overlays(result.paths[0])) {
        auto* ds = GDALDataset::FromHandle(
            GDALOpen(("/vsizip/" + result.paths[0] + "/" + o.href).c_str(), GA_ReadOnly));
        ASSERT_NE(ds, nullptr);
        if (o.box[0] == Overlays(result.paths[0])[0].box[0]) width += ds->GetRasterXSize();
        if (o.box[3] == Overlays(result.paths[0])[0].box[3]) height += ds->GetRasterYSize();
        GDALClose(ds);
    }
    EXPECT_NEAR(width, 2500 * result.reduction, 1);
    EXPECT_NEAR(height, 1100 * result.reduction, 1);
}

// Cancelled on its way, or refused because the file exists, an export leaves the folder as it
// was.
TEST(DeviceExport, ACancelOrARefusedReplaceLeavesNothing) {
    TempHost host;
    const std::string out = host.Root() + "/out";
    TempHost::MakeFolder(out);
    Picture("PNG", host.Root() + "/sheet.png", 300, 200);
    for (Format format : {Format::MbTiles, Format::GeoPackage, Format::Pdf, Format::GarminKmz}) {
        SCOPED_TRACE(Georef::ExportExtension(format));
        auto r = Request(host.Root() + "/sheet.png", 300, 200, format, out);
        r.progress = [](double) { return false; };
        try {
            Georef::ExportFiles(r);
            ADD_FAILURE() << "written";
        } catch (const Georef::Error& e) {
            EXPECT_EQ(e.kind(), Georef::Error::Kind::Cancelled) << e.what();
        }
        EXPECT_TRUE(fs::is_empty(out));

        const std::string target = out + "/Sheet" + Georef::ExportExtension(format);
        TempHost::Write(target, "mine");
        r.progress = {};
        try {
            Georef::ExportFiles(r);
            ADD_FAILURE() << "replaced";
        } catch (const Georef::Error& e) {
            EXPECT_EQ(e.kind(), Georef::Error::Kind::Exists) << e.what();
        }
        EXPECT_EQ(TempHost::Read(target), "mine");
        EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
        fs::remove(target);
    }
}

// An area across two neighbouring sheets is one picture: no seam where they meet, the finer
// sheet where they overlap, nothing where neither lies.
TEST(DeviceExport, AnAreaJoinsItsSheetsTheFinerOnTop) {
    TempHost host;
    GDALAllRegister();
    // Red runs with longitude across both sheets alike, green with latitude; blue tells them
    // apart. West: 0.4W to 0.2W, 300 pixels; east: 0.22W to 0.0, 660 pixels (finer).
    const auto sheet = [&](const std::string& name, double west, double east, int width, int blue) {
        const int height = 200;
        std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double lon = west + (east - west) * (x + 0.5) / width;
                const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
                rgb[i] = static_cast<unsigned char>(40 + 400 * (lon + 0.4));
                rgb[std::size_t(width) * height + i] = static_cast<unsigned char>(50 + y / 2);
                rgb[2 * std::size_t(width) * height + i] = static_cast<unsigned char>(blue);
            }
        GDALDatasetH mem =
            GDALCreate(GDALGetDriverByName("MEM"), "", width, height, 3, GDT_Byte, nullptr);
        EXPECT_EQ(GDALDatasetRasterIO(mem, GF_Write, 0, 0, width, height, rgb.data(), width, height,
                                      GDT_Byte, 3, nullptr, 0, 0, 0),
                  CE_None);
        const std::string path = host.Root() + "/" + name + ".png";
        GDALClose(GDALCreateCopy(GDALGetDriverByName("PNG"), path.c_str(), mem, FALSE, nullptr,
                                 nullptr, nullptr));
        GDALClose(mem);
        return Georef::MosaicMap{name + ".inf", path,
                                 MapCode::Georeference(float(west * 60), 51.6f * 60,
                                                       float(east * 60), 51.5f * 60, width,
                                                       height)};
    };
    auto r = Request("", 1, 1, Format::GeoPackage, host.Root()); // its corners unused
    r.name = "Area";
    r.datum = Georef::Datum::WGS84;
    r.areaMaps = {sheet("east", -0.22, 0.0, 660, 200), sheet("west", -0.4, -0.2, 300, 50)};
    r.area = {51.62, -0.35, 51.52, -0.05};
    const auto result = Georef::ExportFiles(r);
    // The file on a grid of its area: 600 x 200 pixels of 0.0005 degrees.
    GDALDatasetH file = GDALOpen(result.paths[0].c_str(), GA_ReadOnly);
    ASSERT_NE(file, nullptr);
    // From the finest level: a coarser one's kernel leaves out the file's last column.
    GDALDatasetH seen = Warp(file, {"-ovr", "NONE", "-t_srs", "EPSG:4326", "-te", "-0.35", "51.52",
                                    "-0.05", "51.62", "-ts", "600", "200"});
    std::vector<unsigned char> px(600 * 200 * 4);
    ASSERT_EQ(GDALDatasetRasterIO(seen, GF_Read, 0, 0, 600, 200, px.data(), 600, 200, GDT_Byte, 4,
                                  nullptr, 0, 0, 0),
              CE_None);
    GDALClose(seen);
    GDALClose(file);
    const auto at = [&](int band, int x, int y) {
        return int(px[std::size_t(band) * 120000 + y * 600 + x]);
    };
    const int row = 120; // 51.56N, within both sheets
    for (int x = 1; x < 599; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(at(3, x, row), 255);
        EXPECT_LE(std::abs(at(0, x + 1, row) - at(0, x, row)), 2); // no seam column
    }
    EXPECT_NEAR(at(2, 80, row), 50, 2);   // 0.31W: the west sheet alone
    EXPECT_NEAR(at(2, 280, row), 200, 2); // 0.21W: both, the east one finer
    EXPECT_NEAR(at(2, 500, row), 200, 2); // 0.1W: the east sheet alone
    EXPECT_EQ(at(3, 300, 10), 0);         // 51.615N: north of both
}

// A paletted picture's transparent entry stays transparent in a tile set, and white in a KMZ's
// JPEG tiles: the west half of the sheet is transparent, the east half red.
TEST(DeviceExport, APalettesTransparencyIsNoMap) {
    TempHost host;
    GDALAllRegister();
    GDALDatasetH mem = GDALCreate(GDALGetDriverByName("MEM"), "", 300, 200, 1, GDT_Byte, nullptr);
    std::vector<unsigned char> index(300 * 200);
    for (std::size_t i = 0; i < index.size(); ++i) index[i] = i % 300 >= 150;
    GDALColorTableH palette = GDALCreateColorTable(GPI_RGB);
    const GDALColorEntry clear{0, 0, 0, 0}, red{220, 30, 30, 255};
    GDALSetColorEntry(palette, 0, &clear);
    GDALSetColorEntry(palette, 1, &red);
    GDALSetRasterColorTable(GDALGetRasterBand(mem, 1), palette);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(mem, 1), GF_Write, 0, 0, 300, 200, index.data(), 300,
                           200, GDT_Byte, 0, 0),
              CE_None);
    const std::string png = host.Root() + "/sheet.png";
    GDALClose(GDALCreateCopy(GDALGetDriverByName("PNG"), png.c_str(), mem, FALSE, nullptr, nullptr,
                             nullptr));
    GDALClose(mem);
    GDALDestroyColorTable(palette);
    for (Format format : {Format::MbTiles, Format::GarminKmz}) {
        const auto path = Georef::ExportFiles(Request(png, 300, 200, format, host.Root())).paths[0];
        GDALDatasetH file = GDALOpen(
            (format == Format::MbTiles ? path : "/vsizip/" + path + "/" + Overlays(path)[0].href)
                .c_str(),
            GA_ReadOnly);
        ASSERT_NE(file, nullptr);
        // On the map's own box (the KMZ's one tile is it): a quarter of the way across is well
        // within the west half, three quarters within the east.
        GDALDatasetH ds = format == Format::GarminKmz
                              ? file
                              : Warp(file, {"-t_srs", "EPSG:4277", "-te", "-0.4", "51.5", "-0.2",
                                            "51.6", "-ts", "300", "200"});
        const int w = GDALGetRasterXSize(ds), h = GDALGetRasterYSize(ds);
        const int bands = std::min(4, GDALGetRasterCount(ds));
        unsigned char west[4] = {}, east[4] = {};
        for (auto [x, px] : {std::pair{w / 4, west}, {3 * w / 4, east}})
            ASSERT_EQ(GDALDatasetRasterIO(ds, GF_Read, x, h / 2, 1, 1, px, 1, 1, GDT_Byte, bands,
                                          nullptr, 0, 0, 1),
                      CE_None);
        if (ds != file) GDALClose(ds);
        GDALClose(file);
        if (format == Format::MbTiles)
            EXPECT_EQ(west[3], 0);
        else
            EXPECT_GE(west[1], 245); // white: green as high as red
        EXPECT_NEAR(east[0], 220, 16);
        EXPECT_NEAR(east[1], 30, 16);
    }
}
