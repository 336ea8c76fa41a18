#pragma once

#include <cstddef>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

namespace trigfile {

// Text made now to be written out later (the details of a listing come
// after its summary): held in memory up to a limit, and past it in an
// unnamed temporary file that the system removes when it is closed, so that
// a listing of any length costs the same memory.
class TextSpool {
  public:
    static constexpr std::size_t kMemoryLimit = std::size_t{4} << 20;

    TextSpool() = default;
    ~TextSpool();
    TextSpool(const TextSpool&) = delete;
    TextSpool& operator=(const TextSpool&) = delete;

    void append(std::string_view text);
    // Writes all the text appended, in order; false when it could not be
    // read back.
    bool copyTo(std::ostream& out);

  private:
    void spill();

    std::string held_;
    std::FILE* file_ = nullptr;
    std::size_t inFile_ = 0;  // bytes written whole to file_, before held_
    bool fileFailed_ = false; // no (more) temporary file: the rest stays in memory
};

} // namespace trigfile
