// GIF through giflib, row after row; an interlaced picture's indexes are read whole first.
#include "decoder/Readers.h"

#include <algorithm>
#include <unistd.h>

#include <gif_lib.h>

namespace Decoder {
namespace {

// What no frame covers, and transparent pixels, show white.
constexpr std::uint32_t kBackground = 0xffffffffu;

std::string GifText(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "unknown error";
}

[[noreturn]] void Fail(const GifFileType* gif) {
    throw Failure("the picture is damaged or cannot be decoded (" + GifText(gif->Error) + ")");
}

// Reads up to the first picture's descriptor; the transparent colour before it, or -1.
int FirstPicture(GifFileType* gif) {
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) Fail(gif);
        if (type == TERMINATE_RECORD_TYPE) throw Failure("the picture holds no image");
        if (type == EXTENSION_RECORD_TYPE) {
            int ext = 0;
            GifByteType* data = nullptr;
            if (DGifGetExtension(gif, &ext, &data) == GIF_ERROR) Fail(gif);
            if (ext == GRAPHICS_EXT_FUNC_CODE && data && data[0] >= 4 && (data[1] & 1))
                transparent = data[4];
            while (data)
                if (DGifGetExtensionNext(gif, &data) == GIF_ERROR) Fail(gif);
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) Fail(gif);
        return transparent;
    }
}

// The picture's colours as words, the transparent one white.
void Colours(const GifFileType* gif, int transparent, std::uint32_t (&colours)[256]) {
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    for (int i = 0; i < 256; ++i) {
        colours[i] = 0xff000000u;
        if (map && i < map->ColorCount)
            colours[i] |= std::uint32_t(map->Colors[i].Red) << 16 |
                          std::uint32_t(map->Colors[i].Green) << 8 | map->Colors[i].Blue;
    }
    if (transparent >= 0) colours[transparent] = kBackground;
}

// An interlaced frame's indexes, whole: its rows come in four passes.
std::vector<GifPixelType> Deinterlaced(GifFileType* gif, const Request& r) {
    const std::int64_t fw = gif->Image.Width, fh = gif->Image.Height;
    CheckMemory(std::uint64_t(fw) * std::uint64_t(fh) + std::uint64_t(r.width) * 8, r,
                "an interlaced GIF of this size");
    std::vector<GifPixelType> all(std::size_t(fw) * std::size_t(fh));
    const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (std::int64_t y = starts[pass]; y < fh; y += steps[pass])
            if (DGifGetLine(gif, all.data() + y * fw, int(fw)) == GIF_ERROR) Fail(gif);
    return all;
}

void Rows(GifFileType* gif, const Request& r, const std::uint32_t (&colours)[256], Sink& sink) {
    const GifImageDesc& d = gif->Image;
    const std::int64_t W = r.width, H = r.height;
    const std::int64_t left = d.Left, top = d.Top, fw = d.Width, fh = d.Height;
    std::vector<GifPixelType> line(std::size_t(std::max<std::int64_t>(fw, 1)));
    const std::vector<GifPixelType> all =
        d.Interlace ? Deinterlaced(gif, r) : std::vector<GifPixelType>();
    std::vector<std::uint32_t> row(static_cast<std::size_t>(W));
    for (std::int64_t y = 0; y < H; ++y) {
        std::fill(row.begin(), row.end(), kBackground);
        const std::int64_t fy = y - top;
        if (fy >= 0 && fy < fh) {
            const GifPixelType* px = line.data();
            if (d.Interlace)
                px = all.data() + fy * fw;
            else if (DGifGetLine(gif, line.data(), int(fw)) == GIF_ERROR)
                Fail(gif);
            for (std::int64_t x = 0; x < fw; ++x)
                if (left + x >= 0 && left + x < W) row[std::size_t(left + x)] = colours[px[x]];
        }
        if (!sink.Take(row.data())) return;
    }
    sink.End();
}

} // namespace

void ReadGif(int fd, const Request& r, Sink& sink) {
    int code = 0;
    GifFileType* gif = DGifOpenFileHandle(::dup(fd), &code);
    if (!gif) throw Failure("the picture is damaged or cannot be decoded (" + GifText(code) + ")");
    struct Closer {
        GifFileType* g;
        ~Closer() { DGifCloseFile(g, nullptr); }
    } closer{gif};
    const int transparent = FirstPicture(gif);
    std::uint32_t colours[256];
    Colours(gif, transparent, colours);
    Rows(gif, r, colours, sink);
}

} // namespace Decoder
