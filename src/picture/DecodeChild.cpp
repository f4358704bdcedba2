// The decoding process: one piece of work at a time, read row after row from the picture file
// and reduced on the way, so that its memory is a few rows of the picture (plus what the format
// itself must hold: a progressive JPEG's coefficients, an interlaced GIF's or a compressed BMP's
// indexes). The program kills it when its work is abandoned; it keeps nothing between pieces.
#include "picture/DecodeProtocol.h"
#include "picture/DecodePyramid.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

namespace Picture::Protocol {
namespace {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) _exit(0); // the program has gone
        p += n, size -= std::size_t(n);
    }
}

bool ReadAll(int fd, void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n <= 0) return false;
        p += n, size -= std::size_t(n);
    }
    return true;
}

void Send(int socket, Answer answer, int level = 0, std::int64_t rows = 0,
          const std::string& text = {}) {
    Reply reply;
    reply.answer = answer;
    reply.level = level;
    reply.rows = rows;
    reply.textBytes = std::uint32_t(text.size());
    WriteAll(socket, &reply, sizeof reply);
    WriteAll(socket, text.data(), text.size());
}

inline std::uint32_t Mean4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    // Red and blue in one word, green in another: two bytes of headroom each for the sum.
    const std::uint32_t rb =
        ((a & 0xff00ff) + (b & 0xff00ff) + (c & 0xff00ff) + (d & 0xff00ff) + 0x20002) >> 2;
    const std::uint32_t g =
        ((a & 0xff00) + (b & 0xff00) + (c & 0xff00) + (d & 0xff00) + 0x200) >> 2;
    return 0xff000000u | (rb & 0xff00ff) | (g & 0xff00);
}

// Halves the rows it takes each way and hands them on: level k in, level k + 1 out.
class Halver : public Sink {
public:
    Halver(std::int64_t width, Sink& next)
        : width_(width), out_((width + 1) / 2), pending_(std::size_t(width)),
          row_(std::size_t(out_)), next_(next) {}
    bool Take(const std::uint32_t* row) override {
        if (!havePending_) {
            std::copy(row, row + width_, pending_.begin());
            havePending_ = true;
            return true;
        }
        havePending_ = false;
        return Emit(pending_.data(), row);
    }
    void End() override {
        if (havePending_ && !Emit(pending_.data(), pending_.data())) return;
        next_.End();
    }

private:
    bool Emit(const std::uint32_t* a, const std::uint32_t* b) {
        for (std::int64_t x = 0; x < out_; ++x) {
            const std::int64_t l = 2 * x, r = std::min(l + 1, width_ - 1);
            row_[std::size_t(x)] = Mean4(a[l], a[r], b[l], b[r]);
        }
        return next_.Take(row_.data());
    }
    std::int64_t width_, out_;
    std::vector<std::uint32_t> pending_, row_;
    bool havePending_ = false;
    Sink& next_;
};

// Rows y .. y + h - 1, columns x .. x + w - 1 of the rows it takes, into shared memory.
class RegionSink : public Sink {
public:
    RegionSink(std::uint32_t* out, const Request& r, std::int64_t firstRow)
        : out_(out), r_(r), at_(firstRow) {}
    bool Take(const std::uint32_t* row) override {
        if (at_ >= r_.y && at_ < r_.y + r_.h)
            std::memcpy(out_ + (at_ - r_.y) * r_.w, row + r_.x, std::size_t(r_.w) * 4);
        return ++at_ < r_.y + r_.h;
    }
    void End() override {}

private:
    std::uint32_t* out_;
    const Request& r_;
    std::int64_t at_;
};

// Drops the first rows it takes.
class Skip : public Sink {
public:
    Skip(std::int64_t rows, Sink& next) : rows_(rows), next_(next) {}
    bool Take(const std::uint32_t* row) override { return rows_-- > 0 || next_.Take(row); }
    void End() override { next_.End(); }

private:
    std::int64_t rows_;
    Sink& next_;
};

// A chain of halvers from level `from` down to `to`, ending in `last`.
class Chain {
public:
    Chain(std::int64_t width, int from, int to, Sink& last) : head_(&last) {
        for (int k = to - 1; k >= from; --k) {
            halvers_.push_back(std::make_unique<Halver>(LevelSide(width, k), *head_));
            head_ = halvers_.back().get();
        }
    }
    Sink& Head() { return *head_; }

private:
    std::vector<std::unique_ptr<Halver>> halvers_;
    Sink* head_;
};

