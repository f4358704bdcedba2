#include "library/PlaceIndex.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Library {
namespace {

// The sphere MapCode::GetDistance measures on (the mean of the two axes, 6378 and 6356 km).
constexpr double kEarthRadiusKm = 12734.0 / 2;
constexpr double kRadiansPerDegree = std::numbers::pi / 180;

double Sine(double latitude) {
    return std::sin(std::clamp(latitude, -90.0, 90.0) * kRadiansPerDegree);
}

// Kilometres along the parallel of `latitude` (degrees) across `degrees` of longitude.
double AlongParallel(double latitude, double degrees) {
    return kEarthRadiusKm * std::cos(std::clamp(latitude, -90.0, 90.0) * kRadiansPerDegree) *
           std::fabs(degrees) * kRadiansPerDegree;
}

double AreaOf(const MapCode::MapDefinition& d) {
    return GroundArea(d.topLeftLatitude / 60.0, d.topLeftLongitude / 60.0,
                      d.bottomRightLatitude / 60.0, d.bottomRightLongitude / 60.0);
}

} // namespace

double GroundArea(double latitude1, double longitude1, double latitude2, double longitude2) {
    return kEarthRadiusKm * kEarthRadiusKm * std::fabs(longitude2 - longitude1) *
           kRadiansPerDegree * std::fabs(Sine(latitude2) - Sine(latitude1));
}

double MetresPerPixel(const Entry& entry, float latitude) {
    if (!entry.HasCorners() || entry.width < 1) return 0;
    return ExtentKm(entry, latitude).first * 1000 / entry.width;
}

std::pair<double, double> ExtentKm(const Entry& entry, float latitude) {
    if (!entry.HasCorners()) return {0, 0};
    const MapCode::MapDefinition& d = entry.definition;
    const double west = d.topLeftLongitude / 60.0, east = d.bottomRightLongitude / 60.0;
    const double north = d.topLeftLatitude / 60.0, south = d.bottomRightLatitude / 60.0;
    float bearing = 0;
    return {AlongParallel(latitude / 60.0, east - west),
            MapCode::GetDistance(north, west, south, west, bearing)};
}

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
        if (all[i].HasCorners()) order.emplace_back(AreaOf(all[i].definition), int(i));
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
    const double area = AreaOf(e.definition);
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
