#include "trigfile/map_edit.h"

#include "base/display_name.h"
#include "trigfile/regular_file.h"
#include "trigfile/temporary_files.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace trigfile {
namespace {

// Backups beyond this many mean something is wrong; we stop looking.
constexpr int kMostBackups = 9999;

// What the edit says when the map is not one it may touch: before anything
// is written, Tallyforge refuses it.
[[noreturn]] void refuse(const fs::path& map, const std::string& why) {
    throw WriteError("Could not change " + base::displayName(map) + ": " + why + ".",
                     base::Problem::Kind::Refused);
}

// What it says when the system stops it once it has begun.
[[noreturn]] void fail(const fs::path& map, const std::string& why) {
    throw WriteError("Could not change " + base::displayName(map) + ": " + why + ".");
}

std::string systemText(int error) {
#ifdef _WIN32
    return std::system_category().message(error);
#else
    return std::generic_category().message(error);
#endif
}

constexpr char kHeldOpen[] =
    "another program has it open. Close it there (in the map editor) and try again";

// Whether the file system would refuse name for its length.
bool nameTooLong(const fs::path& name) {
#ifdef _WIN32
    return name.filename().native().size() > 255; // NTFS, exFAT and FAT32 alike
#else
    struct stat st {};
    return ::lstat(name.c_str(), &st) != 0 && errno == ENAMETOOLONG;
#endif
}

// The links of a map's name followed; the name itself when they cannot be.
fs::path mapFile(const fs::path& map) {
    try {
        return followLinks(map);
    } catch (const WriteError&) {
        return map;
    }
}

} // namespace

fs::path backupName(const fs::path& map, int number) {
    fs::path::string_type name = map.stem().native();
    for (char c : std::string(".before-tallyforge")) {
        name += static_cast<fs::path::value_type>(c);
    }
    if (number > 1) {
        // Appended rather than "-" + ...: optimised GCC 12 builds warn falsely about that.
        std::string suffix(1, '-');
        suffix += std::to_string(number);
        for (char c : suffix) {
            name += static_cast<fs::path::value_type>(c);
        }
    }
    name += map.extension().native();
    return map.parent_path() / fs::path(name);
}

fs::path nextBackupName(const fs::path& map) {
    const fs::path real = mapFile(map);
    for (int number = 1; number < kMostBackups; ++number) {
        std::error_code ec;
        const fs::path backup = backupName(real, number);
        if (!fs::exists(fs::symlink_status(backup, ec))) {
            return backup;
        }
    }
    return backupName(real, kMostBackups);
}

MapEdit::MapEdit(fs::path map) : map_(std::move(map)) {
    real_ = followLinks(map_);
    std::error_code ec;
    const fs::file_status st = fs::status(real_, ec);
    if (ec || !fs::exists(st)) {
        refuse(map_, "there is no such file");
    }
    if (fs::is_directory(st)) {
        refuse(map_, "that name does not belong to a file");
    }
    if (const auto notAFile = notARegularFile(st.type())) {
        refuse(map_, *notAFile);
    }
    const auto writeBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((st.permissions() & writeBits) == fs::perms::none) {
        refuse(map_, "the file is read-only");
    }
    // Found now rather than when the backup is made, after all the work.
    const fs::path backup = nextBackupName(real_);
    if (nameTooLong(backup)) {
        refuse(map_, "its name leaves no room for the name of the backup kept beside it (" +
                         base::displayName(backup.filename()) +
                         "). Please give the map a shorter name");
    }
    holdMap();
    try {
        copy_.emplace(map_, 0, AtomicFile::Work::ByAnotherLibrary);
    } catch (...) {
        unlock();
        throw;
    }
}

void MapEdit::holdMap() {
#ifdef _WIN32
    // Sharing reads only: a program that has the map open for writing makes
    // this fail, and while we hold it none can start writing. Sharing delete
    // lets our own finished copy take its place.
    HANDLE h = CreateFileW(real_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
            refuse(map_, kHeldOpen);
        }
        refuse(map_, systemText(static_cast<int>(error)));
    }
    handle_ = h;
    const auto identity = identityOfOpenFile(handle_);
    const int error = identity ? 0 : static_cast<int>(GetLastError());
