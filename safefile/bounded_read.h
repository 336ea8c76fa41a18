#pragma once

#include "base/outcome.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace safefile {

// The most bytes any reader takes in, whatever the file claims: about a
// hundred thousand trigger records. A bigger file is refused, not read.
inline constexpr std::uint64_t kMaxReadBytes = 256ULL * 1024 * 1024;

// A file's bytes, or why they cannot be read.
using FileBytes = base::Outcome<std::vector<std::uint8_t>>;

// The whole file, or why it cannot be read. What is not a regular file (a
// folder, a named pipe, a device) is refused at once, without waiting on it;
// the read stops at maxBytes + 1 bytes rather than trusting the size the
// system reports.
FileBytes readBoundedFile(const std::filesystem::path& path,
                          std::uint64_t maxBytes = kMaxReadBytes);

} // namespace safefile
