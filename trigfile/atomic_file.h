#pragma once

#include "byte_sink.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace trigfile {

// On Linux, writeback of a large file is started in pieces of at least
// kWritebackStep bytes, ending on kWritebackAlign boundaries, as they are
// written; what lies kWritebackLag bytes behind is waited for and dropped
// from the page cache (see AtomicFile::paceWriteback).
inline constexpr std::uint64_t kWritebackAlign = 2u << 20; // the largest page-cache folio on x86-64
inline constexpr std::uint64_t kWritebackStep = 8u << 20;
inline constexpr std::uint64_t kWritebackLag = 32u << 20;

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

    // Closes the temporary file without putting it in place, so that another
    // library can open it by name and change it (a map archive is edited by
    // StormLib this way). No write() after this; commit() still flushes it.
    void release();

    // Flushes the file to the disk and puts it in the target's place, unless
    // cancelled was set meanwhile (the flush of a big file takes a while):
    // then the temporary file is removed and false returned. beforeReplace,
    // if given, runs once the file is on the disk, just before it takes the
    // target's place; what it throws stops the replace. Throws WriteError;
    // the temporary file is gone either way.
    bool commit(const std::atomic<bool>* cancelled = nullptr,
                const std::function<void()>& beforeReplace = {});

    const std::filesystem::path& temporaryPath() const { return temporary_; }

  private:
    void discard() noexcept;
    void paceWriteback();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    // POSIX: the target's folder, held open so that the temporary file is
    // removed even if the folder is moved or renamed while we write.
    int folderFd_ = -1;
    bool done_ = false;
    bool released_ = false;

    // Where the disk has got to, in bytes from the start (see paceWriteback).
    std::uint64_t written_ = 0;          // handed to the system
    std::uint64_t writebackStarted_ = 0; // sent on to the disk
    std::uint64_t writebackDone_ = 0;    // on the disk and out of the cache
    bool pacing_ = true;                 // false where the system cannot do it
};

// Flushes an existing, closed file to the disk (a copy made by the system,
// for instance). Throws WriteError.
void flushFile(const std::filesystem::path& path);

// The user-facing name of a path, for messages.
std::string displayName(const std::filesystem::path& path);

} // namespace trigfile
