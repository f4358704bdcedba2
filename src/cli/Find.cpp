// varnet-maps find PLACE: every map whose corners contain a place, best fit first.
#include "cli/Cli.h"

#include "mapdef/Place.h"
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
        const Library::Entry& e = library.Entries()[std::size_t(i)];
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
    // The place may come in several words, as a shell splits "TQ 290 800" left unquoted.
    std::string typed;
    for (const std::string& word : arguments.operands) typed += (typed.empty() ? "" : " ") + word;
    const MapCode::Place place = MapCode::ReadPlace(Platform::Utf8ToCp1252(typed));
    if (!place.ok) return Fail("the place cannot be read: " + place.error);

    const std::string folder = MapsFolder(arguments);
    if (folder.empty()) return kFailed;
    if (!LoadLibrary(model.maps, folder)) return kFailed;
    const Library::MapLibrary& library = model.maps;
    const std::vector<int> found = model.places.Covering(place.latitude, place.longitude);

    if (arguments.json) {
        std::string out;
        for (const int i : found) {
            const Library::Entry& e = library.Entries()[std::size_t(i)];
            nlohmann::json o = EntryObject(e);
            const double scale = e.Corners().value().MetresPerPixel(place.latitude);
            o["metresPerPixel"] = scale > 0 ? nlohmann::json(scale) : nlohmann::json(nullptr);
            out += JsonLine(o);
        }
        Write(out);
    } else {
        Write(Platform::Cp1252ToUtf8(MapCode::DescribePlace(place)) + "\n" +
              (found.empty() ? std::string("No map covers this place.\n")
                             : Table(library, found, place.latitude)));
    }
    return found.empty() ? kSome : kOk;
}

} // namespace Cli
