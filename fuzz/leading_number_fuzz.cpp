// Differential fuzzing of the leading-number rule: trigfile::leadingNumber
// against the plain reference reader of reference_number.h, on any text.
// Both must give the same double, bit for bit: the same infinities, the same
// sign of zero, never NaN.

#include "reference_number.h"
#include "trigfile/leading_number.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

std::uint64_t bitsOf(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

void printText(std::string_view text) {
    std::fprintf(stderr, "text (%zu bytes): \"", text.size());
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            std::fputc(c, stderr);
        } else {
            std::fprintf(stderr, "\\x%02X", c);
        }
    }
    std::fprintf(stderr, "\"\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double got = trigfile::leadingNumber(text);
    const double want = reference::leadingNumber(text);
    if (std::isnan(got) || bitsOf(got) != bitsOf(want)) {
        printText(text);
        std::fprintf(stderr,
                     "leadingNumber gave %.17g (bits %016llx), the reference %.17g (%016llx)\n",
                     got, static_cast<unsigned long long>(bitsOf(got)), want,
                     static_cast<unsigned long long>(bitsOf(want)));
        std::abort();
    }
    return 0;
}
