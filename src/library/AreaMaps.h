#pragma once
// The maps of an area: the library's entries whose pictures cover part of a box, as the device
// exports of an area (the command line's and the window's) take them.

#include "library/MapLibrary.h"

#include <array>
#include <vector>

namespace Library {

// The entries whose pictures, of known size, cover part of a box (degrees: north, west, south,
// east) by index in the library's order, probed. Only the entries whose corners reach into the
// box have their pictures read.
std::vector<int> Covering(const MapLibrary& library, const std::array<double, 4>& box);

} // namespace Library
