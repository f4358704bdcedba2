#include "decoder/Rows.h"

#include "platform/MemoryBound.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace Decoder {
namespace {

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

} // namespace

std::string MiBText(std::uint64_t bytes) {
    return Platform::Grouped((bytes + (1 << 20) - 1) >> 20) + " MiB";
}

void CheckMemory(std::uint64_t needed, const Request& r, const char* what) {
    if (r.memory && needed > r.memory)
        throw Failure(std::string("the picture is too large to decode (") + what + " needs " +
                      MiBText(needed) + "; this machine allows " + MiBText(r.memory) + ")");
}

RegionSink::RegionSink(int out, const Request& r, std::int64_t firstRow)
    : out_(out), r_(r), at_(firstRow), batch_(std::size_t(r.w) * kBatch) {}

bool RegionSink::Take(const std::uint32_t* row) {
    if (at_ >= r_.y && at_ < r_.y + r_.h) {
        std::memcpy(batch_.data() + std::size_t(held_) * std::size_t(r_.w), row + r_.x,
                    std::size_t(r_.w) * 4);
        ++held_;
    }
    ++at_;
    if (held_ == kBatch || at_ >= r_.y + r_.h) Flush();
    return at_ < r_.y + r_.h;
}

int RegionSink::Room(unsigned char** rows, int wanted) {
    const int n = int(std::clamp<std::int64_t>(r_.y + r_.h - at_, 0, std::min(wanted, kBatch)));
    for (int i = 0; i < n; ++i)
        rows[i] =
            reinterpret_cast<unsigned char*>(batch_.data() + std::size_t(i) * std::size_t(r_.w));
    return n;
}

void RegionSink::Wrote(int n) {
    held_ = n;
    at_ += n;
    Flush();
}

void RegionSink::Flush() {
    const std::size_t row = std::size_t(r_.w) * 4;
    const char* from = reinterpret_cast<const char*>(batch_.data());
    std::size_t bytes = row * std::size_t(held_);
    off_t at = off_t(std::uint64_t(at_ - held_ - r_.y) * row);
    held_ = 0;
    while (bytes > 0) {
        const ssize_t n = ::pwrite(out_, from, bytes, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Failure("no memory for the decoded picture");
        from += n, bytes -= std::size_t(n), at += off_t(n);
    }
}

Chain::Chain(std::int64_t width, int from, int to, Sink& last) : head_(&last) {
    for (int k = to - 1; k >= from; --k) {
        halvers_.push_back(std::make_unique<Halver>(LevelSide(width, k), *head_));
        head_ = halvers_.back().get();
    }
}

Chain::~Chain() = default;

} // namespace Decoder
