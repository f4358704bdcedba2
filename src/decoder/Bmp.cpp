// BMP, read row after row from the file (bottom up where it is stored so); a run-length coded
// picture's indexes are expanded whole first.
#include "decoder/Readers.h"

#include <algorithm>
#include <unistd.h>

namespace Decoder {
namespace {

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

// What the headers say of the rows.
struct Layout {
    std::uint32_t dataAt = 0, headerSize = 0, compression = 0, used = 0;
    std::int64_t width = 0, height = 0;
    int bits = 0;
    bool bottomUp = true;
    std::uint32_t masks[3] = {0x7c00, 0x3e0, 0x1f};
    bool Rle() const { return compression == 1 || compression == 2; }
};

Layout ReadLayout(int fd, const Request& r) {
    unsigned char h[124 + 14] = {};
    const ssize_t got = ::pread(fd, h, sizeof h, 0);
    if (got < 26) throw Failure("the picture is damaged or cannot be decoded (header cut short)");
    Layout l;
    l.dataAt = Le(h + 10, 4), l.headerSize = Le(h + 14, 4);
    if (l.headerSize == 12) {
        l.width = Le(h + 18, 2), l.height = Le(h + 20, 2), l.bits = int(Le(h + 24, 2));
    } else {
        if (got < 54)
            throw Failure("the picture is damaged or cannot be decoded (header cut short)");
        l.width = std::int32_t(Le(h + 18, 4)), l.height = std::int32_t(Le(h + 22, 4));
        l.bits = int(Le(h + 28, 2)), l.compression = Le(h + 30, 4), l.used = Le(h + 46, 4);
        if (l.bits == 32) l.masks[0] = 0xff0000, l.masks[1] = 0xff00, l.masks[2] = 0xff;
        if (l.compression == 3 || l.compression == 6) {
            const unsigned char* m = l.headerSize >= 52 ? h + 54 : h + 14 + l.headerSize;
            if (m + 12 > h + got) throw Failure("the picture is damaged or cannot be decoded");
            for (int i = 0; i < 3; ++i) l.masks[i] = Le(m + 4 * i, 4);
        }
    }
    l.bottomUp = l.height > 0;
    l.height = l.height < 0 ? -l.height : l.height;
    if (l.width != r.width || l.height != r.height)
        throw Failure("the picture's size is not what its header said");
    const int bits = l.bits;
    if (!(l.compression == 0 || l.compression == 3 || l.compression == 6 || l.Rle()) ||
        !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) ||
        (l.Rle() && bits != (l.compression == 1 ? 8 : 4)))
        throw Failure("the picture is damaged or cannot be decoded (a kind of BMP not read)");
    return l;
}

void Palette(int fd, const Layout& l, std::uint32_t (&palette)[256]) {
    std::fill(std::begin(palette), std::end(palette), 0xff000000u);
    if (l.bits > 8) return;
    const int entry = l.headerSize == 12 ? 3 : 4;
    const int count = int(l.used && l.used <= 256u ? l.used : 1u << l.bits);
    std::vector<unsigned char> p(std::size_t(count * entry));
    const ssize_t n = ::pread(fd, p.data(), p.size(), off_t(14 + l.headerSize));
    for (int i = 0; i < count && (i + 1) * entry <= n; ++i)
        palette[i] = 0xff000000u | Le(p.data() + i * entry, 3);
}

// A run-length coded picture's indexes, whole, bottom row first as stored.
std::vector<unsigned char> Expanded(int fd, const Layout& l, const Request& r) {
    const std::int64_t width = l.width, height = l.height;
    const int bits = l.bits;
    CheckMemory(std::uint64_t(width) * std::uint64_t(height) + std::uint64_t(width) * 8, r,
                "a compressed BMP of this size");
    std::vector<unsigned char> indexes(std::size_t(width) * std::size_t(height), 0);
    std::vector<unsigned char> data(1 << 16);
    std::int64_t have = 0, at = 0;
    off_t offset = l.dataAt;
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
        if (count < 0 || value < 0 || (count == 0 && value == 1)) break; // the end
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(bits == 8 ? value : (i % 2 ? value & 15 : value >> 4));
        } else if (value == 0) {
            x = 0, ++y;
        } else if (value == 2) {
            const int dx = next(), dy = next();
            if (dx < 0 || dy < 0) break;
            x += dx, y += dy;
        } else { // a run of values as they are, padded to a whole word
            int pair = 0;
            for (int i = 0; i < value; ++i) {
                if (bits == 8 || i % 2 == 0) pair = next();
                if (pair < 0) break;
                put(bits == 8 ? pair : (i % 2 ? pair & 15 : pair >> 4));
            }
            if ((bits == 8 ? value : (value + 1) / 2) % 2) next();
        }
        if (y >= height) break;
    }
    return indexes;
}

// One stored row of uncompressed pixels into words.
void Convert(const unsigned char* p, const Layout& l, const std::uint32_t (&palette)[256],
             std::uint32_t* row) {
    const Field fr(l.masks[0]), fg(l.masks[1]), fb(l.masks[2]);
    for (std::int64_t x = 0; x < l.width; ++x) {
        std::uint32_t v = 0;
        switch (l.bits) {
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
            const std::uint32_t w = Le(p + x * (l.bits / 8), l.bits / 8);
            v = 0xff000000u | fr.Of(w) << 16 | fg.Of(w) << 8 | fb.Of(w);
        }
        }
        row[x] = v;
    }
}

} // namespace

void ReadBmp(int fd, const Request& r, std::int64_t firstRow, Sink& sink) {
    const Layout l = ReadLayout(fd, r);
    std::uint32_t palette[256];
    Palette(fd, l, palette);
    const std::uint64_t stride = (std::uint64_t(l.width) * std::uint64_t(l.bits) + 31) / 32 * 4;
    std::vector<unsigned char> raw(static_cast<std::size_t>(stride));
    std::vector<std::uint32_t> row(static_cast<std::size_t>(l.width));
    const std::vector<unsigned char> indexes =
        l.Rle() ? Expanded(fd, l, r) : std::vector<unsigned char>();
    for (std::int64_t y = firstRow; y < l.height; ++y) {
        const std::int64_t fileRow = l.bottomUp ? l.height - 1 - y : y;
        if (l.Rle()) {
            const unsigned char* ix = indexes.data() + fileRow * l.width;
            for (std::int64_t x = 0; x < l.width; ++x) row[std::size_t(x)] = palette[ix[x]];
        } else {
            const off_t at = off_t(l.dataAt + std::uint64_t(fileRow) * stride);
            if (::pread(fd, raw.data(), raw.size(), at) != ssize_t(raw.size()))
                throw Failure("the picture file is incomplete (cut short or damaged)");
            Convert(raw.data(), l, palette, row.data());
        }
        if (!sink.Take(row.data())) return;
    }
    sink.End();
}

} // namespace Decoder