std::string Mib(std::uint64_t bytes) {
    std::string digits = std::to_string((bytes + (1 << 20) - 1) >> 20);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(std::size_t(at), ",");
    return digits + " MiB";
}

void CheckMemory(std::uint64_t needed, const Request& r, const char* what) {
    if (r.memory && needed > r.memory)
        throw Failure(std::string("the picture is too large to decode (") + what + " needs " +
                      Mib(needed) + "; this machine allows " + Mib(r.memory) + ")");
}

// ---- JPEG ----

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

// Rows of the picture at level `from` (0..3, libjpeg's own scaling), those from `firstRow` on,
// columns at least `x0` .. `x1` - 1, into `sink`.
void JpegRows(jpeg_decompress_struct& info, const Request& r, int from, std::int64_t firstRow,
              std::int64_t x0, std::int64_t x1, Sink& sink) {
    if (r.memory) info.mem->max_memory_to_use = long(std::min<std::uint64_t>(r.memory, LONG_MAX));
    jpeg_read_header(&info, TRUE);
    if (std::int64_t(info.image_width) != r.width || std::int64_t(info.image_height) != r.height)
        throw Failure("the picture's size is not what its header said");
    const bool fourColours = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    // Rows of the sink's own width and pixels are written in place.
    DirectRows* direct =
        fourColours || x0 > 0 || x1 < LevelSide(r.width, from) ? nullptr : sink.Direct();
    info.out_color_space = fourColours                           ? JCS_CMYK
                           : direct && direct->PixelBytes() == 3 ? JCS_EXT_BGR
                                                                 : JCS_EXT_BGRA;
    info.scale_num = 1;
    info.scale_denom = 1u << from;
    jpeg_calc_output_dimensions(&info);
    // What libjpeg will hold: every coefficient when the picture comes in several scans.
    std::uint64_t coefficients = 0;
    if (jpeg_has_multiple_scans(&info))
        for (int c = 0; c < info.num_components; ++c) {
            const auto& comp = info.comp_info[c];
            const std::uint64_t bw = (comp.width_in_blocks + comp.h_samp_factor - 1) /
                                     comp.h_samp_factor * comp.h_samp_factor;
            const std::uint64_t bh = (comp.height_in_blocks + comp.v_samp_factor - 1) /
                                     comp.v_samp_factor * comp.v_samp_factor;
            coefficients += bw * bh * DCTSIZE2 * sizeof(JCOEF);
        }
    CheckMemory(coefficients + std::uint64_t(info.output_width) * 4 * 64, r,
                info.progressive_mode ? "a progressive JPEG of this size" : "this JPEG");
    jpeg_start_decompress(&info);
    const std::int64_t width = info.output_width, height = info.output_height;
    // Rows are read a few at a time: libjpeg then writes them in place, without its spare row.
    constexpr int kBatch = 16;
    std::vector<std::uint32_t> row(direct ? 0 : std::size_t(width) * kBatch, 0xff000000u);
    JDIMENSION xoff = JDIMENSION(std::clamp<std::int64_t>(x0, 0, width - 1));
    JDIMENSION cropWidth = JDIMENSION(std::clamp<std::int64_t>(x1, xoff + 1, width) - xoff);
    if (xoff > 0 || cropWidth < width) jpeg_crop_scanline(&info, &xoff, &cropWidth);
    std::vector<unsigned char> cmyk(fourColours ? std::size_t(cropWidth) * 4 : 0);
    if (firstRow > 0) jpeg_skip_scanlines(&info, JDIMENSION(std::min(firstRow, height)));
    // Adobe's files store the inks inverted, as nearly every CMYK JPEG does.
    const bool inverted = info.saw_Adobe_marker;
    while (direct && info.output_scanline < info.output_height) {
        JSAMPROW lines[kBatch];
        const int room = direct->Room(lines, kBatch);
        direct->Wrote(int(jpeg_read_scanlines(&info, lines, JDIMENSION(room))));
    }
    while (info.output_scanline < info.output_height) {
        if (fourColours) {
            JSAMPROW line = cmyk.data();
            jpeg_read_scanlines(&info, &line, 1);
            for (JDIMENSION i = 0; i < cropWidth; ++i) {
                unsigned c = cmyk[i * 4], m = cmyk[i * 4 + 1], y = cmyk[i * 4 + 2],
                         k = cmyk[i * 4 + 3];
                if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
                row[xoff + i] =
                    0xff000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
            }
        } else {
            JSAMPROW lines[kBatch];
            for (int i = 0; i < kBatch; ++i)
                lines[i] = reinterpret_cast<JSAMPROW>(row.data() + i * width + xoff);
            const JDIMENSION n = jpeg_read_scanlines(&info, lines, kBatch);
            for (JDIMENSION i = 0; i < n; ++i)
                if (!sink.Take(row.data() + i * width)) return;
            continue;
        }
        if (!sink.Take(row.data())) return;
    }
    sink.End();
}

