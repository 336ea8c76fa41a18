#include "safefile/system_calls.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "safefile/temporary_files.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace safefile::sys {
namespace {

int openExclusive(const fs::path& p, int mode) {
    return ::open(p.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}
int statIn(int folderFd, const fs::path& p, struct stat& st) {
    if (folderFd < 0) {
        return ::lstat(p.c_str(), &st);
    }
    return ::fstatat(folderFd, p.filename().c_str(), &st, AT_SYMLINK_NOFOLLOW);
}

} // namespace

const bool kOpenFileBlocksRemoval = false;

std::string systemErrorText(int error) {
    return errnoText(error);
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

bool nameTooLong(const fs::path& name) {
    struct stat st {};
    return ::lstat(name.c_str(), &st) != 0 && errno == ENAMETOOLONG;
}

KeptAttributes attributesToKeep(const fs::path& destination) {
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        return KeptAttributes{true, static_cast<std::uint32_t>(st.st_mode & 07777), st.st_uid,
                              st.st_gid};
    }
    return {};
}

// Never more open than the old file while the new one is written; the
// umask may take bits away, giveAttributes sets the exact mode.
int creationModeFor(const KeptAttributes& kept) {
    return kept.exists ? static_cast<int>(kept.mode & 0777) : 0666;
}

// The group first: changing it may clear set-id bits that the mode then
// restores. Other users cannot give a file away, so the new file is theirs;
// nor can they give it a group they are not in, so it then has theirs.
// Either way it keeps the old mode.
void giveAttributes(int fd, const KeptAttributes& kept) {
    if (!kept.exists) {
        return;
    }
    const uid_t owner = ::geteuid() == 0 ? kept.owner : static_cast<uid_t>(-1);
    if (::fchown(fd, owner, kept.group) != 0) {
        // kept as far as the system allows
    }
    ::fchmod(fd, kept.mode);
}

// Another save into this folder may have taken the file for a leftover in
// the moment before the lock: then it is gone, and another name is tried.
// The lock is held by a second descriptor, so that it stays until the file
// is renamed or removed, after fd is closed.
bool holdNewTemporary(int fd, int folderFd, const fs::path& temporary, int& lockFd) {
    struct stat opened {};
    struct stat named {};
    lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    const bool held = lockFd >= 0 && holdAsLiveWriter(lockFd) && ::fstat(fd, &opened) == 0 &&
                      statIn(folderFd, temporary, named) == 0 && opened.st_ino == named.st_ino &&
                      opened.st_dev == named.st_dev;
    if (!held && lockFd >= 0) {
        ::close(lockFd);
        lockFd = -1;
    }
    return held;
}

int holdMarkerOnly(int temporaryFd, int lockFd) {
    closeFile(temporaryFd); // lockFd holds the lock
    return lockFd;
}

} // namespace safefile::sys
