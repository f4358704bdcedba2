#include "picture/DecodeProtocol.h"

#include <QImage>
#include <QImageReader>

namespace Picture::Protocol {

std::vector<std::uint32_t> ReadPng(const std::string& path, std::int64_t width, std::int64_t height,
                                   std::string& error) {
    QImageReader reader(QString::fromStdString(path), "png");
    QImageReader::setAllocationLimit(0); // the caller has counted what it will take
    QImage image = reader.read();
    if (image.isNull()) {
        error = "the picture is damaged or cannot be decoded (" +
                reader.errorString().toStdString() + ")";
        return {};
    }
    if (image.width() != width || image.height() != height) {
        error = "the picture's size is not what its header said";
        return {};
    }
    image = image.convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint32_t> pixels(std::size_t(width * height));
    for (std::int64_t y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(int(y)));
        std::copy(line, line + width, pixels.begin() + y * width);
    }
    return pixels;
}

} // namespace Picture::Protocol
