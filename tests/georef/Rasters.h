#pragma once
// Georeferenced test pictures made with GDAL itself, and GDAL's own command-line tools as the
// reference a result is compared with.

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_spatialref.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace Rasters {

// Grey (200) pixels with black 3 x 3 dots centred on the given pixels; `bands` copies of it.
inline std::vector<unsigned char> Dots(int width, int height,
                                       const std::vector<std::array<int, 2>>& dots) {
    std::vector<unsigned char> pixels(std::size_t(width) * std::size_t(height), 200);
    for (const auto& d : dots)
        for (int y = d[1] - 1; y <= d[1] + 1; ++y)
            for (int x = d[0] - 1; x <= d[0] + 1; ++x)
                pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = 0;
    return pixels;
}

// Writes the pixels (`bands` equal bands) with the driver and its creation options, through an
// in-memory picture that carries the geotransform and coordinate system when given.
inline void Write(const std::string& driver, const std::string& path, int width, int height,
                  int bands, const std::vector<unsigned char>& pixels, const double* geotransform,
                  int epsg, const std::vector<const char*>& options = {}) {
    GDALAllRegister();
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    GDALDatasetH mem =
        GDALCreate(GDALGetDriverByName("MEM"), "", width, height, bands, GDT_Byte, nullptr);
    for (int b = 1; b <= bands; ++b)
        ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(mem, b), GF_Write, 0, 0, width, height,
                               const_cast<unsigned char*>(pixels.data()), width, height, GDT_Byte,
                               0, 0),
                  CE_None);
    if (geotransform) GDALSetGeoTransform(mem, const_cast<double*>(geotransform));
    if (epsg) {
        OGRSpatialReference srs;
        srs.importFromEPSG(epsg);
        GDALSetSpatialRef(mem, OGRSpatialReference::ToHandle(&srs));
    }
    std::vector<const char*> list = options;
    list.push_back(nullptr);
    GDALDatasetH out = GDALCreateCopy(GDALGetDriverByName(driver.c_str()), path.c_str(), mem, FALSE,
                                      const_cast<char**>(list.data()), nullptr, nullptr);
    ASSERT_NE(out, nullptr) << CPLGetLastErrorMsg();
    GDALClose(out);
    GDALClose(mem);
}

// Band 1 of a picture, and its size.
inline std::vector<unsigned char> Read(const std::string& path, int& width, int& height) {
    GDALAllRegister();
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    EXPECT_NE(ds, nullptr) << path;
    if (!ds) return {};
    width = GDALGetRasterXSize(ds);
    height = GDALGetRasterYSize(ds);
    std::vector<unsigned char> pixels(std::size_t(width) * std::size_t(height));
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, 0, width, height, pixels.data(),
                           width, height, GDT_Byte, 0, 0),
              CE_None);
    GDALClose(ds);
    return pixels;
}

// The coordinate system of an EPSG code as WKT, in a dialect such as "FORMAT=WKT1_ESRI".
inline std::string Prj(int epsg, const char* format) {
    OGRSpatialReference srs;
    srs.importFromEPSG(epsg);
    char* wkt = nullptr;
    const char* options[] = {format, nullptr};
    srs.exportToWkt(&wkt, options);
    std::string text = wkt;
    CPLFree(wkt);
    return text;
}

// gdaltransform run on the points ("x y" lines); its output points, two numbers each.
inline std::vector<std::array<double, 2>>
Gdaltransform(const std::string& arguments, const std::vector<std::array<double, 2>>& points,
              const std::string& scratch) {
    {
        std::ofstream in(scratch);
        in.precision(17);
        for (const auto& p : points) in << p[0] << " " << p[1] << "\n";
    }
    const std::string command = "gdaltransform " + arguments + " < '" + scratch + "'";
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<std::array<double, 2>> out;
    char line[256];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::array<double, 2> p{};
        std::istringstream(line) >> p[0] >> p[1];
        out.push_back(p);
    }
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << command;
    EXPECT_EQ(out.size(), points.size()) << command;
    out.resize(points.size());
    return out;
}

} // namespace Rasters
