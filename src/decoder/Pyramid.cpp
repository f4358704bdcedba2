#include "decoder/Pyramid.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace Decoder {

using Protocol::kBundleRows;
using Protocol::kBundles;

namespace {

template <int B>
void Halve(const unsigned char* a, const unsigned char* b, std::int64_t width, unsigned char* out) {
    const std::int64_t pairs = width / 2;
    for (std::int64_t x = 0; x < pairs; ++x)
        for (int c = 0; c < B; ++c) {
            const unsigned sum = unsigned(a[2 * B * x + c]) + a[2 * B * x + B + c] +
                                 b[2 * B * x + c] + b[2 * B * x + B + c];
            out[B * x + c] = static_cast<unsigned char>((sum + 2) >> 2);
        }
    if (width % 2) // the last column paired with itself
        for (int c = 0; c < B; ++c) {
            const unsigned sum = 2u * a[B * (width - 1) + c] + 2u * b[B * (width - 1) + c];
            out[B * pairs + c] = static_cast<unsigned char>((sum + 2) >> 2);
        }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define VARNET_SSSE3 1
// Pairs of pixels summed by one instruction (SSSE3: every x86-64 processor of the last fifteen
// years): four times as fast as byte by byte, the same values.
__attribute__((target("ssse3"))) __m128i MeanOfPairs(__m128i a0, __m128i a1, __m128i b0, __m128i b1,
                                                     __m128i order) {
    const __m128i ones = _mm_set1_epi8(1), two = _mm_set1_epi16(2);
    __m128i t = _mm_add_epi16(_mm_maddubs_epi16(_mm_shuffle_epi8(a0, order), ones),
                              _mm_maddubs_epi16(_mm_shuffle_epi8(b0, order), ones));
    __m128i u = _mm_add_epi16(_mm_maddubs_epi16(_mm_shuffle_epi8(a1, order), ones),
                              _mm_maddubs_epi16(_mm_shuffle_epi8(b1, order), ones));
    t = _mm_srli_epi16(_mm_add_epi16(t, two), 2);
    u = _mm_srli_epi16(_mm_add_epi16(u, two), 2);
    return _mm_packus_epi16(t, u);
}

__m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Eight pixels of each row at a time into four; the pixels left byte by byte.
__attribute__((target("ssse3"))) void Halve4Fast(const unsigned char* a, const unsigned char* b,
                                                 std::int64_t width, unsigned char* out) {
    const __m128i order = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    std::int64_t x = 0;
    for (; x + 4 <= width / 2; x += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                         MeanOfPairs(Load(a + 8 * x), Load(a + 8 * x + 16), Load(b + 8 * x),
                                     Load(b + 8 * x + 16), order));
    Halve<4>(a + 8 * x, b + 8 * x, width - 2 * x, out + 4 * x);
}

__attribute__((target("ssse3"))) void Halve3Fast(const unsigned char* a, const unsigned char* b,
                                                 std::int64_t width, unsigned char* out) {
    const __m128i order = _mm_setr_epi8(0, 3, 1, 4, 2, 5, -1, -1, 6, 9, 7, 10, 8, 11, -1, -1);
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::int64_t x = 0;
    // Each step reads 28 bytes of each row and writes 12.
    for (; x + 4 <= width / 2 && 6 * x + 28 <= 3 * width; x += 4) {
        const __m128i r =
            _mm_shuffle_epi8(MeanOfPairs(Load(a + 6 * x), Load(a + 6 * x + 12), Load(b + 6 * x),
                                         Load(b + 6 * x + 12), order),
                             pack);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * x), r);
        const std::uint32_t last = std::uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(r, 8)));
        std::memcpy(out + 3 * x + 8, &last, 4);
    }
    Halve<3>(a + 6 * x, b + 6 * x, width - 2 * x, out + 3 * x);
}

bool Fast() {
    static const bool fast = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return fast;
}
#endif

// `bytes` from `from` to `to`, past the processor's caches where it can (`to` 16-byte aligned):
// a strip of tiles is written once and read next by the disc or the program, not by this thread.
void Store(unsigned char* to, const unsigned char* from, std::size_t bytes) {
    std::size_t at = 0;
#if defined(__GNUC__) && defined(__x86_64__)
    for (; reinterpret_cast<std::uintptr_t>(to) % 16 == 0 && at + 64 <= bytes; at += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at + 48));
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + at), a);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + at + 16), b);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + at + 32), c);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + at + 48), d);
    }
