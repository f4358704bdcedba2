// MBTiles and GeoPackage tile sets: web-Mercator tiles on the tile grid, every level warped from
// the pictures themselves and written through GDAL's writers into their own levels, so each tile
// is encoded once.
#include "georef/DeviceExport.h"

#include <gdal_alg.h>
#include <ogr_spatialref.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace Georef::Detail {
namespace {

// Web Mercator's square world: half its side in metres (pi times the sphere's radius), and the
// tile side in pixels.
constexpr double kHalfWorld = 20037508.342789244;
constexpr int kTile = 256;

double TileMetres(int zoom) {
    return 2 * kHalfWorld / std::ldexp(1.0, zoom);
}

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The tile set's levels and its raster: whole tiles of the coarsest level, so every level's
// tiles start on its grid.
struct Grid {
    double minX = 0, minY = 0, maxX = 0, maxY = 0; // the pictures' extent, metres
    int minZoom = 0, maxZoom = 0;
    double originX = 0, originY = 0; // top-left of the raster
    int tilesX = 0, tilesY = 0;      // at minZoom
    int Width(int zoom) const { return tilesX * kTile << (zoom - minZoom); }
    int Height(int zoom) const { return tilesY * kTile << (zoom - minZoom); }
};

Grid MercatorGrid(const ExportRequest& request, GDALDatasetH source) {
    double extent[4], resolution = 0;
    if (!ExtentIn(source, "EPSG:3857", extent, &resolution))
        throw Error(Error::Kind::Refused,
                    "The map " + request.name + " cannot be put into web Mercator.");
    Grid g{extent[0], extent[1], extent[2], extent[3]};
    // The first level as fine as the map (not the nearest), down to the first whose one tile
    // holds the map's extent.
    while (g.maxZoom < 24 && TileMetres(g.maxZoom) / kTile > resolution * (1 + 1e-9)) ++g.maxZoom;
    g.minZoom = g.maxZoom;
    while (g.minZoom > 0 &&
           (g.maxX - g.minX > TileMetres(g.minZoom) || g.maxY - g.minY > TileMetres(g.minZoom)))
        --g.minZoom;
    const double t = TileMetres(g.minZoom);
    const double tiles = std::ldexp(1.0, g.minZoom);
    const double left = std::floor((g.minX + kHalfWorld) / t);
    const double right = std::min(tiles, std::ceil((g.maxX + kHalfWorld) / t));
    const double top = std::floor((kHalfWorld - g.maxY) / t);
    const double bottom = std::min(tiles, std::ceil((kHalfWorld - g.minY) / t));
    g.originX = -kHalfWorld + left * t;
    g.originY = kHalfWorld - top * t;
    g.tilesX = int(std::max(1.0, right - left));
    g.tilesY = int(std::max(1.0, bottom - top));
    if (double(g.Width(g.maxZoom)) * g.Height(g.maxZoom) > 4e12 || g.Width(g.maxZoom) > 1 << 30)
        throw Error(Error::Kind::Refused, "The map " + request.name + " is too large to tile.");
    return g;
}

// Draws one level's layers into the level's bands, a strip of tiles at a time; false when the
// progress cancels, with GDAL's reason in `why` when a read or write fails.
bool CopyLevel(const ExportRequest& request, Composite& level, int width, int height,
               GDALRasterBandH bands[4], bool jpeg, double& done, double total, std::string& why) {
    constexpr int kStrip = 8 * kTile; // columns at a time: memory stays small whatever the width
    std::vector<unsigned char> pixels;
    ErrorCapture errors;
    for (int y = 0; y < height; y += kTile) {
        for (int x = 0; x < width; x += kStrip) {
            const int w = std::min(kStrip, width - x), h = std::min(kTile, height - y);
            const std::size_t plane = std::size_t(w) * std::size_t(h);
            if (!level.Read(x, y, w, h, jpeg, pixels, why)) return false;
            // A strip of no map is no tile: the writers leave it out.
            const unsigned char* cover = pixels.data() + 3 * plane;
            const bool any = cover[0] || std::memcmp(cover, cover + 1, plane - 1) != 0;
            for (int b = 0; b < 4 && any; ++b)
                if (GDALRasterIO(bands[b], GF_Write, x, y, w, h, pixels.data() + b * plane, w, h,
                                 GDT_Byte, 0, 0) != CE_None)
                    return why = errors.Reason("the tiles cannot be written"), false;
            done += double(plane);
            if (!Going(request, done / total)) return false;
        }
        // The row's tiles written now: left in the cache they would push out the pictures' rows.
        for (int b = 0; b < 4; ++b)
            if (GDALFlushRasterCache(bands[b]) != CE_None)
                return why = errors.Reason("the tiles cannot be written"), false;
    }
    return true;
}

// Warps the source onto each level's grid and writes it into that level of `out`.
bool WriteLevels(const ExportRequest& request, const ExportSource& source, const Grid& g,
                 GDALDatasetH out, bool jpeg, std::string& why) {
    double total = 0, done = 0;
    for (int z = g.minZoom; z <= g.maxZoom; ++z) total += double(g.Width(z)) * g.Height(z);
    // The coarser levels made, empty ("NONE" computes nothing), to be written one by one.
    std::vector<int> factors;
    for (int z = g.maxZoom - 1; z >= g.minZoom; --z) factors.push_back(1 << (g.maxZoom - z));
    ErrorCapture errors;
    if (!factors.empty() && GDALBuildOverviews(out, "NONE", int(factors.size()), factors.data(), 0,
                                               nullptr, nullptr, nullptr) != CE_None)
        return why = errors.Reason("the levels cannot be made"), false;
    for (int z = g.maxZoom; z >= g.minZoom; --z) {
        const int level = g.maxZoom - z; // 0 the raster itself, then its overviews
        GDALRasterBandH bands[4];
        for (int b = 0; b < 4; ++b) {
            GDALRasterBandH band = GDALGetRasterBand(out, b + 1);
            bands[b] = level == 0 ? band : GDALGetOverview(band, level - 1);
            if (!bands[b] || GDALGetRasterBandXSize(bands[b]) != g.Width(z))
                return why = "the writer has no level " + std::to_string(z), false;
        }
        const double pixel = TileMetres(z) / kTile;
        const TargetGrid grid{"EPSG:3857",
                              g.originX,
                              g.originY - g.Height(z) * pixel,
                              g.originX + g.Width(z) * pixel,
                              g.originY,
                              g.Width(z),
                              g.Height(z)};
        Composite composite(source, grid, request.memoryLimit / 8, why);
        if (!composite.Ok() ||
            !CopyLevel(request, composite, g.Width(z), g.Height(z), bands, jpeg, done, total, why))
            return false;
    }
    return true;
}

// The extent the tile set declares: the pictures', not the whole tiles'; an MBTiles file's
// first level too (its writer counts the levels it made empty as its own).
bool DeclareExtent(const Grid& g, const std::string& file, bool mbtiles, std::string& why) {
    ErrorCapture errors;
    std::vector<std::string> sql;
    if (mbtiles) {
        OGRSpatialReference merc, wgs84;
        merc.importFromEPSG(3857);
        wgs84.importFromEPSG(4326);
        wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        std::unique_ptr<OGRCoordinateTransformation> t(
            OGRCreateCoordinateTransformation(&merc, &wgs84));
        double x[] = {g.minX, g.maxX}, y[] = {g.minY, g.maxY};
        if (!t || !t->Transform(2, x, y)) return why = errors.Reason("PROJ failed"), false;
        sql = {"INSERT INTO metadata (name, value) VALUES ('bounds', '" + Number(x[0]) + "," +
                   Number(y[0]) + "," + Number(x[1]) + "," + Number(y[1]) + "')",
               "UPDATE metadata SET value = '" + std::to_string(g.minZoom) +
                   "' WHERE name = 'minzoom'"};
    } else {
        sql = {"UPDATE gpkg_contents SET min_x = " + Number(g.minX) + ", min_y = " +
               Number(g.minY) + ", max_x = " + Number(g.maxX) + ", max_y = " + Number(g.maxY)};
    }
    // The MBTiles writer has no way to say it; SQLite's driver opens the file by content.
    const char* drivers[] = {mbtiles ? "SQLite" : "GPKG", nullptr};
    GdalDataset db(
        GDALOpenEx(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, nullptr, nullptr));
    if (!db) return why = errors.Reason("the file cannot be opened again"), false;
    for (const auto& statement : sql)
        GDALDatasetExecuteSQL(db.get(), statement.c_str(), nullptr, nullptr);
    db.reset();
    if (CPLGetLastErrorType() >= CE_Failure) return why = errors.Reason("SQLite failed"), false;
    return true;
}

// The writer's options: the tiles' format, and the set's name and type (MBTiles) or table
// (GeoPackage).
std::vector<std::string> CreationOptions(const ExportRequest& request, const std::string& title,
                                         bool jpeg) {
    std::vector<std::string> options{jpeg ? "TILE_FORMAT=JPEG" : "TILE_FORMAT=PNG",
                                     "QUALITY=" + std::to_string(request.quality)};
    if (request.format == ExportFormat::MbTiles)
        options.insert(options.end(), {"NAME=" + title, "DESCRIPTION=" + title, "TYPE=overlay",
                                       "WRITE_BOUNDS=NO"});
    else
        options.insert(options.end(), {"TILING_SCHEME=GoogleMapsCompatible",
                                       "RASTER_TABLE=" + title, "RASTER_IDENTIFIER=" + title});
    return options;
}

} // namespace

