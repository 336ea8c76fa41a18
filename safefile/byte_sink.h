#pragma once

#include "safefile/write_error.h"

#include <cstddef>
#include <cstdint>

namespace safefile {

// A sequential byte destination: the output file, or a stand-in in tests.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Writes all the bytes, or throws WriteError.
    virtual void write(const std::uint8_t* data, std::size_t size) = 0;
};

} // namespace safefile