void Jpeg(int fd, const Request& r, int from, std::int64_t firstRow, std::int64_t x0,
          std::int64_t x1, Sink& sink) {
    FILE* file = ::fdopen(::dup(fd), "rb");
    if (!file) throw Failure("the picture cannot be read");
    jpeg_decompress_struct info{};
    JpegError error{};
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
        JpegRows(info, r, from, firstRow, x0, x1, sink);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        throw;
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
}

// ---- GIF ----

std::string GifText(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "unknown error";
}

// The first picture of the file on its logical screen, top down.
void Gif(int fd, const Request& r, Sink& sink) {
    int code = 0;
    GifFileType* gif = DGifOpenFileHandle(::dup(fd), &code);
    if (!gif) throw Failure("the picture is damaged or cannot be decoded (" + GifText(code) + ")");
    struct Closer {
        GifFileType* g;
        ~Closer() { DGifCloseFile(g, nullptr); }
    } closer{gif};
    auto fail = [&] {
        throw Failure("the picture is damaged or cannot be decoded (" + GifText(gif->Error) + ")");
    };
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) fail();
        if (type == TERMINATE_RECORD_TYPE) throw Failure("the picture holds no image");
        if (type == EXTENSION_RECORD_TYPE) {
            int ext = 0;
            GifByteType* data = nullptr;
            if (DGifGetExtension(gif, &ext, &data) == GIF_ERROR) fail();
            if (ext == GRAPHICS_EXT_FUNC_CODE && data && data[0] >= 4 && (data[1] & 1))
                transparent = data[4];
            while (data)
                if (DGifGetExtensionNext(gif, &data) == GIF_ERROR) fail();
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) fail();
        break;
    }
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    std::uint32_t colours[256];
    for (int i = 0; i < 256; ++i) {
        colours[i] = 0xff000000u;
        if (map && i < map->ColorCount)
            colours[i] |= std::uint32_t(map->Colors[i].Red) << 16 |
                          std::uint32_t(map->Colors[i].Green) << 8 | map->Colors[i].Blue;
    }
    // What no frame covers, and transparent pixels, show white.
    const std::uint32_t background = 0xffffffffu;
    if (transparent >= 0) colours[transparent] = background;
    const std::int64_t W = r.width, H = r.height;
    const std::int64_t left = d.Left, top = d.Top, fw = d.Width, fh = d.Height;
    std::vector<GifPixelType> line(std::size_t(std::max<std::int64_t>(fw, 1)));
    std::vector<GifPixelType> all; // an interlaced frame, whole
    if (d.Interlace) {
        CheckMemory(std::uint64_t(fw) * std::uint64_t(fh) + std::uint64_t(W) * 8, r,
                    "an interlaced GIF of this size");
        all.resize(std::size_t(fw) * std::size_t(fh));
        const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (std::int64_t y = starts[pass]; y < fh; y += steps[pass])
                if (DGifGetLine(gif, all.data() + y * fw, int(fw)) == GIF_ERROR) fail();
    }
    std::vector<std::uint32_t> row(static_cast<std::size_t>(W));
    for (std::int64_t y = 0; y < H; ++y) {
        std::fill(row.begin(), row.end(), background);
        const std::int64_t fy = y - top;
        if (fy >= 0 && fy < fh) {
            const GifPixelType* px = nullptr;
            if (d.Interlace) {
                px = all.data() + fy * fw;
            } else {
                if (DGifGetLine(gif, line.data(), int(fw)) == GIF_ERROR) fail();
                px = line.data();
            }
            for (std::int64_t x = 0; x < fw; ++x)
                if (left + x >= 0 && left + x < W) row[std::size_t(left + x)] = colours[px[x]];
        }
        if (!sink.Take(row.data())) return;
    }
    sink.End();
}

