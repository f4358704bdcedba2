#include "library/PlaceIndex.h"

#include <algorithm>

namespace Library {
namespace {

// The index holds entries with corners only.
double AreaOf(const Entry& entry) {
    return entry.Corners().value().GroundArea();
}

} // namespace

PlaceIndex::PlaceIndex(const MapLibrary& library, QObject* parent)
    : QObject(parent), library_(library) {
    connect(&library, &MapLibrary::Reset, this, &PlaceIndex::Rebuild);
    connect(&library, &MapLibrary::Added, this, [this](int index) {
        Shift(index, 1);
        Insert(index);
    });
    connect(&library, &MapLibrary::Changed, this, [this](int index) {
        Erase(index);
        Insert(index);
    });
    connect(&library, &MapLibrary::Removed, this, [this](int index, const std::string&) {
        Erase(index);
        Shift(index + 1, -1);
    });
    Rebuild();
}

PlaceIndex::Box PlaceIndex::BoxOf(const MapCode::MapDefinition& d) {
    return {std::min(d.topLeftLatitude, d.bottomRightLatitude),
            std::max(d.topLeftLatitude, d.bottomRightLatitude),
            std::min(d.topLeftLongitude, d.bottomRightLongitude),
            std::max(d.topLeftLongitude, d.bottomRightLongitude)};
}

std::vector<int> PlaceIndex::Covering(float latitude, float longitude) const {
    std::vector<int> found;
    const Box* box = boxes_.data();
    for (std::size_t i = 0, n = boxes_.size(); i < n; ++i) {
        const Box& b = box[i];
        if (latitude >= b.south && latitude <= b.north && longitude >= b.west &&
            longitude <= b.east)
            found.push_back(entries_[i]);
    }
    return found;
}

void PlaceIndex::Rebuild() {
    const std::vector<Entry>& all = library_.Entries();
    std::vector<std::pair<double, int>> order; // area, entry
    order.reserve(all.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].HasCorners()) order.emplace_back(AreaOf(all[i]), int(i));
    std::sort(order.begin(), order.end()); // equal areas by entry, which is the name's order
    boxes_.clear();
    areas_.clear();
    entries_.clear();
    boxes_.reserve(order.size());
    areas_.reserve(order.size());
    entries_.reserve(order.size());
    for (const auto& [area, index] : order) {
        boxes_.push_back(BoxOf(all[std::size_t(index)].definition));
        areas_.push_back(area);
        entries_.push_back(index);
    }
}

void PlaceIndex::Insert(int index) {
    const Entry& e = library_.Entries()[std::size_t(index)];
    if (!e.HasCorners()) return;
    const double area = AreaOf(e);
    std::size_t lo = 0, hi = areas_.size(); // the first that goes after it
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (areas_[mid] < area || (areas_[mid] == area && entries_[mid] < index))
            lo = mid + 1;
        else
            hi = mid;
    }
    const auto at = std::ptrdiff_t(lo);
    boxes_.insert(boxes_.begin() + at, BoxOf(e.definition));
    areas_.insert(areas_.begin() + at, area);
    entries_.insert(entries_.begin() + at, index);
}

void PlaceIndex::Erase(int index) {
    const auto at = std::find(entries_.begin(), entries_.end(), index);
    if (at == entries_.end()) return;
    const auto offset = at - entries_.begin();
    boxes_.erase(boxes_.begin() + offset);
    areas_.erase(areas_.begin() + offset);
    entries_.erase(at);
}

void PlaceIndex::Shift(int from, int by) {
    for (int& e : entries_)
        if (e >= from) e += by;
}

} // namespace Library
