#pragma once

#include "safefile/byte_sink.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace trigfile {

// A 64-bit FNV-1a hash of bytes that arrive a part at a time, the same
// however they are split. It tells data changed by damage or by a faulty
// library from the data meant, not data made by someone to collide.
class ContentHash {
  public:
    void add(std::span<const std::uint8_t> bytes);
    std::uint64_t value() const { return value_; }
    std::uint64_t size() const { return size_; } // the bytes added so far

  private:
    std::uint64_t value_ = 0xCBF29CE484222325ULL; // FNV's offset basis
    std::uint64_t size_ = 0;
};

// Passes every byte on to `next` and hashes it on the way.
class HashingSink : public safefile::ByteSink {
  public:
    explicit HashingSink(safefile::ByteSink& next) : next_(next) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        hash_.add({data, size});
        next_.write(data, size);
    }
    const ContentHash& hash() const { return hash_; }

  private:
    safefile::ByteSink& next_;
    ContentHash hash_;
};

} // namespace trigfile
