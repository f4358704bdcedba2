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
    InterlacedPng, // rows in seven passes: every pixel
};
// What the messages call such a picture: "a progressive JPEG" ... ("" for Nothing).
const char* HeldName(Held held);

struct HeaderInfo {
    Format format;
    std::int64_t width = 0, height = 0; // 0 when the header does not say
    bool complete = true;
    Held held = Held::Nothing;
    std::uint64_t heldBytes = 0; // what that whole-picture data takes, bytes
    // The header runs on past the bytes given: more of them may say more (a size, or what a
    // decoder holds).
    bool runsOn = false;
    bool operator==(const HeaderInfo&) const = default;
};

// The first bytes needed: a header is read from the file's first 64 KiB and its last 16 bytes.
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr std::size_t kTailBytes = 16;

// `head` is the start of the file (up to kHeadBytes), `tail` its end (up to kTailBytes) and
// `fileSize` its size in bytes. Nothing when the bytes are of no format it knows (the decoder
// then has the last word); a header cut short is reported as incomplete.
std::optional<HeaderInfo> InspectHeader(std::string_view head, std::string_view tail,
                                        std::uint64_t fileSize);

// What a picture file is, from its header alone: enough to place a map, to open its picture
// for decoding and to say at once why it cannot be shown. The one reading of a picture's header
// for every part of the program (the library's entries, the map view, the editor), so that the
// same fault is said in the same words everywhere.
struct Probe {
    enum class Fault {
        None,       // a picture of a known format, its size in `info`
        Missing,    // no such file
        Unreadable, // anything else: `error` says why
    } fault = Fault::None;
    std::string error; // why, in the words the program shows ("" when fault is None)
    HeaderInfo info{Format::Jpeg};
    bool operator==(const Probe&) const = default;
};
// Reads the head of the file at a Windows path (a few KiB, more only when the header runs on)
// and its tail; `native`, when given, is set to the native path read (or looked for). Missing:
// "File not found" or "Path not found". Unreadable: a folder, a file that cannot be read (and
// why), a format the header reader does not know, no size (or one beyond 2^31 - 1) and a file
// cut short, each with its reason.
Probe ProbeFile(const std::string& winPath, std::string* native = nullptr);

} // namespace Picture
