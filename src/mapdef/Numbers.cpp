#include "mapdef/Numbers.h"

#include "platform/CoreError.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace MapCode {
namespace {

[[noreturn]] void Overflow() {
    throw CoreError(ErrorKind::Overflow, "Overflow");
}
[[noreturn]] void Mismatch() {
    throw CoreError(ErrorKind::TypeMismatch, "Type mismatch");
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Parses "[-]digits[.digits]" or "[-].digits" (already checked) into a double.
double Parse(const std::string& number) {
    double v = 0;
    const char* first = number.data();
    const char* last = first + number.size();
    const auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) Overflow();
    if (ec != std::errc() || ptr != last) Mismatch();
    if (!std::isfinite(v)) Overflow();
    return v;
}

} // namespace

double LenientNumber(std::string_view text) {
    std::string number;
    bool digits = false, point = false, signAllowed = true;
    for (char c : text) {
        if (c == ' ') continue;
        if (signAllowed && (c == '-' || c == '+')) {
            if (c == '-') number += '-';
            signAllowed = false;
            continue;
        }
        signAllowed = false;
        if (IsDigit(c)) {
            number += c;
            digits = true;
        } else if (c == '.' && !point) {
            number += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    return Parse(number);
}

double StrictNumber(std::string_view text) {
    std::size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ') ++i;
    while (n > i && text[n - 1] == ' ') --n;
    std::string number;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        if (text[i] == '-') number += '-';
        ++i;
        while (i < n && text[i] == ' ') ++i;
    }
    bool digits = false, point = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            Mismatch();
        }
        number += c;
    }
    if (!digits) Mismatch();
    return Parse(number);
}

std::int16_t RoundToInt16(double value) {
    const double r = std::nearbyint(value); // the default rounding: halves to even
    if (!(r >= -32768.0 && r <= 32767.0)) Overflow();
    return static_cast<std::int16_t>(r);
}

std::int32_t RoundToInt32(double value) {
    const double r = std::nearbyint(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) Overflow();
    return static_cast<std::int32_t>(r);
}

float ToSingle(double value) {
    if (std::isnan(value)) Overflow();
    const auto f = static_cast<float>(value);
    if (std::isinf(f)) Overflow();
    return f;
}

std::string ZeroPadded(long long value, int digits) {
    std::string s = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(s.size()) < digits)
        s.insert(0, static_cast<std::size_t>(digits) - s.size(), '0');
    return value < 0 ? "-" + s : s;
}

std::string TrimSpaces(std::string_view text) {
    const std::size_t b = text.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    const std::size_t e = text.find_last_not_of(' ');
    return std::string(text.substr(b, e - b + 1));
}

} // namespace MapCode
