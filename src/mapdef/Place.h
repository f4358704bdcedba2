#pragma once
// A place as a person types it to ask which maps show it. Three forms are read, all in the
// library's datum (no datum is shifted):
//   - a latitude and a longitude as a definition's corner line holds them, separated by a comma,
//     either first (51.30.25N,000.07.66W); any text with a hemisphere letter is read this way, so
//     51.5N is 51 degrees 05 minutes, as the editor and the definition reader take it;
//   - decimal degrees: two signed numbers, latitude first, separated by a comma or by spaces
//     (51.5072, -0.1276);
//   - a National Grid reference (TQ 290 800, TQ2980), converted as the editor converts one:
//     GridRefToEastNorth, EastNorthToLatLon, then rounded to the hundredths of a minute the
//     editor writes, so a place typed as a reference lies exactly where a corner typed as the
//     same reference lies.
// Standard library only.

#include <string>
#include <string_view>

namespace MapCode {

enum class PlaceForm { LatitudeLongitude, DecimalDegrees, GridReference };

struct Place {
    bool ok = false;
    PlaceForm form = PlaceForm::LatitudeLongitude;
    // Minutes of arc, north and east positive, as a definition's corners are held (single
    // precision): a place on a map's edge compares equal to the edge.
    float latitude = 0, longitude = 0;
    std::string gridRef; // the reference as read ("TQ 290 800"), for a reference
    std::string error;   // why the text is not a place, when !ok
};

// Reads a place typed in any of the three forms, letters in either case, spaces and tabs around
// its parts ignored. Never throws: a text that is not a place gives ok false and says why in
// `error`, lower case and without a full stop, for the person who typed it (an empty text asks
// for a place: "type a place: ..."). A place
// beyond 90 degrees of latitude or 180 of longitude, and a reference outside the grid's 700 by
// 1300 km, are not places.
Place ReadPlace(std::string_view text);

// How a place was read, for the person who typed it: the form, then the position as the map
// view writes it, with its 100 m grid reference inside the grid's area (the reference as read,
// for a reference): "Decimal degrees: 51.30.43N 000.07.66W  TQ 299 804". "" when !place.ok.
std::string DescribePlace(const Place& place);

} // namespace MapCode
