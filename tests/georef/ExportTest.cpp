#include "georef/Georef.h"
#include "georef/Rasters.h"
#include "support/TempHost.h"

#include <gdal_alg.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/mount.h>

namespace fs = std::filesystem;

namespace {

constexpr int kW = 120, kH = 80;

// Sheet.inf: 51.36.25N 000.18.50W to 51.30.00N 000.06.75W.
Georef::ExportRequest Map(const std::string& picture, Georef::ExportFormat format,
                          const std::string& folder, bool replace, Georef::Datum datum) {
    const MapCode::Georeference placed(-(0 * 60 + 18.5f), 51 * 60 + 36.25f, -(0 * 60 + 6.75f),
                                       51 * 60 + 30.0f, kW, kH);
    return {"Sheet.inf", picture, placed, format, folder, replace, datum, {}};
}

// Where GDAL puts the outer corners (top-left, bottom-right) of the picture an exported file
// describes, in degrees of `epsg` (longitude first).
std::array<double, 4> CornersGdalReads(const std::string& path, int epsg) {
    GDALAllRegister();
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    EXPECT_NE(ds, nullptr) << path << ": " << CPLGetLastErrorMsg();
    if (!ds) return {};
    const std::string option = "DST_SRS=" + Rasters::Prj(epsg, nullptr);
    const char* options[] = {option.c_str(), nullptr};
    void* t = GDALCreateGenImgProjTransformer2(ds, nullptr, const_cast<char**>(options));
    EXPECT_NE(t, nullptr) << CPLGetLastErrorMsg();
    const double w = GDALGetRasterXSize(ds), h = GDALGetRasterYSize(ds);
    double x[] = {0, w}, y[] = {0, h}, z[2] = {};
    int ok[2] = {};
    if (t) GDALGenImgProjTransform(t, FALSE, 2, x, y, z, ok);
    if (t) GDALDestroyGenImgProjTransformer(t);
    GDALClose(ds);
    return {x[0], y[0], x[1], y[1]};
}

} // namespace

// Each export opens in GDAL (as in GIS programs) with the picture where its definition puts it.
TEST(Export, OtherProgramsPlaceTheMapWhereItsDefinitionDoes) {
    TempHost host;
    const std::string maps = host.Root() + "/Maps", out = host.Root() + "/out";
    TempHost::MakeFolder(maps);
    TempHost::MakeFolder(out);
    Rasters::Write("JPEG", maps + "/sheet.jpg", kW, kH, 3, Rasters::Dots(kW, kH, {}), nullptr, 0);
    // The corners in degrees; in WGS 84 as gdaltransform (PROJ) shifts them.
    const std::array<double, 4> osgb{-18.5 / 60, 51 + 36.25 / 60, -6.75 / 60, 51.5};
    const auto shifted =
        Rasters::Gdaltransform("-s_srs EPSG:4277 -t_srs EPSG:4326",
                               {{osgb[0], osgb[1]}, {osgb[2], osgb[3]}}, host.Root() + "/points");
    const std::array<double, 4> wgs84{shifted[0][0], shifted[0][1], shifted[1][0], shifted[1][1]};

    using Georef::Datum;
    using Format = Georef::ExportFormat;
    const struct Case {
        Format format;
        Datum datum;
        std::string folder, opens; // the folder written to, the file GDAL opens
        int epsg;
        std::array<double, 4> corners;
        double degrees; // how close: a KML box cannot follow the datum shift's change across it
    } cases[] = {
        {Format::World, Datum::OSGB36, "", maps + "/sheet.jpg", 4277, osgb, 1e-9},
        // Elsewhere the world file comes with a copy of the picture, which it places.
        {Format::World, Datum::OSGB36, out, out + "/sheet.jpg", 4277, osgb, 1e-9},
        {Format::Ozi, Datum::OSGB36, "", maps + "/sheet.map", 4277, osgb, 1e-7},
        {Format::Ozi, Datum::WGS84, out, out + "/sheet.map", 4326, osgb, 1e-7},
        {Format::Kmz, Datum::OSGB36, out, out + "/Sheet.kmz", 4326, wgs84, 1e-5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opens);
        const auto request = Map(maps + "/sheet.jpg", c.format, c.folder, true, c.datum);
        const auto written = Georef::Export(request);
        for (const auto& file : written) EXPECT_TRUE(fs::is_regular_file(file)) << file;
        if (c.format == Format::World) {
            // GDAL reads the world file by itself; the .prj must name the datum.
            ASSERT_EQ(written.size(), c.folder.empty() ? 2u : 3u);
            EXPECT_EQ(written[1], (c.folder.empty() ? maps : c.folder) + "/sheet.prj");
            OGRSpatialReference prj, datum;
            ASSERT_EQ(prj.SetFromUserInput(TempHost::Read(written[1]).c_str()), OGRERR_NONE);
            datum.importFromEPSG(4277);
            EXPECT_TRUE(prj.IsSame(&datum));
        }
        const auto got = CornersGdalReads(c.opens, c.epsg);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(got[std::size_t(i)], c.corners[std::size_t(i)], c.degrees) << i;
    }
}

