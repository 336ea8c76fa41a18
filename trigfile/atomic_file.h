#pragma once

#include "byte_sink.h"

#include <filesystem>

namespace trigfile {

// A new file that appears under its name only once it is complete.
// The bytes go to a temporary file in the target's folder; commit() flushes
// it to the disk and puts it in the target's place in one step, so an
// existing file of that name is either replaced whole or left as it was.
// Without commit() (a failure, a cancel) the temporary file is removed.
class AtomicFile : public ByteSink {
  public:
    explicit AtomicFile(std::filesystem::path target); // throws WriteError
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const std::uint8_t* data, std::size_t size) override;
    void commit(); // throws WriteError; the temporary file is gone either way

    const std::filesystem::path& temporaryPath() const { return temporary_; }

  private:
    void discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool done_ = false;
};

// The user-facing name of a path, for messages.
std::string displayName(const std::filesystem::path& path);

} // namespace trigfile
