// varnet-maps find PLACE: every map whose corners contain a place, best fit first.
#include "cli/Cli.h"

#include "grids/Grids.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>

namespace Cli {
namespace {

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Columns for a person: name, scale, extent and state.
std::string Table(const Library::MapLibrary& library, const std::vector<int>& found,
                  float latitude) {
    std::vector<std::array<std::string, 4>> rows{{"NAME", "M/PIXEL", "EXTENT KM", "STATE"}};
    for (const int i : found) {
        const Library::Entry& e = library.Probed(i);
        const MapCode::Georeference placed = e.Corners().value(); // found by its corners
        const double scale = placed.MetresPerPixel(latitude);
        const auto [across, down] = placed.ExtentKm(latitude);
        rows.push_back({Platform::Cp1252ToUtf8(e.name), scale > 0 ? Fixed(scale, 1) : "-",
                        Fixed(across, 1) + " x " + Fixed(down, 1), Library::StateName(e.state)});
    }
    return Aligned(rows);
}

} // namespace

int Find(const Arguments& arguments, Model& model) {
    if (arguments.operands.empty()) return Fail("find needs a PLACE");
    const Georef::Datum datum = LibraryDatum();
    const Grids::Place place = Grids::ReadPlace(Joined(arguments.operands), datum);
    if (!place.ok) return Fail("the place cannot be read: " + place.error);
    // Minutes of arc in single precision, as the corners it is compared with are held.
    const float latitude = float(place.latitude * 60), longitude = float(place.longitude * 60);

    const std::string folder = MapsFolder(arguments);
    if (folder.empty()) return kFailed;
    // The definitions say which maps cover the place; only their pictures are read.
    if (!LoadLibrary(model.maps, folder, Library::Depth::Definitions)) return kFailed;
    const Library::MapLibrary& library = model.maps;
    const std::vector<int> found = model.places.Covering(latitude, longitude);

    if (arguments.json) {
        std::string out;
        for (const int i : found) {
            const Library::Entry& e = library.Probed(i);
            nlohmann::json o = EntryObject(e);
            const double scale = e.Corners().value().MetresPerPixel(latitude);
            o["metresPerPixel"] = scale > 0 ? nlohmann::json(scale) : nlohmann::json(nullptr);
            out += JsonLine(o);
        }
        Write(out);
    } else {
        Write(Grids::DescribePlace(place, datum) + "\n" +
              (found.empty() ? std::string("No map covers this place.\n")
                             : Table(library, found, latitude)));
    }
    return found.empty() ? kSome : kOk;
}

} // namespace Cli
