#include "picture/PictureHeader.h"

#include "platform/FileIO.h"

#include <algorithm>

namespace Picture {
namespace {

// Little- and big-endian fields; callers check that the bytes are there.
std::uint32_t U16le(std::string_view b, std::size_t at) {
    return std::uint32_t(static_cast<unsigned char>(b[at])) |
           std::uint32_t(static_cast<unsigned char>(b[at + 1])) << 8;
}
std::uint32_t U16be(std::string_view b, std::size_t at) {
    return std::uint32_t(static_cast<unsigned char>(b[at])) << 8 |
           std::uint32_t(static_cast<unsigned char>(b[at + 1]));
}
std::int64_t I32le(std::string_view b, std::size_t at) {
    return std::int32_t(U16le(b, at) | U16le(b, at + 2) << 16);
}
std::int64_t Abs(std::int64_t v) {
    return v < 0 ? -v : v;
}

HeaderInfo Bmp(std::string_view head, std::uint64_t fileSize) {
    HeaderInfo h{Format::Bmp};
    // File header (14 bytes), then the bitmap header: 12 bytes in the oldest form (16-bit
    // sizes), 40 or more in the others (32-bit sizes, then the compression).
    if (head.size() < 18) return h.complete = false, h;
    const std::int64_t headerSize = I32le(head, 14);
    std::int64_t bits = 0, compression = 0;
    if (headerSize == 12) {
        if (head.size() < 26) return h.complete = false, h;
        h.width = U16le(head, 18);
        h.height = U16le(head, 20);
        bits = U16le(head, 24);
    } else {
        if (head.size() < 34) return h.complete = false, h;
        h.width = Abs(I32le(head, 18));
        h.height = Abs(I32le(head, 22));
        bits = U16le(head, 28);
        compression = I32le(head, 30);
    }
    if ((compression == 1 || compression == 2) && h.width > 0 && h.height > 0) {
        h.held = Held::CompressedBmp;
        h.heldBytes = std::uint64_t(h.width) * std::uint64_t(h.height);
    }
    if (compression == 0 && bits > 0) { // uncompressed rows are padded to four bytes
        // A width and depth of at most 2^31 and 2^16 keep the row in 64 bits; the rows
        // together may not fit, and are then surely more than the file holds.
        const std::uint64_t stride = (std::uint64_t(h.width) * std::uint64_t(bits) + 31) / 32 * 4;
        const std::uint64_t offset = std::uint64_t(std::max<std::int64_t>(0, I32le(head, 10)));
        const std::uint64_t rows = std::uint64_t(h.height);
        h.complete = rows == 0 ||
                     (stride <= (UINT64_MAX - offset) / rows && offset + stride * rows <= fileSize);
    }
    return h;
}

HeaderInfo Gif(std::string_view head, std::string_view tail) {
    HeaderInfo h{Format::Gif};
    if (head.size() < 10) return h.complete = false, h;
    h.width = U16le(head, 6);
    h.height = U16le(head, 8);
    h.complete = tail.find(';') != std::string_view::npos; // the trailer
    if (head.size() < 13) return h;
    // The first image's descriptor, past the colour table and any extensions.
    std::size_t at = 13;
    if (static_cast<unsigned char>(head[10]) & 0x80)
        at += 3u << ((static_cast<unsigned char>(head[10]) & 7) + 1);
    while (at < head.size() && head[at] == '!') { // an extension: its label, then sub-blocks
        at += 2;
        while (at < head.size() && head[at] != 0) at += 1 + static_cast<unsigned char>(head[at]);
        ++at;
    }
    h.runsOn = at + 10 > head.size();
    if (!h.runsOn && head[at] == ',' && (static_cast<unsigned char>(head[at + 9]) & 0x40)) {
        h.held = Held::InterlacedGif;
        h.heldBytes = std::uint64_t(U16le(head, at + 5)) * U16le(head, at + 7);
    }
    return h;
}

HeaderInfo Jpeg(std::string_view head, std::string_view tail) {
    HeaderInfo h{Format::Jpeg};
    // The frame's components and their sampling, for what a decoder of several scans holds.
    bool progressive = false, frame = false;
    unsigned components = 0, hs[4] = {}, vs[4] = {};
    // Markers up to the first scan, past the frame header, which gives the size; each segment
    // says its length.
    h.runsOn = true;
    for (std::size_t at = 2; at + 4 <= head.size();) {
        const unsigned marker = static_cast<unsigned char>(head[at + 1]);
        if (static_cast<unsigned char>(head[at]) != 0xFF || marker == 0xD9) { // no marker, or
            h.runsOn = false;                                                 // the picture's end
            break;
        }
        if (marker == 0xFF) { // fill bytes before a marker
            ++at;
            continue;
        }
        if (marker == 0xDA) { // the first scan: does it carry every component?
            h.runsOn = at + 5 > head.size();
            if (frame && !h.runsOn && static_cast<unsigned char>(head[at + 4]) < components &&
                !progressive)
                h.held = Held::SeveralScans;
            break;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            if (at + 9 > head.size()) break;
            h.height = U16be(head, at + 5);
            h.width = U16be(head, at + 7);
            progressive = (marker & 3) == 2; // SOF2, SOF6, SOF10, SOF14
            components = at + 10 <= head.size() ? static_cast<unsigned char>(head[at + 9]) : 0;
            frame = components >= 1 && components <= 4 && at + 10 + 3 * components <= head.size();
            for (unsigned c = 0; frame && c < components; ++c) {
                const unsigned s = static_cast<unsigned char>(head[at + 11 + 3 * c]);
                hs[c] = std::max(1u, s >> 4), vs[c] = std::max(1u, s & 15);
            }
            if (progressive) h.held = Held::Progressive;
        }
        at += 2 + U16be(head, at + 2);
    }
    h.complete = tail.find("\xFF\xD9") != std::string_view::npos; // the end-of-picture marker
    if (h.held != Held::Nothing && frame) {
        // As libjpeg keeps them: each component's 8 x 8 blocks, rounded up to its sampling,
        // 64 two-byte coefficients a block.
        const unsigned hmax = *std::max_element(hs, hs + components);
        const unsigned vmax = *std::max_element(vs, vs + components);
        for (unsigned c = 0; c < components; ++c) {
            const std::uint64_t bw = (std::uint64_t(h.width) * hs[c] + 8 * hmax - 1) / (8 * hmax);
            const std::uint64_t bh = (std::uint64_t(h.height) * vs[c] + 8 * vmax - 1) / (8 * vmax);
            h.heldBytes +=
                (bw + hs[c] - 1) / hs[c] * hs[c] * ((bh + vs[c] - 1) / vs[c] * vs[c]) * 128;
        }
    } else if (h.held != Held::Nothing) {
        h.heldBytes = std::uint64_t(h.width) * std::uint64_t(h.height) * 6; // three full planes
    }
    return h;
}

HeaderInfo Png(std::string_view head, std::string_view tail) {
    HeaderInfo h{Format::Png};
    // The signature, then the first chunk, IHDR: its length, its type, width and height.
    if (head.size() < 24 || head.substr(12, 4) != "IHDR") return h.complete = false, h;
    h.width = std::int64_t(U16be(head, 16) << 16 | U16be(head, 18));
    h.height = std::int64_t(U16be(head, 20) << 16 | U16be(head, 22));
    h.complete = tail.find("IEND") != std::string_view::npos; // the last chunk
    // Then the depth, the colour type, the compression, the filter and the interlace method.
    if (head.size() >= 29 && head[28] == 1) {
        h.held = Held::InterlacedPng;
        h.heldBytes = std::uint64_t(h.width) * std::uint64_t(h.height) * 4; // rows of words
    }
    return h;
}

} // namespace

std::optional<HeaderInfo> InspectHeader(std::string_view head, std::string_view tail,
                                        std::uint64_t fileSize) {
    if (head.substr(0, 2) == "BM") return Bmp(head, fileSize);
    if (head.substr(0, 4) == "GIF8") return Gif(head, tail);
    if (head.substr(0, 2) == "\xFF\xD8") return Jpeg(head, tail);
    if (head.substr(0, 8) == "\x89PNG\r\n\x1A\n") return Png(head, tail);
    return std::nullopt;
}

const char* HeldName(Held held) {
    switch (held) {
    case Held::Nothing:
        break;
    case Held::Progressive:
        return "a progressive JPEG";
    case Held::SeveralScans:
        return "a JPEG of several scans";
    case Held::CompressedBmp:
        return "a compressed BMP";
    case Held::InterlacedGif:
        return "an interlaced GIF";
    case Held::InterlacedPng:
        return "an interlaced PNG";
    }
    return "";
}

namespace {

// Why a picture cannot be shown, as every part of the program says it.
enum class Why { Folder, CannotRead, NotAPicture, NoSize, Incomplete };

std::string Said(Why why, const std::string& detail = {}) {
    switch (why) {
    case Why::Folder:
        return "the path names a folder, not a picture";
    case Why::CannotRead:
        return "the picture cannot be read: " + detail;
    case Why::NotAPicture:
        return "it is not a picture in a format Varnet can read";
    case Why::NoSize:
        return "the picture is damaged: its header gives no size";
    case Why::Incomplete:
        break;
    }
    return "the picture file is incomplete (cut short or damaged)";
}

Probe Failed(Probe::Fault fault, std::string error) {
    Probe probe;
    probe.fault = fault;
    probe.error = std::move(error);
    return probe;
}

} // namespace

Probe ProbeFile(const std::string& winPath, std::string* native) {
    std::string head, tail, error;
    std::uint64_t size = 0;
    std::optional<HeaderInfo> header;
    // Most headers lie in the first few KiB; a JPEG's size may follow a large thumbnail.
    for (std::size_t want : {std::size_t(4096), kHeadBytes}) {
        if (!Platform::ReadFileEnds(winPath, want, kTailBytes, head, tail, size, error, native)) {
            if (error.find("names a folder") != std::string::npos)
                return Failed(Probe::Fault::Unreadable, Said(Why::Folder));
            if (error == "File not found" || error == "Path not found")
                return Failed(Probe::Fault::Missing, error);
            return Failed(Probe::Fault::Unreadable, Said(Why::CannotRead, error));
        }
        header = InspectHeader(head, tail, size);
        if (!header || !header->runsOn || head.size() < want) break;
    }
    if (!header) return Failed(Probe::Fault::Unreadable, Said(Why::NotAPicture));
    if (header->width <= 0 || header->height <= 0 || header->width > INT32_MAX ||
        header->height > INT32_MAX)
        return Failed(Probe::Fault::Unreadable, Said(Why::NoSize));
    if (!header->complete) return Failed(Probe::Fault::Unreadable, Said(Why::Incomplete));
    Probe probe;
    probe.info = *header;
    return probe;
}

} // namespace Picture