// ---- BMP ----

std::uint32_t Le(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// A mask's shift and width, to widen its field to 8 bits.
struct Field {
    int shift = 0, bits = 0;
    explicit Field(std::uint32_t mask) {
        if (!mask) return;
        while (!(mask & 1)) mask >>= 1, ++shift;
        while (mask & 1) mask >>= 1, ++bits;
    }
    std::uint32_t Of(std::uint32_t v) const {
        if (!bits) return 0;
        const std::uint32_t f = (v >> shift) & ((1u << std::min(bits, 31)) - 1);
        return bits >= 8 ? f >> (bits - 8)
                         : (f * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1);
    }
};

void Bmp(int fd, const Request& r, std::int64_t firstRow, Sink& sink) {
    unsigned char h[124 + 14] = {};
    const ssize_t got = ::pread(fd, h, sizeof h, 0);
    if (got < 26) throw Failure("the picture is damaged or cannot be decoded (header cut short)");
    const std::uint32_t dataAt = Le(h + 10, 4), headerSize = Le(h + 14, 4);
    std::int64_t width = 0, height = 0;
    int bits = 0;
    std::uint32_t compression = 0, used = 0, masks[3] = {0x7c00, 0x3e0, 0x1f};
    if (headerSize == 12) {
        width = Le(h + 18, 2), height = Le(h + 20, 2), bits = int(Le(h + 24, 2));
    } else {
        if (got < 54)
            throw Failure("the picture is damaged or cannot be decoded (header cut short)");
        width = std::int32_t(Le(h + 18, 4)), height = std::int32_t(Le(h + 22, 4));
        bits = int(Le(h + 28, 2)), compression = Le(h + 30, 4), used = Le(h + 46, 4);
        if (bits == 32) masks[0] = 0xff0000, masks[1] = 0xff00, masks[2] = 0xff;
        if (compression == 3 || compression == 6) {
            const unsigned char* m = headerSize >= 52 ? h + 54 : h + 14 + headerSize;
            if (m + 12 > h + got) throw Failure("the picture is damaged or cannot be decoded");
            for (int i = 0; i < 3; ++i) masks[i] = Le(m + 4 * i, 4);
        }
    }
    const bool bottomUp = height > 0;
    height = height < 0 ? -height : height;
    if (width != r.width || height != r.height)
        throw Failure("the picture's size is not what its header said");
    const bool rle = compression == 1 || compression == 2;
    if (!(compression == 0 || compression == 3 || compression == 6 || rle) ||
        !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) ||
        (rle && bits != (compression == 1 ? 8 : 4)))
        throw Failure("the picture is damaged or cannot be decoded (a kind of BMP not read)");
    std::uint32_t palette[256];
    std::fill(std::begin(palette), std::end(palette), 0xff000000u);
    if (bits <= 8) {
        const int entry = headerSize == 12 ? 3 : 4;
        const int count = int(used && used <= 256u ? used : 1u << bits);
        std::vector<unsigned char> p(std::size_t(count * entry));
        const ssize_t n = ::pread(fd, p.data(), p.size(), off_t(14 + headerSize));
        for (int i = 0; i < count && (i + 1) * entry <= n; ++i)
            palette[i] = 0xff000000u | Le(p.data() + i * entry, 3);
    }
    const Field fr(masks[0]), fg(masks[1]), fb(masks[2]);
    const std::uint64_t stride = (std::uint64_t(width) * std::uint64_t(bits) + 31) / 32 * 4;
    std::vector<unsigned char> raw(static_cast<std::size_t>(stride));
    std::vector<std::uint32_t> row(static_cast<std::size_t>(width));
    std::vector<unsigned char> indexes; // a compressed picture's, whole (bottom row first)
    if (rle) {
        CheckMemory(std::uint64_t(width) * std::uint64_t(height) + std::uint64_t(width) * 8, r,
                    "a compressed BMP of this size");
        indexes.assign(std::size_t(width) * std::size_t(height), 0);
        std::vector<unsigned char> data(1 << 16);
        std::int64_t have = 0, at = 0;
        off_t offset = dataAt;
        auto next = [&]() -> int {
            if (at == have) {
                have = ::pread(fd, data.data(), data.size(), offset);
                if (have <= 0) return -1;
                offset += have, at = 0;
            }
            return data[std::size_t(at++)];
        };
        std::int64_t x = 0, y = 0;
        auto put = [&](int v) {
            if (x < width && y < height) indexes[std::size_t(y * width + x)] = std::uint8_t(v);
            ++x;
        };
        for (;;) {
            const int count = next(), value = next();
            if (count < 0 || value < 0) break;
            if (count > 0) {
                for (int i = 0; i < count; ++i)
                    put(bits == 8 ? value : (i % 2 ? value & 15 : value >> 4));
            } else if (value == 0) {
                x = 0, ++y;
            } else if (value == 1) {
                break;
            } else if (value == 2) {
                const int dx = next(), dy = next();
                if (dx < 0 || dy < 0) break;
                x += dx, y += dy;
            } else {
                int pair = 0;
                for (int i = 0; i < value; ++i) {
                    if (bits == 8 || i % 2 == 0) pair = next();
                    if (pair < 0) break;
                    put(bits == 8 ? pair : (i % 2 ? pair & 15 : pair >> 4));
                }
                const int bytes = bits == 8 ? value : (value + 1) / 2;
                if (bytes % 2) next();
            }
            if (y >= height) break;
        }
    }
    for (std::int64_t y = firstRow; y < height; ++y) {
        const std::int64_t fileRow = bottomUp ? height - 1 - y : y;
        if (rle) {
            const unsigned char* ix = indexes.data() + fileRow * width;
            for (std::int64_t x = 0; x < width; ++x) row[std::size_t(x)] = palette[ix[x]];
        } else {
            const off_t at = off_t(dataAt + std::uint64_t(fileRow) * stride);
            if (::pread(fd, raw.data(), raw.size(), at) != ssize_t(raw.size()))
                throw Failure("the picture file is incomplete (cut short or damaged)");
            const unsigned char* p = raw.data();
            for (std::int64_t x = 0; x < width; ++x) {
                std::uint32_t v = 0;
                switch (bits) {
                case 1:
                    v = palette[(p[x / 8] >> (7 - x % 8)) & 1];
                    break;
                case 4:
                    v = palette[(p[x / 2] >> (x % 2 ? 0 : 4)) & 15];
                    break;
                case 8:
                    v = palette[p[x]];
                    break;
                case 24:
                    v = 0xff000000u | Le(p + x * 3, 3);
                    break;
                default: {
                    const std::uint32_t w = Le(p + x * (bits / 8), bits / 8);
                    v = 0xff000000u | fr.Of(w) << 16 | fg.Of(w) << 8 | fb.Of(w);
                }
                }
                row[std::size_t(x)] = v;
            }
        }
        if (!sink.Take(row.data())) return;
    }
    sink.End();
}

