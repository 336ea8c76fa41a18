#include "trigfile/leading_number.h"

#include "base/ascii.h"

#include <charconv>
#include <limits>
#include <string>

namespace trigfile {
namespace {

bool isIgnored(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isOctalDigit(char c) {
    return c >= '0' && c <= '7';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string withoutIgnored(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!isIgnored(c)) {
            out.push_back(c);
        }
    }
    return out;
}

// Parses hexadecimal digits as a correctly rounded double; too many digits
// for a double give infinity rather than a wrapped value.
double parseHexDigits(std::string_view digits) {
    if (digits.empty()) {
        return 0.0;
    }
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                           std::chars_format::hex);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        return std::numeric_limits<double>::infinity();
    }
    return value;
}

// Octal digits are regrouped into hexadecimal ones (three bits each into four
// bits each) so that both radixes share the same exact conversion.
double parseOctalDigits(std::string_view digits) {
    std::string bits;
    bits.reserve(digits.size() * 3 + 3);
    for (char d : digits) {
        const int v = d - '0';
        bits.push_back((v & 4) ? '1' : '0');
        bits.push_back((v & 2) ? '1' : '0');
        bits.push_back((v & 1) ? '1' : '0');
    }
    while (bits.size() % 4 != 0) {
        bits.insert(bits.begin(), '0');
    }
    std::string hex;
    hex.reserve(bits.size() / 4);
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        const int nibble = (bits[i] - '0') * 8 + (bits[i + 1] - '0') * 4 + (bits[i + 2] - '0') * 2 +
                           (bits[i + 3] - '0');
        hex.push_back(kHex[nibble]);
    }
    return parseHexDigits(hex);
}

double parseRadixInteger(std::string_view text, bool hex) {
    std::size_t end = 0;
    while (end < text.size() && (hex ? isHexDigit(text[end]) : isOctalDigit(text[end]))) {
        ++end;
    }
    const std::string_view digits = text.substr(0, end);
    return hex ? parseHexDigits(digits) : parseOctalDigits(digits);
}

// Decides, for a canonical decimal text that std::from_chars found out of
// range, whether it overflows (infinity) or underflows (zero).
double overflowsOrUnderflows(std::string_view number) {
    const std::size_t ePos = number.find('e');
    const std::string_view mantissa = number.substr(0, ePos);
    const std::size_t point = mantissa.find('.');
    const long long integerDigits =
        static_cast<long long>(point == std::string_view::npos ? mantissa.size() : point);
    long long index = 0;
    long long firstSignificant = -1;
    for (char c : mantissa) {
        if (c == '.') {
            continue;
        }
        if (c != '0') {
            firstSignificant = index;
            break;
        }
        ++index;
    }
    if (firstSignificant < 0) {
        return 0.0;
    }
    long long exponent = 0;
    if (ePos != std::string_view::npos) {
        std::string_view digits = number.substr(ePos + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        if (negative) {
            digits.remove_prefix(1);
        }
        for (char c : digits) {
            exponent = exponent * 10 + (c - '0');
            if (exponent > 1'000'000'000LL) {
                break; // far beyond any double; the sign is all that matters
            }
        }
        if (negative) {
            exponent = -exponent;
        }
    }
    const long long magnitude = integerDigits - 1 - firstSignificant + exponent;
    return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

double parseLeadingDecimal(std::string_view text) {
    // Collect the longest leading decimal number into a canonical form that
    // std::from_chars understands (no plus sign, 'e' for the exponent).
    std::string number;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::size_t mantissaDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
        number.push_back(text[i++]);
        ++mantissaDigits;
    }
    if (i < text.size() && text[i] == '.') {
        std::string fraction = ".";
        std::size_t j = i + 1;
        while (j < text.size() && isDigit(text[j])) {
            fraction.push_back(text[j++]);
            ++mantissaDigits;
        }
        number += fraction;
        i = j;
    }
    if (mantissaDigits == 0) {
        return 0.0;
    }
    if (i < text.size() && (base::lowerAscii(text[i]) == 'e' || base::lowerAscii(text[i]) == 'd')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            if (text[j] == '-') {
                exponent.push_back('-');
            }
            ++j;
        }
        std::size_t exponentDigits = 0;
        while (j < text.size() && isDigit(text[j])) {
            exponent.push_back(text[j++]);
            ++exponentDigits;
        }
        if (exponentDigits > 0) {
            number += exponent;
        }
    }

    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::general);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone when it over- or underflows; tell
        // the two apart by where the number's first significant digit lands.
        value = overflowsOrUnderflows(number);
    }
    return negative ? -value : value;
}

} // namespace

double leadingNumber(std::string_view rawText) {
    const std::string text = withoutIgnored(rawText);
    if (text.size() >= 2 && text[0] == '&') {
        const char radix = base::lowerAscii(text[1]);
        if (radix == 'h') {
            return parseRadixInteger(std::string_view(text).substr(2), true);
        }
        if (radix == 'o') {
            return parseRadixInteger(std::string_view(text).substr(2), false);
        }
    }
    return parseLeadingDecimal(text);
}

} // namespace trigfile
