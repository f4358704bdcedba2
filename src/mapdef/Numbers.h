#pragma once
// The number rules several routines share. Texts never depend on the user's locale: the
// decimal point is always '.', and exponents, radix prefixes, thousands separators and
// currency signs are not part of a number under either rule.

#include <cstdint>
#include <string>
#include <string_view>

namespace MapCode {

// The lenient rule: the value of the text's leading number. Spaces are ignored wherever they
// stand; an optional sign, digits and at most one '.' are read, up to the first other
// character. No leading number gives 0. Too large for a double: CoreError(Overflow).
double LenientNumber(std::string_view text);

// The strict rule: the whole text must be a number (optional spaces around it, an optional
// sign, digits with an optional '.' fraction). Anything else, "" included, is
// CoreError(TypeMismatch).
double StrictNumber(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour; outside the type's range (or
// not a number) is CoreError(Overflow).
std::int16_t RoundToInt16(double value);
std::int32_t RoundToInt32(double value);

// Rounds a double to single precision; a value too large for it is CoreError(Overflow).
float ToSingle(double value);

// The number written in decimal with at least `digits` digits, padded with leading zeros.
std::string ZeroPadded(long long value, int digits);

// Removes leading and trailing space characters (only ' ': tabs stay).
std::string TrimSpaces(std::string_view text);

} // namespace MapCode
