#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// 16777215 -> "16,777,215": counts and sizes as the program's messages show them.
std::string withThousands(std::uint64_t n);

// A file size for people: "26,408 bytes", or "2.2 GB (2,400,002,408 bytes)"
// once bytes alone are hard to read.
std::string fileSizeText(std::uint64_t bytes);

// A limit in bytes for refusals: "256 MiB" when whole mebibytes, else
// "1,000 bytes".
std::string sizeText(std::uint64_t bytes);

// Text for a message: printable ASCII as it is, every other byte as \xNN.
std::string printableBytes(std::string_view bytes);

} // namespace base
