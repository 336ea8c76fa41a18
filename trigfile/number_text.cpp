#include "number_text.h"

#include <cstdio>

namespace trigfile {

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
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.1f %s", scaled, unit);
    return std::string(rounded) + " (" + exact + ")";
}

} // namespace trigfile
