#pragma once
// Map pictures: a definition's image put into the main window's map view with the map's
// corners as its coordinates. Builds into the program; the loading itself is the picture
// component's (picture/PictureLoader.h).

#include <string>

namespace MapCode {

// Reads the definition (appending ".inf" to a name without it), shows its image in the main
// window's picInner (through its map view: the part in view at once, the rest decoded in the
// background) and sets picInner's coordinate system to the corners in minutes of arc: left the
// top-left longitude, top the top-left latitude, width and height to the bottom-right corner.
// False when the definition cannot be read or names no image; picture errors pass to the
// caller.
bool LoadMapPicture(const std::string& folder, const std::string& fileName);

} // namespace MapCode
