#pragma once

#include "safefile/byte_sink.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace safefile {

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
//
// A target that is a symbolic link stays one: the file it names (which need
// not exist yet) is the one written. A replaced file keeps its permissions
// and, where the system allows, its group and owner; other names (hard
// links) of the old file keep the old bytes. Everything that can be checked
// about the final name is checked by the constructor, before any byte is
// written: its folder, its length, whether it is a folder, another kind of
// file that is not a regular file, or read-only, and whether a file of
// expectedSize bytes (when known) fits under the process's file-size
// limit. The constructor also removes temporary files that earlier writers
// into the same folder left behind when they were killed (see
// temporary_files.h).

// What a replace keeps of the file it replaces. Windows files have no mode
// bits: a new file there takes the folder's inherited permissions.
struct KeptAttributes {
    bool exists = false;
    std::uint32_t mode = 0; // permission bits, set-id and sticky bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

class AtomicFile : public ByteSink {
  public:
    // Who changes the file once it is written. ByAnotherLibrary: the bytes go
    // to a working copy beside the temporary file (workingPath()), which
    // after release() another library may open by name, change, and even
    // replace with a file of its own making (StormLib rebuilds a map archive
    // so); the temporary file stays empty and marks the work as live until
    // the end, whatever that library renames.
    enum class Work { ThisWriter, ByAnotherLibrary };

    // Throws WriteError.
    explicit AtomicFile(std::filesystem::path target, std::uint64_t expectedSize = 0,
                        Work work = Work::ThisWriter);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const std::uint8_t* data, std::size_t size) override;

    // Closes the file being written without putting it in place, so that
    // another library can open it by name and change it (see Work). No
    // write() after this; commit() flushes what that library left, with the
    // attributes a replace keeps, and puts it in place.
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
    // Where the bytes that take the target's place are: the temporary file,
    // or the working copy beside it.
    const std::filesystem::path& workingPath() const { return working_; }
    // Where the bytes go: the target, or the file a symbolic link names.
    const std::filesystem::path& destination() const { return destination_; }

  private:
    void createTemporaryFile();
    void createWorkingCopy();
    void discard() noexcept;
    void removeWriterFiles() noexcept;
    void releaseLock() noexcept;
    void paceWriteback();

    std::filesystem::path target_;      // as chosen, for messages
    std::filesystem::path destination_; // target_ with its links followed
    std::filesystem::path temporary_;
    std::filesystem::path working_; // temporary_, or the working copy beside it
    KeptAttributes kept_;
    int fd_ = -1;
    // A second descriptor of the temporary file that holds its lock until
    // the file is renamed or removed, after fd_ is closed (POSIX, see
    // temporary_files.h); on Windows, the temporary file kept open without
    // sharing beside a working copy.
    int lockFd_ = -1;
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

// Copies the whole of the open file `from` to the start of `to`. Returns 0,
// or the system's error number.
int copyWhole(int from, int to);

// The place a name leads to once the symbolic links of its last part are
// followed, whether or not a file is there yet (on Windows, any reparse
// point, which must lead to a file). Throws WriteError for a loop or a link
// that cannot be read.
std::filesystem::path followLinks(const std::filesystem::path& name);

} // namespace safefile
