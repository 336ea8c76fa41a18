#pragma once

// A second, deliberately plain reading of a box's text as a number, kept
// apart from trigfile::leadingNumber so that the two can be compared:
//  - the text is cleaned of blanks, tabs and line feeds first;
//  - "&H" / "&O" (either case) numbers are converted here with exact bit
//    arithmetic and explicit round-half-to-even, no library parser at all;
//  - decimal numbers are matched by a separate scanner and handed, as a
//    clean "[-]digits[.digits][e[-]digits]" string, to the C library's
//    strtod_l in the "C" locale. glibc's strtod is exact (multi-precision)
//    and shares no code with the std::from_chars of libstdc++ that the
//    program uses, so agreement is evidence, not an echo.
//
// Signed zeros: "-0" and a negative number too small for a double read as
// -0.0, as strtod gives it; a text with no number reads as +0.0. The program
// treats both zeros alike (comparisons, rounding), but the two readers must
// agree on the sign bit all the same.

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>
#include <string_view>
#include <vector>

namespace reference {

inline bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

inline int digitValue(char c, int radix) {
    int v = -1;
    if (c >= '0' && c <= '9') {
        v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10;
    }
    return v >= 0 && v < radix ? v : -1;
}

// The value of a run of base-8 or base-16 digits, correctly rounded to the
// nearest double (ties to even), infinity when it is too large.
inline double radixValue(std::string_view digits, int radix) {
    const int bitsPerDigit = radix == 16 ? 4 : 3;
    std::vector<bool> bits; // most significant first
    for (char c : digits) {
        const int v = digitValue(c, radix);
        for (int b = bitsPerDigit - 1; b >= 0; --b) {
            const bool bit = (v >> b) & 1;
            if (bit || !bits.empty()) { // no leading zeros
                bits.push_back(bit);
            }
        }
    }
    if (bits.empty()) {
        return 0.0;
    }
    const std::size_t n = bits.size();
    if (n <= 53) {
        std::uint64_t m = 0;
        for (bool b : bits) {
            m = m * 2 + (b ? 1 : 0);
        }
        return static_cast<double>(m); // exact
    }
    std::uint64_t m = 0;
    for (std::size_t i = 0; i < 53; ++i) {
        m = m * 2 + (bits[i] ? 1 : 0);
    }
    const bool half = bits[53];
    bool rest = false;
    for (std::size_t i = 54; i < n; ++i) {
        rest = rest || bits[i];
    }
    long long shift = static_cast<long long>(n) - 53;
    if (half && (rest || (m & 1))) {
        ++m;
        if (m == (std::uint64_t{1} << 53)) {
            m >>= 1;
            ++shift;
        }
    }
    // m < 2^53, so m * 2^shift is exact unless it passes the largest double.
    if (shift + 53 > 1024) {
        return std::numeric_limits<double>::infinity();
    }
    return std::ldexp(static_cast<double>(m), static_cast<int>(shift));
}

inline double strtodC(const std::string& text) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return strtod_l(text.c_str(), nullptr, c);
}

inline double leadingNumber(std::string_view raw) {
    std::string t;
    for (char c : raw) {
        if (c != ' ' && c != '\t' && c != '\n') {
            t += c;
        }
    }

    if (t.size() >= 2 && t[0] == '&' &&
        (t[1] == 'h' || t[1] == 'H' || t[1] == 'o' || t[1] == 'O')) {
        const int radix = (t[1] == 'h' || t[1] == 'H') ? 16 : 8;
        std::size_t end = 2;
        while (end < t.size() && digitValue(t[end], radix) >= 0) {
            ++end;
        }
        return radixValue(std::string_view(t).substr(2, end - 2), radix);
    }

    // [sign] digits [. digits]   with at least one digit
    std::size_t i = 0;
    std::string clean;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-') {
            clean += '-';
        }
        ++i;
    }
    std::size_t digits = 0;
    while (i < t.size() && isDecimalDigit(t[i])) {
        clean += t[i++];
        ++digits;
    }
    if (i < t.size() && t[i] == '.') {
        clean += t[i++];
        while (i < t.size() && isDecimalDigit(t[i])) {
            clean += t[i++];
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    // then [E|D [sign] digits], taken only when at least one digit follows
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) {
            exponent += t[j++];
        }
        const std::size_t first = j;
        while (j < t.size() && isDecimalDigit(t[j])) {
            exponent += t[j++];
        }
        if (j > first) {
            clean += exponent;
        }
    }
    return strtodC(clean);
}

} // namespace reference
