// JPEG through libjpeg-turbo, which decodes a part and reduced scales exactly: cropped rows,
// skipped rows, scaling by 1/2 to 1/8 in the transform, and says what a file of several scans
// will hold.
#include "decoder/Readers.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <unistd.h>

#include <jpeglib.h>

namespace Decoder {
namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegFail(j_common_ptr info) {
    auto* e = reinterpret_cast<JpegError*>(info->err);
    info->err->format_message(info, e->message);
    std::longjmp(e->jump, 1);
}

void JpegQuiet(j_common_ptr, int) {}

// What libjpeg will hold: every coefficient when the picture comes in several scans.
std::uint64_t Coefficients(jpeg_decompress_struct& info) {
    std::uint64_t bytes = 0;
    if (jpeg_has_multiple_scans(&info))
        for (int c = 0; c < info.num_components; ++c) {
            const auto& comp = info.comp_info[c];
            const std::uint64_t bw = (comp.width_in_blocks + comp.h_samp_factor - 1) /
                                     comp.h_samp_factor * comp.h_samp_factor;
            const std::uint64_t bh = (comp.height_in_blocks + comp.v_samp_factor - 1) /
                                     comp.v_samp_factor * comp.v_samp_factor;
            bytes += bw * bh * DCTSIZE2 * sizeof(JCOEF);
        }
    return bytes;
}

bool FourColours(const jpeg_decompress_struct& info) {
    return info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
}

// Reads the header and sets the decode up: its scale, its colours (pixels written in place
// when the sink takes them) and its memory checked. The sink's direct rows, or null; rows of
// three bytes only when they are whole rows, which no crop can change.
DirectRows* Start(jpeg_decompress_struct& info, const Request& r, int from, std::int64_t x0,
                  std::int64_t x1, Sink& sink) {
    if (r.memory) info.mem->max_memory_to_use = long(std::min<std::uint64_t>(r.memory, LONG_MAX));
    jpeg_read_header(&info, TRUE);
    if (std::int64_t(info.image_width) != r.width || std::int64_t(info.image_height) != r.height)
        throw Failure("the picture's size is not what its header said");
    const bool fourColours = FourColours(info);
    DirectRows* direct = fourColours ? nullptr : sink.Direct();
    const bool whole = x0 <= 0 && x1 >= LevelSide(r.width, from);
    if (direct && direct->PixelBytes() != 4 && !whole) direct = nullptr;
    info.out_color_space = fourColours                           ? JCS_CMYK
                           : direct && direct->PixelBytes() == 3 ? JCS_EXT_BGR
                                                                 : JCS_EXT_BGRA;
    info.scale_num = 1;
    info.scale_denom = 1u << from;
    jpeg_calc_output_dimensions(&info);
    CheckMemory(Coefficients(info) + std::uint64_t(info.output_width) * 4 * 64, r,
                info.progressive_mode ? "a progressive JPEG of this size" : "this JPEG");
    jpeg_start_decompress(&info);
    return direct;
}

// One row of inks into words; Adobe's files store the inks inverted, as nearly every CMYK JPEG
// does.
void FromInks(const unsigned char* cmyk, JDIMENSION width, bool inverted, std::uint32_t* row) {
    for (JDIMENSION i = 0; i < width; ++i) {
        unsigned c = cmyk[i * 4], m = cmyk[i * 4 + 1], y = cmyk[i * 4 + 2], k = cmyk[i * 4 + 3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        row[i] = 0xff000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
    }
}

// The rows read, kept by the caller of setjmp: libjpeg's errors jump over this file's frames.
struct Buffers {
    std::vector<std::uint32_t> row;
    std::vector<unsigned char> cmyk;
};

// Rows of level `from` (0..3, libjpeg's own scaling), those from `firstRow` on, columns at least
// `x0` .. `x1` - 1, into `sink`.
void Rows(jpeg_decompress_struct& info, const Request& r, int from, std::int64_t firstRow,
          std::int64_t x0, std::int64_t x1, Sink& sink, Buffers& buffers) {
    DirectRows* direct = Start(info, r, from, x0, x1, sink);
    const std::int64_t width = info.output_width, height = info.output_height;
    // Rows are read a few at a time: libjpeg then writes them in place, without its spare row.
    constexpr int kBatch = 16;
    JDIMENSION xoff = JDIMENSION(std::clamp<std::int64_t>(x0, 0, width - 1));
    JDIMENSION cropWidth = JDIMENSION(std::clamp<std::int64_t>(x1, xoff + 1, width) - xoff);
    if (xoff > 0 || cropWidth < width) jpeg_crop_scanline(&info, &xoff, &cropWidth);
    // In place only when the crop's columns are the sink's (a crop starts at a block's edge).
    if (direct &&
        (std::int64_t(xoff) != direct->Left() || std::int64_t(cropWidth) != direct->Width()))
        direct = nullptr;
    std::vector<std::uint32_t>& row = buffers.row;
    row.assign(direct ? 0 : std::size_t(width) * kBatch, 0xff000000u);
    const bool fourColours = FourColours(info);
    std::vector<unsigned char>& cmyk = buffers.cmyk;
    cmyk.resize(fourColours ? std::size_t(cropWidth) * 4 : 0);
    if (firstRow > 0) jpeg_skip_scanlines(&info, JDIMENSION(std::min(firstRow, height)));
    while (direct && info.output_scanline < info.output_height) {
        JSAMPROW lines[kBatch];
        const int room = direct->Room(lines, kBatch);
        if (room == 0) return; // no more rows wanted
        direct->Wrote(int(jpeg_read_scanlines(&info, lines, JDIMENSION(room))));
    }
    while (info.output_scanline < info.output_height) {
        if (fourColours) {
            JSAMPROW line = cmyk.data();
            jpeg_read_scanlines(&info, &line, 1);
            FromInks(cmyk.data(), cropWidth, info.saw_Adobe_marker, row.data() + xoff);
            if (!sink.Take(row.data())) return;
            continue;
        }
        JSAMPROW lines[kBatch];
        for (int i = 0; i < kBatch; ++i)
            lines[i] = reinterpret_cast<JSAMPROW>(row.data() + i * width + xoff);
        const JDIMENSION n = jpeg_read_scanlines(&info, lines, kBatch);
        for (JDIMENSION i = 0; i < n; ++i)
            if (!sink.Take(row.data() + i * width)) return;
    }
    sink.End();
}

} // namespace

void ReadJpeg(int fd, const Request& r, int from, std::int64_t firstRow, std::int64_t x0,
              std::int64_t x1, Sink& sink) {
    FILE* file = ::fdopen(::dup(fd), "rb");
    if (!file) throw Failure("the picture cannot be read");
    jpeg_decompress_struct info{};
    JpegError error{};
    Buffers buffers;
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = JpegFail;
    error.mgr.emit_message = JpegQuiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        throw Failure(std::string("the picture is damaged or cannot be decoded (") + error.message +
                      ")");
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    try {
        Rows(info, r, from, firstRow, x0, x1, sink, buffers);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        throw;
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
}

} // namespace Decoder
