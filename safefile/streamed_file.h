#pragma once

#include "base/outcome.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace safefile {

// A regular file read a part at a time, so that a big file is never held
// whole. What is not a regular file (a folder, a named pipe, a device) is
// refused when it is opened, without waiting on it, as readBoundedFile does.
class StreamedFile {
  public:
    static base::Outcome<StreamedFile> open(const std::filesystem::path& path);
    StreamedFile(StreamedFile&&) noexcept;
    StreamedFile& operator=(StreamedFile&&) noexcept;
    ~StreamedFile();

    // The size the system reports when the file is opened: a hint that a
    // file changed meanwhile may belie, so readers still check each read.
    std::uint64_t reportedSize() const { return reportedSize_; }

    // Up to to.size() bytes from `offset`, fewer only at the end of the file.
    base::Outcome<std::size_t> readAt(std::uint64_t offset, std::span<std::uint8_t> to);

    const std::filesystem::path& path() const { return path_; }

  private:
    struct Handle;
    StreamedFile(std::filesystem::path path, std::unique_ptr<Handle> handle, std::uint64_t size);

    std::filesystem::path path_;
    std::unique_ptr<Handle> handle_;
    std::uint64_t reportedSize_ = 0;
};

// Bytes taken front to back a window at a time: bytes in memory as they
// are, or a file through one buffer of fixed size that is refilled as the
// reader moves on.
class ByteWindow {
  public:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

    explicit ByteWindow(std::span<const std::uint8_t> bytes) : memory_(bytes) {}
    explicit ByteWindow(StreamedFile& file) : file_(&file), buffer_(kBufferSize) {}

    // Makes n bytes from the position readable at data(), at most
    // kBufferSize for a file; fewer only at the end, where it gives all
    // that is left.
    base::Outcome<std::size_t> want(std::size_t n);
    const std::uint8_t* data() const;
    // Moves on past n of the bytes want() made readable.
    void skip(std::size_t n);
    std::uint64_t position() const { return position_; }
    // Whether the system failed a read of the file (the problem want() gave
    // back names the file).
    bool readFailed() const { return readFailed_; }

  private:
    std::span<const std::uint8_t> memory_;
    StreamedFile* file_ = nullptr;
    std::vector<std::uint8_t> buffer_; // a file's bytes from start_ to start_ + held_
    std::size_t start_ = 0;
    std::size_t held_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t fileOffset_ = 0; // where the next read of the file starts
    bool readFailed_ = false;
};

} // namespace safefile
