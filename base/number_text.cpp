#include "base/number_text.h"

#include <charconv>
#include <cstdio>

namespace base {

std::string withThousands(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return out;
}

std::string fileSizeText(std::uint64_t bytes) {
    const std::string exact = withThousands(bytes) + " bytes";
    if (bytes < 1'000'000) {
        return exact;
    }
    const char* unit = bytes < 1'000'000'000 ? "MB" : "GB";
    const double scaled = static_cast<double>(bytes) / (bytes < 1'000'000'000 ? 1e6 : 1e9);
    // to_chars rounds as printf's "%.1f" does, but always with a decimal point:
    // printf takes the point from the locale, which a Qt program sets from the
    // environment, and "2,4 GB" beside "2,400,002,408 bytes" reads wrongly.
    char rounded[32];
    const auto end =
        std::to_chars(rounded, rounded + sizeof rounded, scaled, std::chars_format::fixed, 1).ptr;
    return std::string(rounded, end) + " " + unit + " (" + exact + ")";
}

std::string sizeText(std::uint64_t bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) {
        return withThousands(bytes / (1024 * 1024)) + " MiB";
    }
    return withThousands(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string printableBytes(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            text += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            text += hex;
        }
    }
    return text;
}

} // namespace base
