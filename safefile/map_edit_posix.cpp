#include "safefile/map_edit.h"

#include "safefile/file_identity.h"
#include "safefile/map_edit_reasons.h"
#include "safefile/system_calls.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace safefile {

void MapEdit::holdMap() {
    // Linux shows no share modes; what a program holding the map shows is a
    // lock. Any lock another program holds on it (fcntl or flock) refuses
    // the edit, and ours keeps a second Tallyforge from editing it at once.
    // Opened without waiting: the name may have become a named pipe since.
    fd_ = ::open(real_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        refuseEdit(map_, sys::systemErrorText(errno));
    }
    struct stat held {};
    if (::fstat(fd_, &held) != 0 || !S_ISREG(held.st_mode)) {
        unlock();
        refuseEdit(map_, "that name does not belong to a file");
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool fcntlLocked = ::fcntl(fd_, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    if (fcntlLocked || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        unlock();
        refuseEdit(map_, kHeldOpen);
    }
    const auto identity = identityOfOpenFile(fd_);
    const int error = identity ? 0 : errno;
    if (!identity) {
        unlock();
        refuseEdit(map_, sys::systemErrorText(error));
    }
    before_ = *identity;
}

void MapEdit::unlock() noexcept {
    if (fd_ >= 0) {
        ::close(fd_); // also drops the flock
        fd_ = -1;
    }
}

// From the map held open: the file whose identity commit() checks.
void MapEdit::copyOriginal() {
    std::vector<std::uint8_t> buffer(1u << 20);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failEdit(map_, "it could not be read (" + sys::systemErrorText(errno) + ")");
        }
        if (n == 0) {
            return;
        }
        copy_->write(buffer.data(), static_cast<std::size_t>(n));
        at += n;
    }
}

// Copies the map held open to `part`, flushes it, and gives it the name
// `backup` unless a file has that name. Returns the system's reason for a
// failure, or nothing; taken says the name was taken meanwhile.
std::string MapEdit::copyUnderName(const fs::path& part, const fs::path& backup,
                                   bool& taken) const {
    std::string failure;
    int error = 0;
    struct stat original {};
    const int out = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0 || ::fstat(fd_, &original) != 0) {
        error = errno;
    } else {
        error = copyWhole(fd_, out);
        // The backup keeps the map's group and mode, as a second name would.
        if (::fchown(out, static_cast<uid_t>(-1), original.st_gid) != 0) {
            // kept as far as the system allows
        }
        ::fchmod(out, original.st_mode & 07777);
        if (error == 0 && ::fsync(out) != 0) {
            error = errno;
        }
    }
    if (out >= 0 && ::close(out) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 &&
        ::renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE) != 0) {
        error = errno;
        // A file system that cannot refuse to replace: the name was free a
        // moment ago, and only another backup would take it.
        std::error_code ec;
        if ((error == EINVAL || error == ENOSYS) && !fs::exists(fs::symlink_status(backup, ec))) {
            error = ::rename(part.c_str(), backup.c_str()) == 0 ? 0 : errno;
        }
        taken = error == EEXIST;
    }
    if (error != 0) {
        failure = sys::systemErrorText(error);
    }
    return failure;
}

} // namespace safefile
