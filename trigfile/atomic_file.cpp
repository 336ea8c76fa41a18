#include "atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h> // _SH_DENYRW
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace trigfile {
namespace {

std::string errnoText(int error) {
    return std::generic_category().message(error);
}

[[noreturn]] void fail(const std::string& what, const std::string& why) {
    throw WriteError(what + ": " + why + ".");
}

// True for the code units that continue a character: UTF-8 continuation
// bytes on POSIX, low surrogates of UTF-16 on Windows.
bool continuesACharacter(fs::path::value_type unit) {
    const auto u = static_cast<std::uint32_t>(unit);
    if constexpr (sizeof(fs::path::value_type) == 1) {
        return (u & 0xC0u) == 0x80u;
    } else {
        return u >= 0xDC00u && u <= 0xDFFFu;
    }
}

// A temporary name beside the target. The target's own name is shortened,
// never inside a character, so that the temporary name fits wherever the
// target's does. Built from the native name, so no code-page conversion can
// garble or refuse it.
fs::path temporaryNameFor(const fs::path& target, std::uint32_t salt) {
    using Native = fs::path::string_type;
    Native base = target.filename().native();
    std::size_t keep = std::min<std::size_t>(base.size(), 80);
    while (keep > 0 && keep < base.size() && continuesACharacter(base[keep])) {
        --keep;
    }
    base.resize(keep);
    static constexpr char kHex[] = "0123456789abcdef";
    Native name(1, '.');
    name += base;
    name += '.';
    for (int i = 0; i < 8; ++i) {
        name += static_cast<fs::path::value_type>(kHex[(salt >> (4 * i)) & 0xF]);
    }
    for (char c : std::string_view(".tmp")) {
        name += static_cast<fs::path::value_type>(c);
    }
    return target.parent_path() / fs::path(name);
}

#ifdef _WIN32
int openExclusive(const fs::path& p) {
    int fd = -1;
    _wsopen_s(&fd, p.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYRW,
              _S_IREAD | _S_IWRITE);
    return fd;
}
long long writeSome(int fd, const std::uint8_t* data, std::size_t size) {
    const unsigned int n = size > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(size);
    return _write(fd, data, n);
}
int flushToDisk(int fd) {
    return _commit(fd);
}
int openForFlush(const fs::path& p) {
    int fd = -1;
    _wsopen_s(&fd, p.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT, _SH_DENYRW, 0);
    return fd;
}
int closeFile(int fd) {
    return _close(fd);
}
std::string lastSystemError() {
    return std::system_category().message(static_cast<int>(GetLastError()));
}
bool replaceTarget(const fs::path& from, const fs::path& to) {
    return MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
void flushFolder(const fs::path&) {} // MOVEFILE_WRITE_THROUGH already waits for the rename
int openFolder(const fs::path&) {
    return -1; // Windows will not move a folder that holds an open file
}
int openExclusiveIn(int, const fs::path& p) {
    return openExclusive(p);
}
void removeIn(int, const fs::path& p) {
    std::error_code ignored;
    fs::remove(p, ignored);
}
void closeFolder(int) {}
#else
int openExclusive(const fs::path& p) {
    return ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int openFolder(const fs::path& folder) {
    return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}
// Relative to the folder held open, wherever it is now.
int openExclusiveIn(int folderFd, const fs::path& p) {
    if (folderFd < 0) {
        return openExclusive(p);
    }
    return ::openat(folderFd, p.filename().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
void removeIn(int folderFd, const fs::path& p) {
    if (folderFd < 0 || ::unlinkat(folderFd, p.filename().c_str(), 0) != 0) {
        std::error_code ignored;
        fs::remove(p, ignored);
    }
}
void closeFolder(int folderFd) {
    if (folderFd >= 0) {
        ::close(folderFd);
    }
}
long long writeSome(int fd, const std::uint8_t* data, std::size_t size) {
    return ::write(fd, data, size);
}
int flushToDisk(int fd) {
    return ::fsync(fd);
}
int openForFlush(const fs::path& p) {
    return ::open(p.c_str(), O_RDWR | O_CLOEXEC);
}
int closeFile(int fd) {
    return ::close(fd);
}
std::string lastSystemError() {
    return errnoText(errno);
}
bool replaceTarget(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}
// Makes the rename itself survive a power cut.
void flushFolder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

#ifdef __linux__
// Both return 0 or an errno value.
int startWriteback(int fd, std::uint64_t from, std::uint64_t to) {
    return ::sync_file_range(fd, static_cast<off_t>(from), static_cast<off_t>(to - from),
                             SYNC_FILE_RANGE_WRITE) == 0
               ? 0
               : errno;
}
int finishWriteback(int fd, std::uint64_t from, std::uint64_t to) {
    const auto offset = static_cast<off_t>(from);
    const auto size = static_cast<off_t>(to - from);
    if (::sync_file_range(fd, offset, size,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                              SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
        return errno;
    }
    ::posix_fadvise(fd, offset, size, POSIX_FADV_DONTNEED); // only advice: clean pages may go
    return 0;
}
#else
// Elsewhere the whole file waits for commit()'s flush.
int startWriteback(int, std::uint64_t, std::uint64_t) {
    return ENOSYS;
}
int finishWriteback(int, std::uint64_t, std::uint64_t) {
    return ENOSYS;
}
#endif

// The system cannot start writeback early for this file; commit() still
// flushes it all.
bool unsupported(int error) {
    return error == ENOSYS || error == EINVAL || error == ESPIPE || error == EOPNOTSUPP;
}

// Refuses targets that a replace must not touch: a folder, or a file the
// user has marked read-only (Windows refuses to replace those, and so do we
// everywhere, even when running with rights that could).
void checkTargetReplaceable(const fs::path& target) {
    std::error_code ec;
    const fs::file_status st = fs::status(target, ec);
    if (ec || !fs::exists(st)) {
        return;
    }
    if (fs::is_directory(st)) {
        fail("Could not write " + displayName(target), "that name belongs to a folder");
    }
    const auto writeBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((st.permissions() & writeBits) == fs::perms::none) {
        fail("Could not replace " + displayName(target), "the file is read-only");
    }
}

} // namespace

std::string displayName(const fs::path& path) {
    // Appended rather than "\"" + ...: optimised GCC 12 builds warn falsely about that.
    std::string name(1, '"');
    // UTF-8 whatever the system's code page, which could not hold every name.
    const std::u8string utf8 = path.u8string();
    name.append(utf8.begin(), utf8.end());
    name += '"';
    return name;
}

void flushFile(const fs::path& path) {
    const int fd = openForFlush(path);
    if (fd < 0) {
        fail("Could not write " + displayName(path), errnoText(errno));
    }
    const int flushed = flushToDisk(fd);
    const int error = errno;
    closeFile(fd);
    if (flushed != 0) {
        fail("Could not write " + displayName(path), errnoText(error));
    }
}

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {
    checkTargetReplaceable(target_);
    folderFd_ = openFolder(target_.parent_path());
    std::random_device device;
    std::uint32_t salt = device();
    for (int attempt = 0; attempt < 16; ++attempt, salt = salt * 2654435761u + 1u) {
        temporary_ = temporaryNameFor(target_, salt);
        fd_ = openExclusiveIn(folderFd_, temporary_);
        if (fd_ >= 0) {
            return;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    const int error = errno;
    closeFolder(folderFd_);
    folderFd_ = -1;
    const fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    fail("Could not create a file in the folder " + displayName(folder), errnoText(error));
}

AtomicFile::~AtomicFile() {
    discard();
    closeFolder(folderFd_);
}

void AtomicFile::write(const std::uint8_t* data, std::size_t size) {
    const std::size_t total = size;
    while (size > 0) {
        const long long n = writeSome(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("Could not write " + displayName(target_), errnoText(errno));
        }
        if (n == 0) {
            fail("Could not write " + displayName(target_), errnoText(ENOSPC));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    written_ += total;
    paceWriteback();
}

// Left alone, a large file piles up in the page cache at memory speed and
// commit()'s fsync then waits for all of it at once, while the progress
// already shows every record written. Sending each few MiB on to the disk
// as soon as they are written lets writing and flushing overlap, and
// dropping what the disk already holds keeps the file from pushing
// everything else out of the cache. commit() still fsyncs: this only
// changes when the bytes travel.
void AtomicFile::paceWriteback() {
    // Only whole aligned blocks: a partly written page or large folio sent
    // to the disk has to go again once the rest arrives, and it measurably
    // slowed the writes that followed it.
    const std::uint64_t edge = written_ / kWritebackAlign * kWritebackAlign;
    if (!pacing_ || edge < writebackStarted_ + kWritebackStep) {
        return;
    }
    int error = startWriteback(fd_, writebackStarted_, edge);
    if (error == 0) {
        writebackStarted_ = edge;
        if (writebackStarted_ > writebackDone_ + kWritebackLag) {
            const std::uint64_t upTo = writebackStarted_ - kWritebackLag;
            error = finishWriteback(fd_, writebackDone_, upTo);
            if (error == 0) {
                writebackDone_ = upTo;
            }
        }
    }
    if (error == 0) {
        return;
    }
    if (unsupported(error)) {
        pacing_ = false;
        return;
    }
    // A write error: waiting here consumed it, so the final fsync would not
    // see it again.
    fail("Could not write " + displayName(target_), errnoText(error));
}

void AtomicFile::release() {
    if (fd_ < 0) {
        return;
    }
    const int fd = fd_;
    fd_ = -1;
    released_ = true;
    if (closeFile(fd) != 0) {
        const int error = errno;
        discard();
        fail("Could not write " + displayName(target_), errnoText(error));
    }
}

bool AtomicFile::commit(const std::atomic<bool>* cancelled,
                        const std::function<void()>& beforeReplace) {
    if (released_ && fd_ < 0) {
        // Changed by another library since: flush what it wrote.
        fd_ = openForFlush(temporary_);
        if (fd_ < 0) {
            const int error = errno;
            discard();
            fail("Could not write " + displayName(target_), errnoText(error));
        }
    }
    if (flushToDisk(fd_) != 0) {
        const int error = errno;
        discard();
        fail("Could not write " + displayName(target_), errnoText(error));
    }
    const int fd = fd_;
    fd_ = -1;
    if (closeFile(fd) != 0) {
        const int error = errno;
        discard();
        fail("Could not write " + displayName(target_), errnoText(error));
    }
    if (cancelled && cancelled->load()) {
        discard();
        return false;
    }
    try {
        checkTargetReplaceable(target_); // it may have changed while we wrote
        if (beforeReplace) {
            beforeReplace();
        }
    } catch (...) {
        discard();
        throw;
    }
    if (!replaceTarget(temporary_, target_)) {
        const std::string why = lastSystemError();
        discard();
        fail("Could not put the new file in place of " + displayName(target_), why);
    }
    done_ = true;
    flushFolder(target_.parent_path());
    return true;
}

void AtomicFile::discard() noexcept {
    if (done_) {
        return;
    }
    done_ = true;
    if (fd_ >= 0) {
        closeFile(fd_);
        fd_ = -1;
    }
    removeIn(folderFd_, temporary_);
}

} // namespace trigfile