// The .prj of each datum is the text GDAL writes for it.
TEST(Export, DatumPrjIsWhatGdalWrites) {
    for (const auto& [datum, epsg] :
         {std::pair{Georef::Datum::OSGB36, 4277}, std::pair{Georef::Datum::WGS84, 4326}}) {
        OGRSpatialReference srs;
        ASSERT_EQ(srs.importFromEPSG(epsg), OGRERR_NONE);
        char* text = nullptr;
        const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
        srs.exportToWkt(&text, options);
        EXPECT_EQ(Georef::DatumPrj(datum), text ? text : "") << epsg;
        CPLFree(text);
    }
}

// An export replaces nothing unasked, and a symbolic link at its name is replaced by the file,
// never written through.
TEST(Export, NeverReplacesUnaskedNorWritesThroughALink) {
    TempHost host;
    const std::string maps = host.Root() + "/Maps", elsewhere = host.Root() + "/elsewhere.txt";
    TempHost::MakeFolder(maps);
    Rasters::Write("JPEG", maps + "/sheet.jpg", kW, kH, 1, Rasters::Dots(kW, kH, {}), nullptr, 0);
    auto request =
        Map(maps + "/sheet.jpg", Georef::ExportFormat::Ozi, "", false, Georef::Datum::OSGB36);
    const std::string target = maps + "/sheet.map";

    TempHost::Write(elsewhere, "keep");
    for (bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "dangling link" : "link");
        fs::remove(target);
        fs::create_symlink(dangling ? host.Root() + "/nowhere" : elsewhere, target);
        request.replace = false;
        try {
            Georef::Export(request);
            ADD_FAILURE() << "written";
        } catch (const Georef::Error& e) {
            EXPECT_EQ(e.kind(), Georef::Error::Kind::Exists);
            EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(host.Root() + "/nowhere"));
        request.replace = true;
        Georef::Export(request);
        EXPECT_FALSE(fs::is_symlink(target));
        EXPECT_EQ(TempHost::Read(elsewhere), "keep");
        EXPECT_FALSE(fs::exists(host.Root() + "/nowhere"));
    }
    // A plain file is replaced only on request too.
    TempHost::Write(target, "mine");
    request.replace = false;
    EXPECT_THROW(Georef::Export(request), Georef::Error);
    EXPECT_EQ(TempHost::Read(target), "mine");
}

// Onto a full disc each export says so in the system's words and leaves no file of its own (the
// disc is a small file system of memory, where the system lets the test make one); a KMZ export
// cancelled on its way leaves none either.
TEST(Export, AFullDiscOrACancelLeavesNoFile) {
    TempHost host;
    const std::string maps = host.Root() + "/Maps", out = host.Root() + "/out";
    TempHost::MakeFolder(maps);
    TempHost::MakeFolder(out);
    Rasters::Write("JPEG", maps + "/sheet.jpg", kW, kH, 3, Rasters::Dots(kW, kH, {}), nullptr, 0);
    auto kmz =
        Map(maps + "/sheet.jpg", Georef::ExportFormat::Kmz, out, false, Georef::Datum::OSGB36);
    kmz.progress = [](double) { return false; };
    EXPECT_THROW(Georef::Export(kmz), Georef::Error);
    EXPECT_TRUE(fs::is_empty(out));

    if (::mount("tmpfs", out.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no file system of memory may be made here: " << std::strerror(errno);
    const std::unique_ptr<const char, int (*)(const char*)> mounted(out.c_str(), ::umount);
    {
        std::ofstream filler(out + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), std::streamsize(block.size()))) {
        }
    }
    using Format = Georef::ExportFormat;
    const struct {
        Format format;
        const char* says; // the system's words where the system writes, the device formats' own
    } cases[] = {{Format::Kmz, "Disk full"},
                 {Format::Ozi, "Disk full"},
                 {Format::World, "Disk full"},
                 {Format::MbTiles, "the disc is full"},
                 {Format::GeoPackage, "the disc is full"},
                 {Format::Pdf, "the disc is full"},
                 {Format::GarminKmz, "the disc is full"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        try {
            Georef::ExportFiles(
                Map(maps + "/sheet.jpg", c.format, out, false, Georef::Datum::OSGB36));
            ADD_FAILURE() << "written";
        } catch (const Georef::Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
    }
}