// ---- the work ----

// Rows of level `from` (from `firstRow`), columns at least x0 .. x1 - 1, of the picture.
void Rows(int fd, const Request& r, int from, std::int64_t firstRow, std::int64_t x0,
          std::int64_t x1, Sink& sink) {
    switch (r.kind) {
    case Kind::Jpeg:
        return Jpeg(fd, r, from, firstRow, x0, x1, sink);
    case Kind::Gif: {
        Skip skip(firstRow, sink);
        return Gif(fd, r, skip);
    }
    case Kind::Bmp:
        return Bmp(fd, r, firstRow, sink);
    case Kind::Png: {
        CheckMemory(std::uint64_t(r.width) * std::uint64_t(r.height) * 8, r, "a PNG of this size");
        std::string error;
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        const auto pixels = ReadPng(path, r.width, r.height, error);
        if (pixels.empty()) throw Failure(error);
        for (std::int64_t y = firstRow; y < r.height; ++y)
            if (!sink.Take(pixels.data() + y * r.width)) return;
        sink.End();
        return;
    }
    }
}

void DoWork(const Request& r, const std::string& path, int out, int socket) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw Failure("the picture cannot be read: " + std::string(std::strerror(errno)));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (r.level < 0 || r.level >= kMaxLevels || r.lastLevel < r.level ||
        r.lastLevel >= kMaxLevels || r.width <= 0 || r.height <= 0 || r.tile < 2 || r.tile > 1024 ||
        r.tile % 2)
        throw Failure("a request the decoder cannot follow");
    // libjpeg reduces by up to 8 itself; the rest is halving.
    const int from = r.kind == Kind::Jpeg ? std::min(r.level, 3) : 0;
    const std::uint64_t rowBytes = std::uint64_t(LevelSide(r.width, from)) * 4;
    if (r.work == Work::Region) {
        const std::int64_t lw = LevelSide(r.width, r.level), lh = LevelSide(r.height, r.level);
        if (r.x < 0 || r.y < 0 || r.w <= 0 || r.h <= 0 || r.x + r.w > lw || r.y + r.h > lh)
            throw Failure("a request the decoder cannot follow");
        CheckMemory(rowBytes * 4, r, "a row of this picture");
        const std::size_t bytes = std::size_t(r.w * r.h * 4);
        void* map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, out, 0);
        if (map == MAP_FAILED) throw Failure("no memory for the decoded picture");
        const int f = r.level - from;
        RegionSink region(static_cast<std::uint32_t*>(map), r, r.y);
        Chain chain(r.width, from, r.level, region);
        try {
            Rows(fd, r, from, r.y << f, r.x << f, (r.x + r.w) << f, chain.Head());
        } catch (...) {
            ::munmap(map, bytes);
            throw;
        }
        ::munmap(map, bytes);
    } else {
        if (r.pixelBytes != 3 && r.pixelBytes != 4)
            throw Failure("a request the decoder cannot follow");
        CheckMemory(PyramidBytes(r.width, r.level, r.lastLevel, r.tile, r.pixelBytes) +
                        rowBytes * 4,
                    r, "a strip of this picture");
        const auto pyramid = PyramidSink(r, out, [socket](int level, std::int64_t rows) {
            Send(socket, Answer::Progress, level, rows);
        });
        Chain chain(r.width, from, r.level, *pyramid);
        Rows(fd, r, from, 0, 0, LevelSide(r.width, from), chain.Head());
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitAddressSpace = false; // the sanitizer reserves terabytes up front
#else
constexpr bool kLimitAddressSpace = true;
#endif

// The data this process has mapped, in bytes (what RLIMIT_DATA counts).
std::uint64_t DataBytes() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmData: %llu kB", &kib) == 1) break;
    std::fclose(f);
    return kib * 1024;
}

} // namespace

