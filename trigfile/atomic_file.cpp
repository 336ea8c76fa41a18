#include "trigfile/atomic_file.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "trigfile/regular_file.h"
#include "trigfile/temporary_files.h"

#include <cerrno>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h> // _SH_DENYRW
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
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

#ifdef _WIN32
int openExclusive(const fs::path& p, int) {
    int fd = -1;
    _wsopen_s(&fd, p.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYRW,
              _S_IREAD | _S_IWRITE);
    return fd;
}
long long writeSome(int fd, const std::uint8_t* data, std::size_t size) {
    const unsigned int n = size > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(size);
    return _write(fd, data, n);
}
long long readSome(int fd, std::uint8_t* data, std::size_t size) {
    const unsigned int n = size > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(size);
    return _read(fd, data, n);
}
bool seekTo(int fd, std::uint64_t offset) {
    return _lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) == static_cast<__int64>(offset);
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
int openExclusiveIn(int, const fs::path& p, int mode) {
    return openExclusive(p, mode);
}
void removeIn(int, const fs::path& p) {
    std::error_code ignored;
    fs::remove(p, ignored);
}
void closeFolder(int) {}
#else
int openExclusive(const fs::path& p, int mode) {
    return ::open(p.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}
int openFolder(const fs::path& folder) {
    return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}
// Relative to the folder held open, wherever it is now.
int openExclusiveIn(int folderFd, const fs::path& p, int mode) {
    if (folderFd < 0) {
        return openExclusive(p, mode);
    }
    return ::openat(folderFd, p.filename().c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}
int statIn(int folderFd, const fs::path& p, struct stat& st) {
    if (folderFd < 0) {
        return ::lstat(p.c_str(), &st);
    }
    return ::fstatat(folderFd, p.filename().c_str(), &st, AT_SYMLINK_NOFOLLOW);
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
long long readSome(int fd, std::uint8_t* data, std::size_t size) {
    return ::read(fd, data, size);
}
bool seekTo(int fd, std::uint64_t offset) {
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
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
// everywhere, even when running with rights that could). target is the
// name the user chose, for the message.
void checkTargetReplaceable(const fs::path& destination, const fs::path& target) {
    std::error_code ec;
    const fs::file_status st = fs::status(destination, ec);
    if (ec || !fs::exists(st)) {
        return;
    }
    if (fs::is_directory(st)) {
        fail("Could not write " + base::displayName(target), "that name belongs to a folder");
    }
    if (const auto notAFile = notARegularFile(st.type())) {
        fail("Could not write " + base::displayName(target), *notAFile);
    }
    const auto writeBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((st.permissions() & writeBits) == fs::perms::none) {
        fail("Could not replace " + base::displayName(target), "the file is read-only");
    }
}

// A name that can only mean a folder ("maps/", "maps/.", "..").
bool namesAFolder(const fs::path& p) {
    const fs::path name = p.filename();
    return name.empty() || name == "." || name == "..";
}

#ifdef _WIN32

// Windows: a link (or any other reparse point) is opened through, and the
// system names the file it reaches. A link to nothing is refused: which
// name a new file would get there is for the link's own kind to say.
fs::path linkDestination(const fs::path& target) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return target;
    }
    const HANDLE h = CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fail("Could not write " + base::displayName(target),
             "that name is a link, and what it links to cannot be opened (" + lastSystemError() +
                 ")");
    }
    std::wstring name(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const std::string why = lastSystemError();
    CloseHandle(h);
    if (n == 0 || n >= name.size()) {
        fail("Could not write " + base::displayName(target), why);
    }
    name.resize(n);
    return fs::path(name);
}

// Everything else about the final name shows when the temporary file is
// made beside it, except a name too long for the file system, which the
// shortened temporary name would not notice.
void checkFinalName(const fs::path& destination, const fs::path& target) {
    if (destination.filename().native().size() > 255) { // NTFS, exFAT and FAT32 alike
        fail("Could not write " + base::displayName(target), errnoText(ENAMETOOLONG));
    }
}

void checkSizeLimit(std::uint64_t, const fs::path&) {} // Windows sets no file-size limit

#else

// The file a chain of symbolic links ends at: the place the bytes must go,
// whether or not a file is there yet. Only the name's last part is
// followed; links among the folders above it work as they are.
fs::path linkDestination(const fs::path& target) {
    fs::path p = target;
    for (int hops = 0; hops < 40; ++hops) { // the kernel's own limit
        struct stat st {};
        if (namesAFolder(p) || ::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return p;
        }
        std::error_code ec;
        const fs::path next = fs::read_symlink(p, ec);
        if (ec) {
            fail("Could not write " + base::displayName(target), ec.message());
        }
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    fail("Could not write " + base::displayName(target), errnoText(ELOOP));
}

// Asks the file system about the final name itself, so that a name too long
// for it, a folder that cannot be searched or a path that is no path are
// refused now rather than by the rename after the whole file is written.
void checkFinalName(const fs::path& destination, const fs::path& target) {
    struct stat st {};
    if (::lstat(destination.c_str(), &st) != 0 && errno != ENOENT) {
        fail("Could not write " + base::displayName(target), errnoText(errno));
    }
}

// A file beyond the process's file-size limit (ulimit -f) would fail part
// way, after the limit's worth of bytes.
void checkSizeLimit(std::uint64_t size, const fs::path& target) {
    rlimit limit{};
    if (size > 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        size > static_cast<std::uint64_t>(limit.rlim_cur)) {
        fail("Could not write " + base::displayName(target),
             errnoText(EFBIG) + " (the file would be " + base::withThousands(size) +
                 " bytes, above the file-size limit of " +
                 base::withThousands(static_cast<std::uint64_t>(limit.rlim_cur)) + " bytes)");
    }
}

#endif

} // namespace

fs::path followLinks(const fs::path& name) {
    return linkDestination(name);
}

int copyWhole(int from, int to) {
    if (!seekTo(from, 0)) {
        return errno;
    }
    std::vector<std::uint8_t> buffer(1u << 20);
    for (;;) {
        const long long n = readSome(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : 0;
        }
        for (long long at = 0; at < n;) {
            const long long put =
                writeSome(to, buffer.data() + at, static_cast<std::size_t>(n - at));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return put < 0 ? errno : ENOSPC;
            }
            at += put;
        }
    }
}

void flushFile(const fs::path& path) {
    const int fd = openForFlush(path);
    if (fd < 0) {
        fail("Could not write " + base::displayName(path), errnoText(errno));
    }
    const int flushed = flushToDisk(fd);
    const int error = errno;
    closeFile(fd);
    if (flushed != 0) {
        fail("Could not write " + base::displayName(path), errnoText(error));
    }
}

AtomicFile::AtomicFile(fs::path target, std::uint64_t expectedSize, Work work)
    : target_(std::move(target)) {
    destination_ = followLinks(target_);
    if (namesAFolder(destination_)) {
        fail("Could not write " + base::displayName(target_), "that name belongs to a folder");
    }
    checkFinalName(destination_, target_);
    checkTargetReplaceable(destination_, target_);
    checkSizeLimit(expectedSize, target_);

#ifndef _WIN32
    struct stat st {};
    if (::stat(destination_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        kept_ = KeptAttributes{true, static_cast<std::uint32_t>(st.st_mode & 07777), st.st_uid,
                               st.st_gid};
    }
#endif
    folderFd_ = openFolder(destination_.parent_path());
    removeLeftoverTemporaryFiles(destination_.parent_path(), folderFd_);
    createTemporaryFile();
    working_ = temporary_;
    if (work == Work::ByAnotherLibrary) {
        createWorkingCopy();
    }
}

// Gives a file made for the target the old file's group (and, for root, its
// owner) and mode. The group first: changing it may clear set-id bits that
// the mode then restores. Other users cannot give a file away, so the new
// file is theirs; nor can they give it a group they are not in, so it then
// has theirs. Either way it keeps the old mode.
void AtomicFile::keepAttributes([[maybe_unused]] int fd) const {
#ifndef _WIN32
    if (!kept_.exists) {
        return;
    }
    const uid_t owner = ::geteuid() == 0 ? kept_.owner : static_cast<uid_t>(-1);
    if (::fchown(fd, owner, kept_.group) != 0) {
        // kept as far as the system allows
    }
    ::fchmod(fd, kept_.mode);
#endif
}

// Never more open than the old file while the new one is written; the
// umask may take bits away, keepAttributes sets the exact mode.
int AtomicFile::creationMode() const {
#ifdef _WIN32
    return 0;
#else
    return kept_.exists ? static_cast<int>(kept_.mode & 0777) : 0666;
#endif
}

void AtomicFile::createTemporaryFile() {
    const int mode = creationMode();
    std::random_device device;
    std::uint32_t salt = device();
    int error = 0;
    for (int attempt = 0; attempt < 16; ++attempt, salt = salt * 2654435761u + 1u) {
        temporary_ = temporaryNameFor(destination_, salt);
        fd_ = openExclusiveIn(folderFd_, temporary_, mode);
        if (fd_ < 0) {
            error = errno;
            if (error != EEXIST) {
                break;
            }
            continue;
        }
#ifndef _WIN32
        // Another save into this folder may have taken the file for a
        // leftover in the moment before the lock: then it is gone, and
        // another name is tried.
        struct stat opened {};
        struct stat named {};
        lockFd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        const bool held = lockFd_ >= 0 && holdAsLiveWriter(lockFd_) && ::fstat(fd_, &opened) == 0 &&
                          statIn(folderFd_, temporary_, named) == 0 &&
                          opened.st_ino == named.st_ino && opened.st_dev == named.st_dev;
        if (!held) {
            error = EEXIST;
            closeFile(fd_);
            fd_ = -1;
            if (lockFd_ >= 0) {
                ::close(lockFd_);
                lockFd_ = -1;
            }
            continue;
        }
#endif
        keepAttributes(fd_);
        return;
    }
    closeFolder(folderFd_);
    folderFd_ = -1;
    const fs::path folder =
        destination_.parent_path().empty() ? fs::path(".") : destination_.parent_path();
    fail("Could not create a file in the folder " + base::displayName(folder), errnoText(error));
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
            fail("Could not write " + base::displayName(target_), errnoText(errno));
        }
        if (n == 0) {
            fail("Could not write " + base::displayName(target_), errnoText(ENOSPC));
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
    fail("Could not write " + base::displayName(target_), errnoText(error));
}

// The bytes go to a file of their own beside the temporary file, which
// then only marks the work as live.
void AtomicFile::createWorkingCopy() {
    const fs::path copy = workingCopyNameFor(temporary_);
    int fd = openExclusiveIn(folderFd_, copy, creationMode());
    if (fd < 0 && errno == EEXIST) {
        // Left by a killed writer of the same name: while we hold the
        // temporary file, nobody else's.
        removeIn(folderFd_, copy);
        fd = openExclusiveIn(folderFd_, copy, creationMode());
    }
    if (fd < 0) {
        const int error = errno;
        discard();
        closeFolder(folderFd_);
        folderFd_ = -1;
        fail("Could not write " + base::displayName(target_), errnoText(error));
    }
    keepAttributes(fd);
#ifdef _WIN32
    lockFd_ = fd_; // open without sharing: nobody can remove it meanwhile
#else
    closeFile(fd_); // lockFd_ holds the lock
#endif
    fd_ = fd;
    working_ = copy;
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
        fail("Could not write " + base::displayName(target_), errnoText(error));
    }
}

bool AtomicFile::commit(const std::atomic<bool>* cancelled,
                        const std::function<void()>& beforeReplace) {
    if (released_ && fd_ < 0) {
        // Changed by another library since, perhaps replaced by a file of its
        // own making: flush what it wrote, with the attributes the target keeps.
        fd_ = openForFlush(working_);
        if (fd_ < 0) {
            const int error = errno;
            discard();
            fail("Could not write " + base::displayName(target_), errnoText(error));
        }
        keepAttributes(fd_);
    }
    if (flushToDisk(fd_) != 0) {
        const int error = errno;
        discard();
        fail("Could not write " + base::displayName(target_), errnoText(error));
    }
    const int fd = fd_;
    fd_ = -1;
    if (closeFile(fd) != 0) {
        const int error = errno;
        discard();
        fail("Could not write " + base::displayName(target_), errnoText(error));
    }
    if (cancelled && cancelled->load()) {
        discard();
        return false;
    }
    try {
        checkTargetReplaceable(destination_, target_); // it may have changed while we wrote
        if (beforeReplace) {
            beforeReplace();
        }
    } catch (...) {
        discard();
        throw;
    }
    if (!replaceTarget(working_, destination_)) {
        const std::string why = lastSystemError();
        discard();
        fail("Could not put the new file in place of " + base::displayName(target_), why);
    }
    done_ = true;
    removeWriterFiles(); // the temporary file beside a working copy; anything left beside it
    releaseLock();
    flushFolder(destination_.parent_path());
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
    removeWriterFiles();
    releaseLock(); // only once the files are gone, so nobody takes them for leftovers
}

// The working copy, what another library made beside it, and then the
// temporary file. On Windows the temporary file, open without sharing,
// can be removed only once it is closed; nothing else of ours is left by
// then for another save to take for a leftover.
void AtomicFile::removeWriterFiles() noexcept {
    for (const fs::path& name : namesOfWriter(temporary_)) {
#ifdef _WIN32
        if (name == temporary_) {
            releaseLock();
        }
#endif
        removeIn(folderFd_, name);
    }
}

void AtomicFile::releaseLock() noexcept {
    if (lockFd_ >= 0) {
        closeFile(lockFd_);
        lockFd_ = -1;
    }
}

} // namespace trigfile
