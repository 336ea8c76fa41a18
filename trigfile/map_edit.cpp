#include "map_edit.h"

#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace trigfile {
namespace {

// Backups beyond this many mean something is wrong; we stop looking.
constexpr int kMostBackups = 9999;

[[noreturn]] void refuse(const fs::path& map, const std::string& why) {
    throw WriteError("Could not change " + displayName(map) + ": " + why + ".");
}

#ifndef _WIN32
std::string systemText(int error) {
    return std::generic_category().message(error);
}
#endif

constexpr char kHeldOpen[] =
    "another program has it open. Close it there (in the map editor) and try again";

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
    for (int number = 1; number < kMostBackups; ++number) {
        std::error_code ec;
        const fs::path backup = backupName(map, number);
        if (!fs::exists(fs::symlink_status(backup, ec))) {
            return backup;
        }
    }
    return backupName(map, kMostBackups);
}

MapEdit::Identity MapEdit::identityOf(const fs::path& map) {
    std::error_code ec;
    Identity id;
    id.size = fs::file_size(map, ec);
    if (!ec) {
        id.modified = fs::last_write_time(map, ec);
    }
    if (ec) {
        refuse(map, ec.message());
    }
    return id;
}

MapEdit::MapEdit(fs::path map) : map_(std::move(map)) {
    std::error_code ec;
    const fs::file_status st = fs::status(map_, ec);
    if (ec || !fs::exists(st)) {
        refuse(map_, "there is no such file");
    }
    if (!fs::is_regular_file(st)) {
        refuse(map_, "that name does not belong to a file");
    }
    const auto writeBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((st.permissions() & writeBits) == fs::perms::none) {
        refuse(map_, "the file is read-only");
    }
#ifdef _WIN32
    // Sharing reads only: a program that has the map open for writing makes
    // this fail, and while we hold it none can start writing. Sharing delete
    // lets our own finished copy take its place.
    HANDLE h = CreateFileW(map_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
            refuse(map_, kHeldOpen);
        }
        refuse(map_, std::system_category().message(static_cast<int>(error)));
    }
    handle_ = h;
#else
    // Linux shows no share modes; what a program holding the map shows is a
    // lock. Any lock another program holds on it (fcntl or flock) refuses
    // the edit, and ours keeps a second Tallyforge from editing it at once.
    fd_ = ::open(map_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        refuse(map_, systemText(errno));
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool fcntlLocked = ::fcntl(fd_, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    if (fcntlLocked || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        unlock();
        refuse(map_, kHeldOpen);
    }
#endif
    try {
        before_ = identityOf(map_);
        copy_.emplace(map_);
    } catch (...) {
        unlock();
        throw;
    }
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

void MapEdit::copyOriginal() {
    std::ifstream in(map_, std::ios::binary);
    std::vector<char> buffer(1u << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n > 0) {
            copy_->write(reinterpret_cast<const std::uint8_t*>(buffer.data()), n);
        }
    }
    if (!in.eof()) {
        throw WriteError("Could not read " + displayName(map_) + ".");
    }
}

fs::path MapEdit::keepBackup() const {
    for (int number = 1; number <= kMostBackups; ++number) {
        const fs::path backup = backupName(map_, number);
        std::error_code ec;
        if (fs::exists(fs::symlink_status(backup, ec))) {
            continue;
        }
        // A second name for the original costs nothing and cannot be half
        // written; where the disk has no such names (FAT sticks), a copy.
        // Neither ever replaces an existing file.
        fs::create_hard_link(map_, backup, ec);
        if (!ec) {
            return backup;
        }
        if (ec == std::errc::file_exists) {
            continue;
        }
        if (fs::copy_file(map_, backup, fs::copy_options::none, ec)) {
            // Flushed like the new map, so that the backup is on the disk
            // before the map it keeps is replaced.
            flushFile(backup);
            return backup;
        }
        if (ec == std::errc::file_exists) {
            continue;
        }
        fs::remove(backup, ec);
        refuse(map_, "no backup could be kept beside it (" + ec.message() + ")");
    }
    refuse(map_, "there are too many backups beside it already");
}

std::optional<fs::path> MapEdit::commit(const std::atomic<bool>* cancelled) {
    std::optional<fs::path> backup;
    try {
        const bool done = copy_->commit(cancelled, [&] {
            if (identityOf(map_) != before_) {
                refuse(map_, "another program changed it while it was being edited. It was left "
                             "as that program saved it");
            }
            backup = keepBackup();
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
