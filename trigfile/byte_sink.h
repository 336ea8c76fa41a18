#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace trigfile {

// Why a file could not be written, in words for the user (including the
// system's own error text where there is one).
class WriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A sequential byte destination: the output file, or a stand-in in tests.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Writes all the bytes, or throws WriteError.
    virtual void write(const std::uint8_t* data, std::size_t size) = 0;
};

} // namespace trigfile
