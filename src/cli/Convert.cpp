// varnet-maps convert PLACE: a place written in every grid that covers it, or in one.
#include "cli/Cli.h"

#include "grids/Grids.h"

#include <cstdio>
#include <optional>

namespace Cli {

int Convert(const Arguments& arguments, Model& /*model*/) {
    if (arguments.operands.empty()) return Fail("convert needs a PLACE");
    std::optional<Grids::Grid> asked;
    if (!arguments.to.empty()) {
        std::string why;
        if (!(asked = Grids::GridOfKey(arguments.to, why))) return Fail(why);
    }
    const std::string typed = Joined(arguments.operands);
    const Georef::Datum datum = LibraryDatum();
    const Grids::Place place = Grids::ReadPlace(typed, datum);
    if (!place.ok) return Fail("the place cannot be read: " + place.error);

    nlohmann::json object = {{"input", typed},
                             {"form", Grids::KeyOf(place.form)},
                             {"latitude", place.latitude},
                             {"longitude", place.longitude}};
    std::string lines;
    for (const Grids::Grid& grid : asked ? std::vector{*asked} : Grids::TableGrids()) {
        const Grids::Written written =
            Grids::WritePlace(place.latitude, place.longitude, grid, datum);
        if (written.outcome == Grids::Outcome::Failed) return Fail(written.why);
        if (written.outcome == Grids::Outcome::Outside) {
            if (!asked) continue;
            std::fprintf(stderr, "varnet-maps: %s\n", written.why.c_str());
            return kSome;
        }
        object[Grids::KeyOf(grid)] = written.text;
        lines += (asked ? "" : Grids::KeyOf(grid) + ": ") + written.text + "\n";
    }
    Write(arguments.json ? JsonLine(object) : lines);
    return kOk;
}

} // namespace Cli