#endif
    std::memcpy(to + at, from + at, bytes - at);
}

// What Store wrote, seen by every thread from here on.
void Stored() {
#if defined(__GNUC__) && defined(__x86_64__)
    _mm_sfence();
#endif
}

// Whole pages of memory: what writes straight to the disc need.
class Pages {
public:
    explicit Pages(std::size_t bytes) : size_(std::max<std::size_t>(bytes, 1)) {
        void* p =
            ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        data_ = static_cast<unsigned char*>(p);
        // Large pages where the system gives them: a strip's rows go to as many tiles as the
        // level is wide, each on pages of its own, and the disc pins every page it writes.
        ::madvise(p, size_, MADV_HUGEPAGE);
    }
    ~Pages() { ::munmap(data_, size_); }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;
    unsigned char* Data() const { return data_; }

private:
    std::size_t size_;
    unsigned char* data_ = nullptr;
};

// Writes strips of tiles to the tile file in the order given, on a thread of its own; straight
// to the disc where the system allows, since the tiles are read back rarely and the page cache
// would only hold them on their way (and cost a copy).
class Writer {
public:
    Writer(int file, Progress progress) : file_(file), progress_(std::move(progress)) {
        const std::string self = "/proc/self/fd/" + std::to_string(file);
        direct_ = ::open(self.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
        thread_ = std::thread([this] { Run(); });
    }
    ~Writer() {
        Stop();
        thread_.join();
        if (direct_ >= 0) ::close(direct_);
    }
    // Queues `bytes` from `data` (whole pages) for `offset`, tile rows 0 .. `rows` - 1 of
    // `level` once written; the number to wait for.
    std::uint64_t Put(const unsigned char* data, std::size_t bytes, std::uint64_t offset, int level,
                      std::int64_t rows) {
        std::lock_guard lock(mutex_);
        Throw();
        queue_.push_back({data, bytes, offset, level, rows});
        changed_.notify_all();
        return ++queued_;
    }
    // Waits until write `n` is done. Throws std::runtime_error when writing has failed.
    void Wait(std::uint64_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return done_ >= n || !error_.empty() || stop_; });
        Throw();
    }
    void Finish() { Wait(queued_); }
    void Stop() {
        std::lock_guard lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }

private:
    struct Item {
        const unsigned char* data;
        std::size_t bytes;
        std::uint64_t offset;
        int level;
        std::int64_t rows;
    };
    void Throw() {
        if (!error_.empty()) throw std::runtime_error(error_);
        if (stop_) throw std::runtime_error("stopped");
    }
    void Run() {
        for (;;) {
            Item item;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                if (stop_) return;
                item = queue_.front();
                queue_.pop_front();
            }
            const int failed = Write(item);
            if (!failed) progress_(item.level, item.rows);
            std::lock_guard lock(mutex_);
            if (failed)
                error_ = "the tiles cannot be written to the cache (" +
                         std::string(std::strerror(failed)) + ")";
            else
                ++done_;
            changed_.notify_all();
            if (failed) return;
        }
    }
    int Write(const Item& item) {
        std::size_t at = 0;
        while (at < item.bytes) {
            const int fd = direct_ >= 0 ? direct_ : file_;
            const ssize_t n =
                ::pwrite(fd, item.data + at, item.bytes - at, off_t(item.offset + at));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EINVAL &&
                fd == direct_) { // not taken straight: through the cache
                ::close(direct_);
                direct_ = -1;
                continue;
            }
            if (n <= 0) return n < 0 ? errno : ENOSPC;
            at += std::size_t(n);
        }
        return 0;
    }

    int file_, direct_ = -1;
    Progress progress_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    std::uint64_t queued_ = 0, done_ = 0;
    std::string error_;
    bool stop_ = false;
    std::thread thread_;
};

