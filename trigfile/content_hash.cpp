#include "trigfile/content_hash.h"

namespace trigfile {

void ContentHash::add(std::span<const std::uint8_t> bytes) {
    constexpr std::uint64_t kPrime = 0x100000001B3ULL; // FNV's 64-bit prime
    std::uint64_t h = value_;
    for (const std::uint8_t b : bytes) {
        h = (h ^ b) * kPrime;
    }
    value_ = h;
    size_ += bytes.size();
}

} // namespace trigfile
