// OziExplorer .map and world-file exports, written without GDAL.
#include "georef/TextExports.h"

#include "georef/TargetNames.h"
#include "georef/WholeFiles.h"
#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace Georef::Detail {

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Degrees and minutes as OziExplorer writes a calibration point's latitude or longitude.
std::string OziAngle(double degrees, const char* positive, const char* negative) {
    const double value = std::fabs(degrees);
    double whole = std::floor(value);
    double minutes = (value - whole) * 60;
    if (minutes >= 59.9999995) minutes = 0, whole += 1;
    return Number(whole, 0) + "," + Number(minutes, 6) + "," + (degrees < 0 ? negative : positive);
}

std::string Xml(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

// The picture's file name when the .map lies beside it, as OziExplorer looks for it there;
// elsewhere its full path.
std::string OziImage(const std::string& picturePath, const std::string& path) {
    const fs::path picture(picturePath);
    std::error_code ec;
    return fs::equivalent(fs::path(path).parent_path(), picture.parent_path(), ec)
               ? picture.filename().string()
               : fs::absolute(picture, ec).lexically_normal().string();
}

// The calibration's four points, corners of the picture: top-left, top-right, bottom-right,
// bottom-left, in pixels and in degrees of the request's datum.
std::string OziPoints(const ExportRequest& request) {
    const MapCode::Georeference& g = request.georeference;
    const double north = g.TopLeftLatitude() / 60.0, west = g.TopLeftLongitude() / 60.0;
    const double south = g.BottomRightLatitude() / 60.0, east = g.BottomRightLongitude() / 60.0;
    const double lat[] = {north, north, south, south}, lon[] = {west, east, east, west};
    const double xs[] = {0, double(g.Width()), double(g.Width()), 0};
    const double ys[] = {0, 0, double(g.Height()), double(g.Height())};
    std::string out;
    for (int i = 0; i < 30; ++i) {
        char label[16];
        std::snprintf(label, sizeof label, "Point%02d", i + 1);
        if (i < 4)
            out += std::string(label) + ",xy," + Number(xs[i], 0) + "," + Number(ys[i], 0) +
                   ",in, deg," + OziAngle(lat[i], "N", "S") + "," + OziAngle(lon[i], "E", "W") +
                   ", grid, , , ,N\r\n";
        else
            out += std::string(label) + ",xy, , ,in, deg, , ,N, , ,W, grid, , , ,N\r\n";
    }
    out += "Projection Setup,,,,,,,,,,\r\n"
           "Map Feature = MF ; Map Comment = MC     These follow if they exist\r\n"
           "Track File = TF      These follow if they exist\r\n"
           "Moving Map Parameters = MM?    These follow if they exist\r\n"
           "MM0,Yes\r\nMMPNUM,4\r\n";
    for (int i = 0; i < 4; ++i)
        out += "MMPXY," + std::to_string(i + 1) + "," + Number(xs[i], 0) + "," + Number(ys[i], 0) +
               "\r\n";
    for (int i = 0; i < 4; ++i)
        out += "MMPLL," + std::to_string(i + 1) + "," + Number(lon[i], 9) + "," +
               Number(lat[i], 9) + "\r\n";
    return out;
}

std::string Ozi(const ExportRequest& request, const std::string& path) {
    return "OziExplorer Map Data File Version 2.2\r\n" +
           Platform::Cp1252ToUtf8(NameStem(request.name)) + "\r\n" +
           OziImage(request.picture, path) + "\r\n" + "1 ,Map Code,\r\n" +
           (request.datum == Datum::WGS84 ? "WGS 84" : "Ord Srvy Grt Britn") +
           ",WGS 84,   0.0000,   0.0000,WGS 84\r\n"
           "Reserved 1\r\nReserved 2\r\nMagnetic Variation,,,E\r\n"
           "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n" +
           OziPoints(request) + "IWH,Map Image Width/Height," +
           std::to_string(request.georeference.Width()) + "," +
           std::to_string(request.georeference.Height()) + "\r\n";
}

// Copies the picture to `path`, replacing what is there as a whole.
void CopyPicture(const std::string& picture, const std::string& path) {
    const auto copy = [&](const std::string& temp, std::string& why) {
        std::ifstream in(picture, std::ios::binary);
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        std::vector<char> buffer(1 << 20);
        while (in && out) {
            in.read(buffer.data(), std::streamsize(buffer.size()));
            out.write(buffer.data(), in.gcount());
        }
        out.close();
        // A failed write leaves `why` empty and the system's errno, which the replace words as
        // it words its own (a full disc: "Disk full").
        const int err = errno;
        if (!in.eof()) why = "the picture " + picture + " cannot be read";
        errno = err;
        return why.empty() && out;
    };
    std::string why;
    if (!Platform::ReplaceFileAtName(path, copy, &why))
        throw Error(Error::Kind::Failed, path + " could not be written: " + why + ".");
}

std::string WorldFile(const MapCode::Georeference& georeference) {
    std::string out;
    for (const auto& line : MapCode::WorldFileLines(georeference)) out += line + "\r\n";
    return out;
}

} // namespace

std::vector<std::string> CheckedTargets(const ExportRequest& request) {
    if (!request.georeference.HasSize() || request.picture.empty())
        throw Error(Error::Kind::Refused,
                    "The map " + request.name + " has no picture of known size to export.");
    auto targets = ExportTargets(request);
    if (!request.replace)
        for (const auto& target : targets)
            if (Occupied(target)) throw Error(Error::Kind::Exists, target + " exists already.");
    return targets;
}

std::vector<std::string> ExportText(const ExportRequest& request) {
    const auto targets = CheckedTargets(request);
    if (request.format == ExportFormat::Ozi) {
        WriteWhole(targets[0], Ozi(request, targets[0]));
        return targets;
    }
    // The picture first: without it the world file places nothing.
    if (targets.size() > 2) CopyPicture(request.picture, targets[2]);
    WriteWhole({{targets[0], WorldFile(request.georeference)},
                {targets[1], PrjText(request.datum) + "\r\n"}});
    return targets;
}

std::string PrjText(Datum datum) {
    // A degree is pi / 180 radians, as GDAL writes it to 16 places.
    const std::string unit = "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";
    if (datum == Datum::WGS84)
        return "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,"
               "298.257223563]]," +
               unit;
    return "GEOGCS[\"GCS_OSGB_1936\",DATUM[\"D_OSGB_1936\",SPHEROID[\"Airy_1830\",6377563.396,"
           "299.3249646]]," +
           unit;
}

} // namespace Georef::Detail