// The decoder fills one bundle of rows while the gathering thread takes the other into strips of
// tiles, each level's rows halved into the next; full strips go to the writer.
class Pyramid : public Sink, public DirectRows {
public:
    Pyramid(const Request& r, int output, Progress progress)
        : r_(r), pixel_(r.pixelBytes), progress_(std::move(progress)) {
        const std::int64_t tile = r.tile;
        for (int k = r.level; k <= r.lastLevel; ++k) {
            Level l;
            l.level = k;
            l.width = LevelSide(r.width, k);
            l.columns = (l.width + tile - 1) / tile;
            l.rowBytes = std::size_t(tile) * std::size_t(pixel_);
            l.tileBytes = l.rowBytes * std::size_t(tile);
            l.stripBytes = l.tileBytes * std::size_t(l.columns);
            l.offset = r.levelOffset[k];
            if (k < r.lastLevel)
                for (auto& half : l.half) half.resize(std::size_t(LevelSide(l.width, 1)) * pixel_);
            levels_.push_back(std::move(l));
        }
        for (auto& l : levels_)
            for (auto& own : l.own) own = std::make_unique<Pages>(l.stripBytes);
        writer_ = std::make_unique<Writer>(output, progress_);
        stride_ = std::size_t(levels_.front().width) * std::size_t(pixel_);
        for (auto& bundle : bundles_)
            bundle.pages = std::make_unique<Pages>(stride_ * std::size_t(kBundleRows));
        gatherer_ = std::thread([this] { Gather(); });
    }
    ~Pyramid() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            changed_.notify_all();
        }
        writer_->Stop();
        if (gatherer_.joinable()) gatherer_.join();
    }

    bool Take(const std::uint32_t* row) override {
        unsigned char* to = nullptr;
        Room(&to, 1);
        const std::int64_t width = levels_.front().width;
        if (pixel_ == 4) {
            std::memcpy(to, row, std::size_t(width) * 4);
        } else {
            for (std::int64_t x = 0; x < width; ++x) {
                to[3 * x] = static_cast<unsigned char>(row[x]);
                to[3 * x + 1] = static_cast<unsigned char>(row[x] >> 8);
                to[3 * x + 2] = static_cast<unsigned char>(row[x] >> 16);
            }
        }
        Wrote(1);
        return true;
    }
    void End() override {
        {
            std::lock_guard lock(mutex_);
            if (bundles_[filling_].rows > 0) bundles_[filling_].full = true;
            ended_ = true;
            changed_.notify_all();
        }
        gatherer_.join();
        std::lock_guard lock(mutex_);
        if (!error_.empty()) throw std::runtime_error(error_);
    }
    DirectRows* Direct() override { return this; }

    int PixelBytes() const override { return pixel_; }
    std::int64_t Left() const override { return 0; }
    std::int64_t Width() const override { return levels_.front().width; }
    int Room(unsigned char** rows, int wanted) override {
        Bundle& b = bundles_[filling_];
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !b.full || !error_.empty(); });
            if (!error_.empty()) throw std::runtime_error(error_);
        }
        const int n = std::min(wanted, kBundleRows - b.rows);
        for (int i = 0; i < n; ++i) rows[i] = b.pages->Data() + std::size_t(b.rows + i) * stride_;
        return n;
    }
    void Wrote(int n) override {
        Bundle& b = bundles_[filling_];
        b.rows += n;
        if (b.rows < kBundleRows) return;
        std::lock_guard lock(mutex_);
        b.full = true;
        filling_ = (filling_ + 1) % kBundles;
        changed_.notify_all();
    }

