// Exports that need GDAL: the KMZ ground overlay (its archive and the datum shift) and the device
// formats; the others are text (TextExports.h).
#include "georef/DeviceExport.h"
#include "georef/GdalSupport.h"
#include "georef/TextExports.h"

#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <cpl_conv.h>
#include <gdal.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace Georef {
using namespace Detail;
namespace {

// Latitude and longitude of the picture's four corners (top-left, top-right, bottom-right,
// bottom-left), degrees, in `to`.
std::array<std::array<double, 2>, 4> Corners(const ExportRequest& request, Datum from, Datum to) {
    const MapCode::Georeference& g = request.georeference;
    const double north = g.TopLeftLatitude() / 60.0, west = g.TopLeftLongitude() / 60.0;
    const double south = g.BottomRightLatitude() / 60.0, east = g.BottomRightLongitude() / 60.0;
    std::array<std::array<double, 2>, 4> c{
        {{north, west}, {north, east}, {south, east}, {south, west}}};
    if (from != to) {
        OGRSpatialReference a = DatumSrs(from), b = DatumSrs(to);
        std::unique_ptr<OGRCoordinateTransformation> shift(
            OGRCreateCoordinateTransformation(&a, &b));
        for (auto& p : c)
            if (!shift || !shift->Transform(1, &p[1], &p[0]))
                throw Error(Error::Kind::Failed,
                            "The corners of " + request.name + " could not be shifted to WGS 84.");
    }
    return c;
}

std::string Kml(const ExportRequest& request, const std::string& href) {
    const auto c = Corners(request, request.datum, Datum::WGS84);
    const std::string name = Platform::Cp1252ToUtf8(NameStem(request.name));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
           "<GroundOverlay>\n"
           "  <name>" +
           Xml(name) +
           "</name>\n"
           "  <Icon><href>" +
           Xml(href) +
           "</href></Icon>\n"
           "  <LatLonBox>\n"
           "    <north>" +
           Number((c[0][0] + c[1][0]) / 2, 9) +
           "</north>\n"
           "    <south>" +
           Number((c[2][0] + c[3][0]) / 2, 9) +
           "</south>\n"
           "    <east>" +
           Number((c[1][1] + c[2][1]) / 2, 9) +
           "</east>\n"
           "    <west>" +
           Number((c[0][1] + c[3][1]) / 2, 9) +
           "</west>\n"
           "  </LatLonBox>\n"
           "</GroundOverlay>\n"
           "</kml>\n";
}

// Copies the picture into the archive's open entry, a MiB at a time, saying how far it got.
// False with `why` when the picture cannot be read (its reason), the archive cannot be written
// (why empty, errno the system's reason) or the progress function cancels (`cancelled` set).
bool CopyPicture(void* zip, const ExportRequest& request, std::string& why, bool& cancelled) {
    std::ifstream picture(request.picture, std::ios::binary | std::ios::ate);
    const double size = picture ? double(std::max<std::streamoff>(picture.tellg(), 1)) : 1;
    picture.seekg(0);
    std::vector<char> buffer(1 << 20);
    double copied = 0;
    while (picture) {
        picture.read(buffer.data(), std::streamsize(buffer.size()));
        if (picture.gcount() > 0 &&
            CPLWriteFileInZip(zip, buffer.data(), int(picture.gcount())) != CE_None)
            return false;
        copied += double(picture.gcount());
        if (request.progress && !request.progress(std::min(copied / size, 1.0)))
            return cancelled = true, false;
    }
    if (!picture.eof()) why = "the picture cannot be read";
    return picture.eof();
}

void WriteKmz(const ExportRequest& request, const std::string& path) {
    const std::string extension = Platform::Lower(fs::path(request.picture).extension().string());
    const std::string href = "files/map" + extension;
    const std::string kml = Kml(request, href);
    if (!fs::is_regular_file(request.picture))
        throw Error(Error::Kind::Failed,
                    path + " could not be written: the picture cannot be read.");
    bool cancelled = false;
    // GDAL writes the archive into the replace's own temporary file, which then takes the name.
    // A failed write leaves `why` empty and the system's errno, which the replace then words as
    // it words its own (a full disc: "Disk full").
    const auto zipTo = [&](const std::string& temp, std::string& why) {
        ErrorCapture errors;
        void* zip = CPLCreateZip(temp.c_str(), nullptr);
        if (!zip) return false;
        const char* stored[] = {"COMPRESSED=NO", nullptr}; // a picture is compressed already
        bool ok = CPLCreateFileInZip(zip, "doc.kml", nullptr) == CE_None &&
                  CPLWriteFileInZip(zip, kml.data(), int(kml.size())) == CE_None &&
                  CPLCloseFileInZip(zip) == CE_None &&
                  CPLCreateFileInZip(zip, href.c_str(), const_cast<char**>(stored)) == CE_None &&
                  CopyPicture(zip, request, why, cancelled) && CPLCloseFileInZip(zip) == CE_None;
        const int err = errno;
        ok = CPLCloseZip(zip) == CE_None && ok;
        if (!ok && why.empty() && !cancelled) why = err ? "" : errors.Reason("the write failed");
        errno = err;
        return ok;
    };
    std::string why;
    if (!Platform::ReplaceFileAtName(path, zipTo, &why)) {
        if (cancelled)
            throw Error(Error::Kind::Cancelled,
                        "The export of " + request.name + " was cancelled.");
        throw Error(Error::Kind::Failed, path + " could not be written: " + why + ".");
    }
}

// The device formats, within the request's memory (GDAL's cache is sized when the pictures are
// opened); nothing of the export is left beside the pictures (no .aux.xml).
ExportResult ExportForDevice(const ExportRequest& request, const std::string& path) {
    CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "NO");
    switch (request.format) {
    case ExportFormat::Pdf:
        return WritePdf(request, path);
    case ExportFormat::GarminKmz:
        return WriteGarminKmz(request, path);
    default:
        return WriteTiles(request, path);
    }
}

} // namespace

ExportResult Gdal::ExportFiles(const ExportRequest& request) {
    const bool area = !request.areaMaps.empty();
    if (area && !IsDeviceFormat(request.format))
        throw Error(Error::Kind::Refused, "An area is exported only in the device formats.");
    if (request.format == ExportFormat::Ozi || request.format == ExportFormat::World)
        return {ExportText(request)};
    if (!area && (!request.georeference.HasSize() || request.picture.empty()))
        throw Error(Error::Kind::Refused,
                    "The map " + request.name + " has no picture of known size to export.");
    EnsureGdal();
    const auto targets = ExportTargets(request);
    if (!request.replace)
        for (const auto& target : targets)
            if (Occupied(target)) throw Error(Error::Kind::Exists, target + " exists already.");
    if (IsDeviceFormat(request.format)) return ExportForDevice(request, targets[0]);
    WriteKmz(request, targets[0]);
    return {targets};
}

} // namespace Georef
