#pragma once
// Map pictures: loading an image file, and putting a definition's image into the main
// window's map view with the map's corners as its coordinates. Builds into the program.

#include <QImage>
#include <cstdint>
#include <string>

namespace MapCode {

// The most memory one decoded picture may take (Picture::MemoryLimit).
std::uint64_t PictureMemoryLimit();

// Reads an image file (.bmp, .gif, .jpg and whatever else Qt reads) at a Windows path, whole
// and at once. Throws CoreError(FileError) saying plainly why it cannot: missing, not a
// picture, damaged, or too large to decode whole.
QImage LoadPicture(const std::string& path);

// Reads the definition (appending ".inf" to a name without it), shows its image in the main
// window's picInner (through its map view: the part in view at once, the rest decoded in the
// background) and sets picInner's coordinate system to the corners in minutes of arc: left the
// top-left longitude, top the top-left latitude, width and height to the bottom-right corner.
// False when the definition cannot be read or names no image; picture errors pass to the
// caller.
bool LoadMapPicture(const std::string& folder, const std::string& fileName);

} // namespace MapCode
