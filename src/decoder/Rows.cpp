#include "decoder/Rows.h"

#include "platform/MemoryBound.h"

#include <algorithm>
#include <cstring>

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

bool RegionSink::Take(const std::uint32_t* row) {
    if (at_ >= r_.y && at_ < r_.y + r_.h)
        std::memcpy(out_ + (at_ - r_.y) * r_.w, row + r_.x, std::size_t(r_.w) * 4);
    return ++at_ < r_.y + r_.h;
}

int RegionSink::Room(unsigned char** rows, int wanted) {
    const int n = int(std::clamp<std::int64_t>(r_.y + r_.h - at_, 0, wanted));
    for (int i = 0; i < n; ++i)
        rows[i] = reinterpret_cast<unsigned char*>(out_ + (at_ - r_.y + i) * r_.w);
    return n;
}

Chain::Chain(std::int64_t width, int from, int to, Sink& last) : head_(&last) {
    for (int k = to - 1; k >= from; --k) {
        halvers_.push_back(std::make_unique<Halver>(LevelSide(width, k), *head_));
        head_ = halvers_.back().get();
    }
}

Chain::~Chain() = default;

} // namespace Decoder
