#pragma once
// What a picture file's own header says of it, read without decoding: its format, its size in
// pixels, and whether the file holds all the data the header announces (a file cut short is
// damaged even where a decoder would fill the rest with grey). Standard library only; it reads
// untrusted bytes and never past those it is given.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Picture {

enum class Format { Bmp, Gif, Jpeg, Png };

// Why a decoder must hold data of the whole picture at once, whatever the scale it decodes at.
enum class Held {
    Nothing,       // it decodes row after row
    Progressive,   // a progressive JPEG: every coefficient
    SeveralScans,  // a JPEG whose colours come one after another: every coefficient
    CompressedBmp, // run-length coded rows, bottom up: every pixel's index
    InterlacedGif, // rows in four passes: every pixel's index
};

struct HeaderInfo {
    Format format;
    std::int64_t width = 0, height = 0; // 0 when the header does not say
    bool complete = true;
    Held held = Held::Nothing;
    std::uint64_t heldBytes = 0; // what that whole-picture data takes, bytes
};

// The first bytes needed: a header is read from the file's first 64 KiB and its last 16 bytes.
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr std::size_t kTailBytes = 16;

// `head` is the start of the file (up to kHeadBytes), `tail` its end (up to kTailBytes) and
// `fileSize` its size in bytes. Nothing when the bytes are of no format it knows (the decoder
// then has the last word); a header cut short is reported as incomplete.
std::optional<HeaderInfo> InspectHeader(std::string_view head, std::string_view tail,
                                        std::uint64_t fileSize);

// What a picture file at a Windows path is, from its header alone: enough to place a map and to
// say at once why a picture cannot be shown, without decoding it.
struct Probe {
    enum class Fault {
        None,       // a picture of a known format, its size in `info`
        Missing,    // no such file
        Unreadable, // anything else: `error` says why
    } fault = Fault::None;
    std::string error;  // why, in the words the program shows ("" when fault is None)
    std::string native; // the native path read (or looked for)
    HeaderInfo info{Format::Jpeg};
};
// Reads the head (a few KiB, more only when the header runs on) and the tail of the file. A
// folder, an unreadable file, a format the header reader does not know, a size of 0 or a file
// cut short are Unreadable, with the reason.
Probe ProbeFile(const std::string& winPath);

} // namespace Picture
