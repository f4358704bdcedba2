#pragma once
// Inside the decoder: the rows a picture's reader hands on, and the sinks that take them (a
// region of shared memory, a halving to the next level, a pyramid of tiles). Rows are words
// 0xffRRGGBB, top down.

#include "decoder/Protocol.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Decoder {

using Protocol::LevelSide;
using Protocol::Request;

// Why a piece of work failed, in the words the program shows.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws Failure "the picture is too large to decode (<what> needs N MiB; this machine allows
// M MiB)" when `needed` bytes are more than the request's working memory (0: no bound).
void CheckMemory(std::uint64_t needed, const Request& r, const char* what);
// Bytes as the messages write them: "1,024 MiB", rounded up.
std::string MiBText(std::uint64_t bytes);

// Where a reader may write the next rows itself, in the receiver's own pixels
// (PixelBytes() bytes each: 4, words 0xffRRGGBB; 3, bytes B, G, R), each row columns Left() ..
// Left() + Width() - 1 of the level and nothing else.
class DirectRows {
public:
    virtual ~DirectRows() = default;
    virtual int PixelBytes() const = 0;
    virtual std::int64_t Left() const = 0;
    virtual std::int64_t Width() const = 0;
    // Room for up to `wanted` of the next rows: their addresses into `rows`; how many (none
    // when no more are wanted). Throws std::runtime_error when the rows cannot be taken any
    // more.
    virtual int Room(unsigned char** rows, int wanted) = 0;
    // The first `n` rows of the room given last are written.
    virtual void Wrote(int n) = 0;
};

// Rows of one level, top down; Take returns false when no more are wanted.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool Take(const std::uint32_t* row) = 0;
    virtual void End() = 0;
    // Set when the reader may write rows of the sink's own width in place instead.
    virtual DirectRows* Direct() { return nullptr; }
};

// Rows y .. y + h - 1, columns x .. x + w - 1 of the rows it takes (the first being row
// `firstRow`), into the shared memory `out` (w words a row), written a batch of rows at a time
// from a buffer of its own: a reader that crops its rows to those columns writes them into that
// buffer in place. The shared memory is never mapped here: each page of a fresh mapping costs a
// fault, more than decoding the pixels on it, where writing costs a copy from a buffer that stays
// in the cache. Throws Failure when the memory cannot be written.
class RegionSink : public Sink, public DirectRows {
public:
    RegionSink(int out, const Request& r, std::int64_t firstRow);
    bool Take(const std::uint32_t* row) override;
    void End() override { Flush(); }
    DirectRows* Direct() override { return at_ == r_.y ? this : nullptr; }
    int PixelBytes() const override { return 4; }
    std::int64_t Left() const override { return r_.x; }
    std::int64_t Width() const override { return r_.w; }
    int Room(unsigned char** rows, int wanted) override;
    void Wrote(int n) override;

private:
    static constexpr int kBatch = 16;
    // Writes the rows gathered in the buffer.
    void Flush();
    int out_;
    const Request& r_;
    std::int64_t at_;
    std::vector<std::uint32_t> batch_; // kBatch rows
    int held_ = 0;                     // rows in it, the first of them row at_ - held_
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

// Rows of level `from` of a picture `width` pixels wide in, rows of level `to` out to `last`:
// each level the 2 x 2 means of the one above.
class Chain {
public:
    Chain(std::int64_t width, int from, int to, Sink& last);
    ~Chain();
    Sink& Head() { return *head_; }

private:
    std::vector<std::unique_ptr<Sink>> halvers_;
    Sink* head_;
};

} // namespace Decoder