private:
    struct Level {
        int level = 0;
        std::int64_t width = 0, columns = 0;
        std::size_t rowBytes = 0, tileBytes = 0, stripBytes = 0;
        std::uint64_t offset = 0;
        unsigned char* strip = nullptr; // the strip being filled
        std::unique_ptr<Pages> own[2];  // one filled while the other is written
        std::uint64_t written[2] = {0, 0};
        int which = 0;
        std::int64_t tileRow = 0;
        std::int64_t inStrip = 0;
        const unsigned char* unpaired = nullptr; // the first row of a pair, till its second comes
        std::vector<unsigned char> half[2];      // the next level's last two rows
        int nextHalf = 0;
    };
    struct Bundle {
        std::unique_ptr<Pages> pages;
        int rows = 0;
        bool full = false;
    };

    // The gathering thread: bundles in order until the decoder has ended. A pair of rows is
    // never split between bundles, so the first of a pair is still there when the second comes.
    static_assert(kBundleRows % 2 == 0);
    void Gather() {
        try {
            for (int next = 0;; next = (next + 1) % kBundles) {
                Bundle& b = bundles_[next];
                {
                    std::unique_lock lock(mutex_);
                    changed_.wait(lock, [&] { return b.full || ended_ || stop_; });
                    if (stop_) return;
                    if (!b.full) break; // every bundle is taken
                }
                for (int i = 0; i < b.rows; ++i) Put(0, b.pages->Data() + std::size_t(i) * stride_);
                std::lock_guard lock(mutex_);
                b.rows = 0;
                b.full = false;
                changed_.notify_all();
            }
            Finish(0);
            if (writer_) writer_->Finish();
        } catch (const std::exception& e) {
            std::lock_guard lock(mutex_);
            error_ = e.what();
            changed_.notify_all();
        }
    }

    // Row after row of level `k`: each into its strip of tiles, and each pair of rows halved,
    // whole, into a row of the next level (the same as tile by tile, the tiles being of an even
    // side). The row must stay as it is until the next one comes.
    void Put(std::size_t k, const unsigned char* row) {
        Level& l = levels_[k];
        const std::int64_t tile = r_.tile;
        if (l.inStrip == 0) { // a strip of its own once its last writing is done
            writer_->Wait(l.written[l.which]);
            l.strip = l.own[l.which]->Data();
        }
        const std::size_t at = std::size_t(l.inStrip) * l.rowBytes;
        for (std::int64_t c = 0; c < l.columns; ++c) {
            const std::int64_t w = std::min(tile, l.width - c * tile);
            Store(l.strip + std::size_t(c) * l.tileBytes + at,
                  row + std::size_t(c * tile) * std::size_t(pixel_),
                  std::size_t(w) * std::size_t(pixel_));
        }
        ++l.inStrip;
        if (l.inStrip == tile) Complete(l);
        if (k + 1 < levels_.size()) {
            if (!l.unpaired) {
                l.unpaired = row;
                return;
            }
            Pair(k, l.unpaired, row);
        }
    }

    void Pair(std::size_t k, const unsigned char* a, const unsigned char* b) {
        Level& l = levels_[k];
        l.unpaired = nullptr;
        unsigned char* half = l.half[l.nextHalf].data();
        l.nextHalf ^= 1;
        HalveRow(a, b, l.width, pixel_, half);
        Put(k + 1, half);
    }

    void Complete(Level& l) {
        Stored();
        l.written[l.which] =
            writer_->Put(l.strip, l.stripBytes, l.offset + std::uint64_t(l.tileRow) * l.stripBytes,
                         l.level, l.tileRow + 1);
        l.which ^= 1;
        ++l.tileRow;
        l.inStrip = 0;
    }

    // The last rows of level `k` and those below it.
    void Finish(std::size_t k) {
        Level& l = levels_[k];
        const bool next = k + 1 < levels_.size();
        if (next && l.unpaired) Pair(k, l.unpaired, l.unpaired);
        if (l.inStrip > 0) Complete(l);
        if (next) Finish(k + 1);
    }

    const Request& r_;
    const int pixel_;
    Progress progress_;
    std::vector<Level> levels_;
    std::unique_ptr<Writer> writer_;
    std::size_t stride_ = 0;
    Bundle bundles_[kBundles];
    int filling_ = 0; // the decoder's
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false, stop_ = false;
    std::string error_;
    std::thread gatherer_;
};

} // namespace

void HalveRow(const unsigned char* a, const unsigned char* b, std::int64_t width, int pixelBytes,
              unsigned char* out) {
#ifdef VARNET_SSSE3
    if (Fast())
        return pixelBytes == 4 ? Halve4Fast(a, b, width, out) : Halve3Fast(a, b, width, out);
#endif
    if (pixelBytes == 4)
        Halve<4>(a, b, width, out);
    else
        Halve<3>(a, b, width, out);
}

std::unique_ptr<Sink> PyramidSink(const Request& r, int output, Progress progress) {
    return std::make_unique<Pyramid>(r, output, std::move(progress));
}

} // namespace Decoder
