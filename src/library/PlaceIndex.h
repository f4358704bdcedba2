#pragma once
// Which maps show a place: every entry of a library whose corners contain it, best fit (the
// smallest ground area) first. The index keeps the entries' rectangles in that order, following
// the library's signals entry by entry, so a question is one pass over a packed array with no
// sorting: a library of 100,000 maps answers in well under a millisecond, as a person types.
//
// QtCore only (the library's signals); the windows (the coverage canvas, Find Maps) and the
// command line ask it. An index follows the library's signals as they come, so one made before
// a view of the same library has taken each change before that view hears of it.

#include "library/MapLibrary.h"
#include "mapdef/Earth.h"

#include <QObject>
#include <vector>

namespace Library {

// The ground area of a rectangle between two latitudes and two longitudes (degrees), as
// MapCode::Earth measures it. (An entry's own is its Corners()'s GroundArea.)
using MapCode::Earth::GroundArea;

class PlaceIndex : public QObject {
    Q_OBJECT
public:
    // Indexes the library's entries as they stand, and follows its changes from now on. The
    // library must outlive the index.
    explicit PlaceIndex(const MapLibrary& library, QObject* parent = nullptr);

    // The entries whose corners contain a place (minutes of arc, edges included), as indices
    // into the library's Entries(): the smallest ground area first, equal areas in the library's
    // order (by name). An entry whose corners were not read has no place and is never found.
    std::vector<int> Covering(float latitude, float longitude) const;

    // The number of entries placed.
    std::size_t Size() const { return boxes_.size(); }
    // Every entry placed (indices into the library's Entries()), in the order Covering gives
    // them: the smallest ground area first, equal areas in the library's order.
    const std::vector<int>& Placed() const { return entries_; }

private:
    struct Box {
        float south, north, west, east; // minutes of arc
    };
    static Box BoxOf(const MapCode::MapDefinition& definition);
    void Rebuild();
    void Insert(int index);
    void Erase(int index);
    // Entry indices at or after `from` move by `by`, as the library's do.
    void Shift(int from, int by);

    const MapLibrary& library_;
    // Parallel arrays in best-fit order: the rectangles alone, so a question reads nothing else.
    std::vector<Box> boxes_;
    std::vector<double> areas_;
    std::vector<int> entries_;
};

} // namespace Library
