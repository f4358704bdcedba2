#pragma once
// Map pictures: loading an image file, and putting a definition's image into the main
// window's map view with the map's corners as its coordinates. Builds into the program.

#include <QImage>
#include <cstdint>
#include <string>

namespace MapCode {

// The most memory one decoded picture may take: a quarter of the machine's memory, at least
// 256 MiB. Larger pictures are refused as too large rather than exhausting memory.
std::uint64_t PictureMemoryLimit();

// Reads an image file (.bmp, .gif, .jpg and whatever else Qt reads) at a Windows path.
// Throws CoreError(FileError) saying plainly why it cannot: missing, not a picture, damaged,
// or too large.
QImage LoadPicture(const std::string& path);

// Reads the definition (appending ".inf" to a name without it), loads its image into the main
// window's picInner and sets picInner's coordinate system to the corners in minutes of arc:
// left the top-left longitude, top the top-left latitude, width and height to the bottom-right
// corner. False when the definition cannot be read or names no image; picture errors pass to
// the caller.
bool LoadMapPicture(const std::string& folder, const std::string& fileName);

} // namespace MapCode
