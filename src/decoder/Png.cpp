// PNG through libpng, row after row; an interlaced picture (its rows in seven passes) is read
// whole first. Colours as the file gives them: no gamma applied, alpha dropped, sixteen-bit
// samples rounded to eight.
#include "decoder/Readers.h"

#include <cstdio>
#include <unistd.h>

#include <png.h>

namespace Decoder {
namespace {

// libpng's last complaint, kept for the failure it jumps to.
struct Complaint {
    char text[256] = "";
};

void PngError(png_structp png, png_const_charp message) {
    auto* complaint = static_cast<Complaint*>(png_get_error_ptr(png));
    std::snprintf(complaint->text, sizeof complaint->text, "%s", message);
    png_longjmp(png, 1);
}

void PngQuiet(png_structp, png_const_charp) {}

// Reads the header and sets the rows up as words 0xffRRGGBB (bytes B, G, R, 255); the number of
// passes the rows come in.
int Start(png_structp png, png_infop info, const Request& r) {
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff); // the size was checked against the bound
    png_read_info(png, info);
    if (std::int64_t(png_get_image_width(png, info)) != r.width ||
        std::int64_t(png_get_image_height(png, info)) != r.height)
        throw Failure("the picture's size is not what its header said");
    png_set_expand(png); // palettes, low bit depths and transparent colours to 8-bit samples
    png_set_scale_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return passes;
}

// The rows, kept by the caller of setjmp: libpng's errors jump over this file's frames.
struct Buffers {
    std::vector<std::uint32_t> pixels;
    std::vector<png_bytep> rows;
};

void Rows(png_structp png, png_infop info, const Request& r, Sink& sink, Buffers& buffers) {
    const int passes = Start(png, info, r);
    const std::size_t width = std::size_t(r.width);
    if (passes > 1) { // interlaced: every row is filled in by the last pass only
        CheckMemory(std::uint64_t(r.width) * std::uint64_t(r.height) * 4 +
                        std::uint64_t(r.width) * 8,
                    r, "an interlaced PNG of this size");
        buffers.pixels.resize(width * std::size_t(r.height));
        for (std::int64_t y = 0; y < r.height; ++y)
            buffers.rows.push_back(
                reinterpret_cast<png_bytep>(buffers.pixels.data() + std::size_t(y) * width));
        png_read_image(png, buffers.rows.data());
        for (std::int64_t y = 0; y < r.height; ++y)
            if (!sink.Take(buffers.pixels.data() + std::size_t(y) * width)) return;
        sink.End();
        return;
    }
    buffers.pixels.resize(width);
    for (std::int64_t y = 0; y < r.height; ++y) {
        png_read_row(png, reinterpret_cast<png_bytep>(buffers.pixels.data()), nullptr);
        if (!sink.Take(buffers.pixels.data())) return;
    }
    sink.End();
}

} // namespace

void ReadPng(int fd, const Request& r, Sink& sink) {
    FILE* file = ::fdopen(::dup(fd), "rb");
    if (!file) throw Failure("the picture cannot be read");
    Complaint complaint;
    Buffers buffers;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &complaint, PngError, PngQuiet);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(file);
        throw Failure("no memory for the picture's decoder");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        throw Failure(std::string("the picture is damaged or cannot be decoded (") +
                      complaint.text + ")");
    }
    png_init_io(png, file);
    try {
        Rows(png, info, r, sink, buffers);
    } catch (...) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        throw;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
}

} // namespace Decoder
