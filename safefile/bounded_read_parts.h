#pragma once

// What the bounded reads of each system share (inside the library only).

#include "base/display_name.h"
#include "base/number_text.h"
#include "safefile/bounded_read.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace safefile::reading {

inline base::Problem cannotOpen(const std::filesystem::path& path, const std::string& why) {
    return base::Problem::refused("Could not open " + base::displayName(path) + ": " + why + ".");
}

inline std::string systemText(int error) {
    return error != 0 ? std::generic_category().message(error) : "unknown reason";
}

inline constexpr std::size_t kChunk = 1 << 16;

// The size the system reports saves growing the buffer step by step (and
// holding it twice meanwhile); it is a hint, not a promise.
inline std::vector<std::uint8_t> bufferFor(std::uint64_t reported, std::uint64_t maxBytes) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(std::min(reported, maxBytes) + kChunk));
    return bytes;
}

inline base::Problem tooLarge(const std::filesystem::path& path, std::uint64_t maxBytes) {
    return base::Problem::refused(base::displayName(path) + " is larger than " +
                                  base::sizeText(maxBytes) + ", more than Tallyforge reads.");
}

} // namespace safefile::reading