ExportResult WriteTiles(const ExportRequest& request, const std::string& path) {
    const bool mbtiles = request.format == ExportFormat::MbTiles;
    const ExportSource source = OpenExportSource(request);
    const Grid g = MercatorGrid(request, source.pixels.get());
    const bool jpeg = source.allJpeg;
    ReplaceWith(request, path, [&](const std::string& temp, bool& cancelled) -> std::string {
        // GDAL's tile writers make their own file, known by its extension: written beside the
        // temporary file and then put in its place.
        const std::string made = temp + (mbtiles ? ".mbtiles" : ".gpkg");
        struct Remove {
            std::string path;
            ~Remove() {
                std::error_code ec;
                for (const char* end : {"", "-journal", "-wal", "-shm"}) fs::remove(path + end, ec);
            }
        } remove{made};
        const std::vector<std::string> texts = CreationOptions(request, source.title, jpeg);
        std::vector<const char*> options;
        for (const auto& o : texts) options.push_back(o.c_str());
        options.push_back(nullptr);
        ErrorCapture errors;
        GdalDataset out(GDALCreate(GDALGetDriverByName(mbtiles ? "MBTiles" : "GPKG"), made.c_str(),
                                   g.Width(g.maxZoom), g.Height(g.maxZoom), 4, GDT_Byte,
                                   const_cast<char**>(options.data())));
        if (!out) return errors.Reason("GDAL cannot make it");
        double geotransform[] = {g.originX, TileMetres(g.maxZoom) / kTile, 0, g.originY,
                                 0,         -TileMetres(g.maxZoom) / kTile};
        OGRSpatialReference merc;
        merc.importFromEPSG(3857);
        GDALSetGeoTransform(out.get(), geotransform);
        GDALSetSpatialRef(out.get(), OGRSpatialReference::ToHandle(&merc));
        std::string why;
        if (!WriteLevels(request, source, g, out.get(), jpeg, why))
            return cancelled = why.empty(), why.empty() ? "cancelled" : why;
        CPLErrorReset();
        out.reset(); // writes the last tiles
        if (CPLGetLastErrorType() >= CE_Failure) return errors.Reason("the write failed");
        // SQLite's driver takes no file named .mbtiles: the extent is declared in the file's
        // own place; a GeoPackage's before it goes there.
        if (!mbtiles && !DeclareExtent(g, made, mbtiles, why)) return why;
        std::error_code ec;
        fs::rename(made, temp, ec);
        if (!ec && mbtiles && !DeclareExtent(g, temp, mbtiles, why)) return why;
        return ec ? ec.message() : "";
    });
    ExportResult result;
    result.paths = {path};
    result.minZoom = g.minZoom;
    result.maxZoom = g.maxZoom;
    return result;
}

} // namespace Georef::Detail
