// The maps of an area.
#include "library/AreaMaps.h"

namespace Library {

std::vector<int> Covering(const MapLibrary& library, const std::array<double, 4>& box) {
    std::vector<int> found;
    const auto& entries = library.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto g = entries[i].Georeference(); // more than an edge in common
        if (!g || !entries[i].NamesPicture() ||
            !(g->West() < box[3] && g->East() > box[1] && g->South() < box[0] &&
              g->North() > box[2]))
            continue;
        if (const auto probed = library.Probed(int(i)).Georeference(); probed && probed->HasSize())
            found.push_back(int(i));
    }
    return found;
}

} // namespace Library