#else
    // Linux shows no share modes; what a program holding the map shows is a
    // lock. Any lock another program holds on it (fcntl or flock) refuses
    // the edit, and ours keeps a second Tallyforge from editing it at once.
    // Opened without waiting: the name may have become a named pipe since.
    fd_ = ::open(real_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        refuse(map_, systemText(errno));
    }
    struct stat held {};
    if (::fstat(fd_, &held) != 0 || !S_ISREG(held.st_mode)) {
        unlock();
        refuse(map_, "that name does not belong to a file");
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool fcntlLocked = ::fcntl(fd_, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    if (fcntlLocked || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        unlock();
        refuse(map_, kHeldOpen);
    }
    const auto identity = identityOfOpenFile(fd_);
    const int error = identity ? 0 : errno;
#endif
    if (!identity) {
        unlock();
        refuse(map_, systemText(error));
    }
    before_ = *identity;
}

MapEdit::~MapEdit() {
    copy_.reset(); // removes an unfinished copy
    unlock();
}

void MapEdit::unlock() noexcept {
#ifdef _WIN32
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
#else
    if (fd_ >= 0) {
        ::close(fd_); // also drops the flock
        fd_ = -1;
    }
#endif
}

// From the map held open: the file whose identity commit() checks.
void MapEdit::copyOriginal() {
    std::vector<std::uint8_t> buffer(1u << 20);
#ifdef _WIN32
    const auto h = static_cast<HANDLE>(handle_);
    const LARGE_INTEGER start{};
    if (!SetFilePointerEx(h, start, nullptr, FILE_BEGIN)) {
        fail(map_, "it could not be read (" + systemText(static_cast<int>(GetLastError())) + ")");
    }
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            fail(map_,
                 "it could not be read (" + systemText(static_cast<int>(GetLastError())) + ")");
        }
        if (n == 0) {
            return;
        }
        copy_->write(buffer.data(), n);
    }
#else
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail(map_, "it could not be read (" + systemText(errno) + ")");
        }
        if (n == 0) {
            return;
        }
        copy_->write(buffer.data(), static_cast<std::size_t>(n));
        at += n;
    }
#endif
}

fs::path MapEdit::keepBackup() const {
    for (int number = 1; number <= kMostBackups; ++number) {
        const fs::path backup = backupName(real_, number);
        std::error_code ec;
        if (fs::exists(fs::symlink_status(backup, ec))) {
            continue;
        }
        // A second name for the original costs nothing and cannot be half
        // written; where the disk has no such names (FAT sticks), a copy.
        // Neither ever replaces an existing file. real_ is the file itself,
        // never a link, whose second name would show the new map.
        fs::create_hard_link(real_, backup, ec);
        if (!ec) {
            return backup;
        }
        if (ec == std::errc::file_exists) {
            continue;
        }
        if (copyForBackup(backup)) {
            return backup;
        }
    }
    fail(map_, "there are too many backups beside it already");
}

// The copy is made under a name of the edit's own, so that an edit killed
// meanwhile leaves nothing the next save does not tidy away; flushed like
// the new map, so that the backup is on the disk before the map it keeps is
// replaced; and only then given the backup's name, never over a file that
// has it. False when the name was taken meanwhile; throws WriteError with
// the system's reason.
bool MapEdit::copyForBackup(const fs::path& backup) const {
    const fs::path part = backupCopyNameFor(copy_->temporaryPath());
    std::string failure;
    bool taken = false;
#ifdef _WIN32
    if (!CopyFileW(real_.c_str(), part.c_str(), TRUE)) {
        failure = systemText(static_cast<int>(GetLastError()));
    } else {
        try {
            flushFile(part);
        } catch (const WriteError& e) {
            failure = e.what();
        }
    }
    if (failure.empty() && !MoveFileExW(part.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
        failure = systemText(static_cast<int>(error));
    }
#else
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
        failure = systemText(error);
    }
#endif
    if (failure.empty()) {
        return true;
    }
    std::error_code ignored;
    fs::remove(part, ignored);
    if (taken) {
        return false;
    }
    fail(map_, "no backup could be kept beside it (" + failure + ")");
}

std::optional<fs::path> MapEdit::commit(const std::atomic<bool>* cancelled) {
    std::optional<fs::path> backup;
    try {
        const bool done = copy_->commit(cancelled, [&] {
            if (identityOf(real_) != before_) {
                fail(map_, "another program changed it while it was being edited. It was left "
                           "as that program saved it");
            }
            backup = keepBackup();
#ifdef _WIN32
            // Windows replaces only a file that no one holds open, this
            // program included.
            unlock();
#endif
        });
        unlock();
        if (!done) {
            return std::nullopt;
        }
        return backup;
    } catch (...) {
        // The map is still the original: a backup made just now is not needed.
        if (backup) {
            std::error_code ignored;
            fs::remove(*backup, ignored);
        }
        unlock();
        throw;
    }
}

} // namespace trigfile
