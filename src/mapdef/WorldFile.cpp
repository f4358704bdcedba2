#include "mapdef/MapCode.h"

#include "platform/FileIO.h"
#include "platform/Text.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace MapCode {
namespace {

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw CoreError(ErrorKind::FileError, "The world file " + path + " " + why);
}

// The image's name without its extension, and its extension (lower case, without the dot).
std::pair<std::string, std::string> SplitExtension(const std::string& imagePath) {
    const std::size_t dot = imagePath.rfind('.');
    const std::size_t slash = imagePath.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {imagePath, ""};
    return {imagePath.substr(0, dot), Platform::Lower(imagePath.substr(dot + 1))};
}

// A number as world files write them: a sign, digits, a point and an exponent, never the
// user's locale.
std::optional<double> Number(const std::string& text) {
    const std::string t = Trim(text);
    const char* begin = t.c_str() + (t.size() > 1 && t[0] == '+' ? 1 : 0);
    double value = 0;
    const auto r = std::from_chars(begin, t.c_str() + t.size(), value);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.c_str() + t.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A number as a message shows it, in as few digits as say it (529050, 0.5, 1e+307).
std::string Shown(double value) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return r.ec == std::errc() ? std::string(text, r.ptr) : std::string("?");
}

// A number as Varnet writes world files: fixed, with digits enough for far below a hundredth of
// a pixel. A value too long for that (none a definition's corners give) is written with an
// exponent, which readers take as well.
std::string Fixed(double value) {
    char text[64];
    auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 15);
    if (r.ec != std::errc())
        r = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 15);
    return std::string(text, r.ptr);
}

// One outer corner (`which`: "top-left", "bottom-right") in minutes of arc, latitude then
// longitude; a corner that is no place on the Earth is refused, saying which and why.
std::pair<float, float> Corner(const std::string& worldPath, const char* which, WorldUnits units,
                               double x, double y) {
    double lat = y, lon = x;
    std::string where = "latitude " + Shown(lat) + ", longitude " + Shown(lon);
    auto refuse = [&](const std::string& why) {
        Fail(worldPath,
             std::string("puts the picture's ") + which + " corner at " + where + ", " + why + ".");
    };
    if (units == WorldUnits::NationalGrid) {
        where = Shown(x) + " m east, " + Shown(y) + " m north on the British National Grid";
        try {
            EastNorthToLatLon(x, y, lat, lon);
        } catch (const CoreError&) {
            refuse("too far from the grid for a latitude and longitude");
        }
    }
    if (!(std::fabs(lat) <= 90))
        refuse(lat > 0 ? "beyond the north pole" : "beyond the south pole");
    if (!(std::fabs(lon) <= 180))
        refuse(lon > 0 ? "beyond 180 degrees east" : "beyond 180 degrees west");
    return {float(lat * 60), float(lon * 60)};
}

// The outer corners of an image's corner pixels (minutes of arc: top-left latitude and
// longitude, then bottom-right), refused when they are no places or their texts coincide.
std::array<float, 4> Corners(const WorldFile& world, WorldUnits units, int width, int height,
                             const std::string& worldPath) {
    // The centre of the top-left pixel, half a pixel back: the outer corner.
    const double left = world.centreX - world.pixelWidth / 2;
    const double top = world.centreY - world.pixelHeight / 2;
    const auto [tlLat, tlLon] = Corner(worldPath, "top-left", units, left, top);
    const auto [brLat, brLon] =
        Corner(worldPath, "bottom-right", units, left + world.pixelWidth * width,
               top + world.pixelHeight * height);
    // A definition whose corners coincide places nothing (and divides by its extent).
    std::string topLeftLatitude, topLeftLongitude, bottomRightLatitude, bottomRightLongitude;
    FormatPosition(tlLat, tlLon, topLeftLatitude, topLeftLongitude);
    FormatPosition(brLat, brLon, bottomRightLatitude, bottomRightLongitude);
    const bool sameLatitude = topLeftLatitude == bottomRightLatitude;
    if (sameLatitude || topLeftLongitude == bottomRightLongitude)
        Fail(worldPath,
             "gives pixels so small that the picture's corners coincide: both lie at " +
                 (sameLatitude ? "latitude " + topLeftLatitude : "longitude " + topLeftLongitude) +
                 ".");
    return {tlLat, tlLon, brLat, brLon};
}

} // namespace

std::string FindWorldFile(const std::string& imagePath) {
    const std::string extension = SplitExtension(imagePath).second;
    // The picture's own kinds first, in the order looked for; .wld for any picture last.
    static constexpr std::pair<const char*, const char*> kNames[] = {
        {"jpg", ".jgw"},  {"jpg", ".jpgw"}, {"jpeg", ".jgw"}, {"jpeg", ".jpgw"}, {"gif", ".gfw"},
        {"gif", ".gifw"}, {"bmp", ".bfw"},  {"bmp", ".bpw"},  {"bmp", ".bmpw"},  {"", ".wld"}};
    for (const auto& [picture, world] : kNames) {
        if (*picture != '\0' && extension != picture) continue;
        const std::string found = Platform::FindCompanion(imagePath, world);
        if (!found.empty() && FileExists(found)) return found;
    }
    return {};
}

