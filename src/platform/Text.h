#pragma once
// Single-byte text of the core (Windows-1252) and its meeting points with native UTF-8.

#include <string>
#include <string_view>

namespace Platform {

// Every byte maps to one character; the five bytes Windows-1252 leaves undefined map to the
// C1 control of the same value so that any byte string survives a round trip.
std::string Cp1252ToUtf8(std::string_view bytes);

// Characters Windows-1252 cannot hold become '?', as the system's own ANSI conversion does;
// `lossless` (when given) tells whether that happened. Invalid UTF-8 is taken byte for byte.
std::string Utf8ToCp1252(std::string_view utf8, bool* lossless = nullptr);

// The UTF-8 byte-order mark some editors put at the start of a text file. Readers of such files
// read past it; a file written back keeps it.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// The length of the byte-order mark the text starts with: 3, or 0 when it starts without one.
inline std::size_t ByteOrderMarkLength(std::string_view text) {
    return text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark
               ? kUtf8ByteOrderMark.size()
               : 0;
}

// True when the text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Upper case of one Windows-1252 byte (ASCII and the accented letters of the code page).
char UpperChar(char c);
std::string Upper(std::string_view text);
std::string Lower(std::string_view text);

// Comparison without regard to case, as names are compared on the host's file systems.
bool EqualsNoCase(std::string_view a, std::string_view b);
// Ordering without regard to case: the order a host folder lists its names in.
bool LessNoCase(std::string_view a, std::string_view b);

// Wildcard match without regard to case: '*' any run of characters, '?' exactly one.
bool WildcardMatch(std::string_view pattern, std::string_view name);

} // namespace Platform