void Serve(int socket) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // gone with the program, whatever its end
    if (::getppid() == 1) _exit(0);
    const std::uint64_t base = DataBytes();
    for (;;) {
        Request r;
        if (!ReadAll(socket, &r, sizeof r)) _exit(0);
        std::string path(r.pathBytes, '\0');
        if (r.pathBytes > 65536 || !ReadAll(socket, path.data(), path.size())) _exit(0);
        // The output's descriptor comes alone, after the request.
        char byte = 0;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        iovec io{&byte, 1};
        msghdr msg{};
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        if (::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC) <= 0) _exit(0);
        int out = -1;
        if (cmsghdr* c = CMSG_FIRSTHDR(&msg); c && c->cmsg_type == SCM_RIGHTS)
            std::memcpy(&out, CMSG_DATA(c), sizeof out);
        if (kLimitAddressSpace && r.memory) {
            // A decoder that allocates beyond what was worked out fails instead of growing.
            const rlimit limit{rlim_t(base + r.memory + (64u << 20)), RLIM_INFINITY};
            ::setrlimit(RLIMIT_DATA, &limit);
        }
        try {
            DoWork(r, path, out, socket);
            Send(socket, Answer::Done);
        } catch (const std::bad_alloc&) {
            Send(socket, Answer::Failed, 0, 0,
                 "the picture is too large to decode (it needs more than this machine allows, " +
                     Mib(r.memory) + ")");
        } catch (const std::exception& e) {
            Send(socket, Answer::Failed, 0, 0, e.what());
        }
        if (out >= 0) ::close(out);
    }
}

namespace {
// The program started as a decoding process runs nothing of its own: it serves and goes.
__attribute__((constructor)) void StartAsDecodingProcess() {
    const char* socket = std::getenv(kProcessVariable);
    if (!socket || !*socket) return;
    const int fd = std::atoi(socket);
    ::unsetenv(kProcessVariable);
    Serve(fd);
}
} // namespace

} // namespace Picture::Protocol