std::string WorldFileNameFor(const std::string& imagePath) {
    const auto [stem, extension] = SplitExtension(imagePath);
    if (extension == "jpg" || extension == "jpeg") return stem + ".jgw";
    if (extension == "gif") return stem + ".gfw";
    if (extension == "bmp") return stem + ".bpw";
    return stem + ".wld";
}

namespace {

// Six numbers; a file larger than this is no world file.
constexpr std::uint64_t kMaxWorldFileBytes = 64 * 1024;

// The reader's steps; `open` makes the reader (a file, or bytes in memory) inside the catch.
template <class Open> WorldFile ReadWorld(Open open, const std::string& path) {
    std::vector<double> numbers;
    try {
        Platform::TextReader file = open();
        for (bool first = true; !file.Eof() && numbers.size() < 6; first = false) {
            std::string line = file.ReadLine();
            if (first) line.erase(0, Platform::ByteOrderMarkLength(line)); // an editor's mark
            if (Trim(line).empty()) continue;
            const auto n = Number(line);
            if (!n) Fail(path, "holds \"" + Trim(line) + "\" where a number belongs.");
            numbers.push_back(*n);
        }
    } catch (const CoreError& e) {
        if (e.Description().rfind("The world file", 0) == 0) throw;
        Fail(path, "cannot be read: " + e.Description() + ".");
    }
    if (numbers.size() < 6)
        Fail(path, "holds " + std::to_string(numbers.size()) + " of its six numbers.");
    const WorldFile w{numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5]};
    // A definition's two corners place only a picture whose rows run west to east and whose
    // columns run north to south; the import warps any other.
    const std::string warp = " Tools > Import Map... warps such a picture into one it can hold.";
    if (w.rotationY != 0 || w.rotationX != 0)
        Fail(path, "turns the picture (its rotation terms are not 0); a map definition holds "
                   "only pictures with north up." +
                       warp);
    if (w.pixelWidth == 0 || w.pixelHeight == 0) Fail(path, "gives a pixel size of 0.");
    if (w.pixelWidth < 0 || w.pixelHeight > 0)
        Fail(path, std::string("mirrors the picture (its pixel ") +
                       (w.pixelWidth < 0 ? "width is negative" : "height is positive") +
                       "); a map definition holds only pictures with north up and east to the "
                       "right." +
                       warp);
    return w;
}

} // namespace

WorldFile ReadWorldFile(const std::string& path) {
    return ReadWorld([&] { return Platform::TextReader(path, kMaxWorldFileBytes); }, path);
}

WorldFile ReadWorldFileBytes(const std::string& path, const std::string& bytes) {
    return ReadWorld(
        [&] {
            return Platform::TextReader(Platform::TextReader::InMemory{}, bytes,
                                        kMaxWorldFileBytes);
        },
        path);
}

WorldUnits UnitsOf(const WorldFile& world, const std::string& worldPath) {
    const double x = world.centreX, y = world.centreY;
    if (std::fabs(x) <= 180 && std::fabs(y) <= 90) return WorldUnits::Degrees;
    if (x >= 0 && x <= 700000 && y >= 0 && y <= 1300000) return WorldUnits::NationalGrid;
    Fail(worldPath, "places the picture at " + Shown(x) + ", " + Shown(y) +
                        ", neither degrees nor British National Grid metres.");
}

void WorldFileCorners(const WorldFile& world, WorldUnits units, int width, int height,
                      const std::string& worldPath, std::string& topLeftLatitude,
                      std::string& topLeftLongitude, std::string& bottomRightLatitude,
                      std::string& bottomRightLongitude) {
    const auto c = Corners(world, units, width, height, worldPath);
    FormatPosition(c[0], c[1], topLeftLatitude, topLeftLongitude);
    FormatPosition(c[2], c[3], bottomRightLatitude, bottomRightLongitude);
}

Georeference WorldFileGeoreference(const WorldFile& world, WorldUnits units, int width, int height,
                                   const std::string& worldPath) {
    const auto c = Corners(world, units, width, height, worldPath);
    return Georeference(c[1], c[0], c[3], c[2], width, height);
}

std::vector<std::string> WorldFileLines(const Georeference& georeference) {
    const double left = georeference.TopLeftLongitude() / 60.0;
    const double top = georeference.TopLeftLatitude() / 60.0;
    const double pixelWidth = georeference.DegreesPerPixelX();
    const double pixelHeight = georeference.DegreesPerPixelY();
    return {Fixed(pixelWidth),
            Fixed(0),
            Fixed(0),
            Fixed(pixelHeight),
            Fixed(left + pixelWidth / 2),
            Fixed(top + pixelHeight / 2)};
}

} // namespace MapCode
