#include "mapdef/MapPicture.h"

#include "app/StartupCode.h"
#include "mapdef/MapCode.h"
#include "picture/PictureHeader.h"
#include "platform/CoreError.h"
#include "platform/FileIO.h"
#include "platform/System.h"
#include "platform/Text.h"
#include "platform/WinPath.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"

#include <QImageReader>
#include <algorithm>

namespace MapCode {

std::uint64_t PictureMemoryLimit() {
    constexpr std::uint64_t MiB = 1024 * 1024;
    return std::max<std::uint64_t>(256 * MiB, Platform::PhysicalMemoryBytes() / 4);
}

QImage LoadPicture(const std::string& path) {
    auto fail = [](const std::string& why) { throw CoreError(ErrorKind::FileError, why); };
    std::string head, tail, error;
    std::uint64_t fileSize = 0;
    if (!Platform::ReadFileEnds(path, Picture::kHeadBytes, Picture::kTailBytes, head, tail,
                                fileSize, error)) {
        if (error.find("folder") != std::string::npos)
            fail("the path names a folder, not a picture");
        if (error == "File not found" || error == "Path not found") fail(error);
        fail("the picture cannot be read: " + error);
    }
    const auto native = Platform::ToNativePath(path);
    if (!native) fail("Path not found");

    constexpr std::uint64_t MiB = 1024 * 1024;
    const std::uint64_t limit = PictureMemoryLimit();
    QImageReader::setAllocationLimit(int(std::min<std::uint64_t>(limit / MiB, INT32_MAX)));
    auto tooLarge = [&](std::int64_t w, std::int64_t h) {
        const std::uint64_t bytes = std::uint64_t(w) * std::uint64_t(h) * 4;
        if (bytes > limit)
            fail("the picture is too large (" + std::to_string(w) + " x " + std::to_string(h) +
                 " pixels needs " + std::to_string(bytes / MiB) + " MiB; this machine allows " +
                 std::to_string(limit / MiB) + " MiB)");
    };
    if (const auto header = Picture::InspectHeader(head, tail, fileSize)) {
        tooLarge(header->width, header->height);
        if (!header->complete) fail("the picture file is incomplete (cut short or damaged)");
    }
    QImageReader reader(QString::fromStdString(*native));
    reader.setAutoTransform(false);
    if (!reader.canRead()) fail("it is not a picture in a format Varnet can read");
    const QSize size = reader.size();
    if (size.isValid()) tooLarge(size.width(), size.height());
    QImage image = reader.read();
    if (image.isNull())
        fail("the picture is damaged or cannot be decoded (" + reader.errorString().toStdString() +
             ")");
    return image;
}

bool LoadMapPicture(const std::string& folder, const std::string& fileName) {
    std::string name = fileName;
    if (name.size() < 4 || Platform::Upper(name.substr(name.size() - 4)) != ".INF") name += ".inf";
    float tlLon = 0, tlLat = 0, brLon = 0, brLat = 0;
    std::string image, tl, br;
    if (!ReadMapDefinition(folder, folder + "\\" + name, tlLon, tlLat, brLon, brLat, image, tl, br))
        return false;
    if (image.empty()) return false; // the folder itself is no picture
    if (!StartupCode::MainWindow) throw CoreError(ErrorKind::InvalidArgument, "no main window");
    QImage picture = LoadPicture(folder + "\\" + image);
    PictureBox* pic = StartupCode::MainWindow->picInner;
    pic->setPicture(std::move(picture));
    pic->Scale(tlLon, tlLat, brLon, brLat);
    return true;
}

} // namespace MapCode
