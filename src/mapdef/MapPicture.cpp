#include "mapdef/MapPicture.h"

#include "app/StartupCode.h"
#include "mapdef/MapCode.h"
#include "platform/CoreError.h"
#include "platform/System.h"
#include "platform/Text.h"
#include "platform/WinPath.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"

#include <QImageReader>
#include <algorithm>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace MapCode {
namespace {

// What the file's own header says of the picture, read without decoding it: its size, and
// whether the file holds all the data the header announces (a file cut short is damaged even
// where the decoder would fill the rest with grey).
struct Header {
    int width = 0, height = 0;
    bool complete = true;
};

unsigned U16le(const std::string& b, std::size_t at) {
    return unsigned(static_cast<unsigned char>(b[at])) |
           unsigned(static_cast<unsigned char>(b[at + 1])) << 8;
}
unsigned U16be(const std::string& b, std::size_t at) {
    return unsigned(static_cast<unsigned char>(b[at])) << 8 |
           unsigned(static_cast<unsigned char>(b[at + 1]));
}
std::int64_t I32le(const std::string& b, std::size_t at) {
    return std::int32_t(U16le(b, at) | U16le(b, at + 2) << 16);
}

std::optional<Header> Inspect(const std::string& native, std::uint64_t fileSize) {
    std::ifstream f(native, std::ios::binary);
    std::string head(65536, '\0');
    f.read(head.data(), std::streamsize(head.size()));
    head.resize(std::size_t(f.gcount()));
    std::string tail(std::min<std::uint64_t>(fileSize, 16), '\0');
    f.clear();
    f.seekg(-std::streamoff(tail.size()), std::ios::end);
    f.read(tail.data(), std::streamsize(tail.size()));
    if (head.size() < 26) return std::nullopt;

    Header h;
    if (head.compare(0, 2, "BM") == 0) {
        h.width = int(std::abs(I32le(head, 18)));
        h.height = int(std::abs(I32le(head, 22)));
        const unsigned bits = U16le(head, 28);
        const std::int64_t compression = I32le(head, 30);
        if (compression == 0 && bits > 0) { // uncompressed rows are padded to four bytes
            const std::uint64_t stride = (std::uint64_t(h.width) * bits + 31) / 32 * 4;
            h.complete =
                std::uint64_t(I32le(head, 10)) + stride * std::uint64_t(h.height) <= fileSize;
        }
        return h;
    }
    if (head.compare(0, 4, "GIF8") == 0) {
        h.width = int(U16le(head, 6));
        h.height = int(U16le(head, 8));
        h.complete = tail.find(';') != std::string::npos; // the trailer
        return h;
    }
    if (static_cast<unsigned char>(head[0]) == 0xFF &&
        static_cast<unsigned char>(head[1]) == 0xD8) {
        for (std::size_t at = 2; at + 9 < head.size();) {
            if (static_cast<unsigned char>(head[at]) != 0xFF) break;
            const unsigned marker = static_cast<unsigned char>(head[at + 1]);
            if (marker == 0xDA) break; // the picture data starts
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                marker != 0xCC) {
                h.height = int(U16be(head, at + 5));
                h.width = int(U16be(head, at + 7));
                break;
            }
            at += 2 + U16be(head, at + 2);
        }
        h.complete = tail.find("\xFF\xD9") != std::string::npos; // the end-of-picture marker
        return h;
    }
    return std::nullopt;
}

} // namespace

std::uint64_t PictureMemoryLimit() {
    constexpr std::uint64_t MiB = 1024 * 1024;
    return std::max<std::uint64_t>(256 * MiB, Platform::PhysicalMemoryBytes() / 4);
}

QImage LoadPicture(const std::string& path) {
    auto fail = [](const std::string& why) { throw CoreError(ErrorKind::FileError, why); };
    const auto native = Platform::ToNativePath(path);
    if (!native) fail("Path not found");
    struct stat st {};
    if (stat(native->c_str(), &st) != 0) fail("File not found");
    if (S_ISDIR(st.st_mode)) fail("the path names a folder, not a picture");

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
    if (const auto header = Inspect(*native, std::uint64_t(st.st_size))) {
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
