#include "trigfile/temporary_files.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace trigfile {
namespace {

using Native = fs::path::string_type;

constexpr std::string_view kSuffix = ".tallyforge.tmp";
constexpr std::size_t kSaltDigits = 8;
constexpr std::size_t kLongestKeptName = 72;

// Added to a temporary file's name: the working copy handed to StormLib;
// StormLib's rebuild of that copy (its name with ".tmp" added); a backup
// being copied; and StormLib's rebuild of the temporary file itself, which
// versions before the working copy left when killed. Longest first.
constexpr std::string_view kWorkingCopySuffix = ".work";
constexpr std::string_view kBackupCopySuffix = ".backup";
constexpr std::string_view kWriterSuffixes[] = {".work.tmp", ".backup", ".work", ".tmp"};

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

bool isHexDigit(fs::path::value_type unit) {
    return (unit >= '0' && unit <= '9') || (unit >= 'a' && unit <= 'f');
}

bool endsWith(const Native& name, std::size_t end, std::string_view tail) {
    return end >= tail.size() &&
           std::equal(tail.begin(), tail.end(),
                      name.begin() + static_cast<std::ptrdiff_t>(end - tail.size()),
                      [](char a, fs::path::value_type b) {
                          return static_cast<fs::path::value_type>(a) == b;
                      });
}

Native withAdded(Native name, std::string_view tail) {
    for (char c : tail) {
        name += static_cast<fs::path::value_type>(c);
    }
    return name;
}

// Whether the first `size` units of name are a name temporaryNameFor makes:
// "." + name + "." + digits + suffix, the name perhaps empty.
bool isTemporaryFileName(const Native& name, std::size_t size) {
    const std::size_t tail = 1 + kSaltDigits + kSuffix.size();
    if (size < 1 + tail || name.front() != '.') {
        return false;
    }
    const std::size_t dot = size - tail;
    if (name[dot] != '.') {
        return false;
    }
    for (std::size_t i = dot + 1; i < dot + 1 + kSaltDigits; ++i) {
        if (!isHexDigit(name[i])) {
            return false;
        }
    }
    return endsWith(name, size, kSuffix);
}

// The length of the temporary file's name that name belongs to (its own
// length for the temporary file itself), or 0 when it is none of ours.
std::size_t writerNameLength(const Native& name) {
    if (isTemporaryFileName(name, name.size())) {
        return name.size();
    }
    for (const std::string_view added : kWriterSuffixes) {
        if (endsWith(name, name.size(), added) &&
            isTemporaryFileName(name, name.size() - added.size())) {
            return name.size() - added.size();
        }
    }
    return 0;
}

#ifndef _WIN32
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens a temporary file to take its lock; a replaced file's mode may not
// let its owner read it. -1 with errno set when it cannot be opened.
int openToLock(int folderFd, const char* name) {
    const int fd =
        ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES) {
        return fd;
    }
    return ::openat(folderFd, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// Whether st is a regular file of this user's.
bool isOwnFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

// Removes `name`, a file that belongs to the temporary file `writer` (which
// may be name itself), if no live writer holds that temporary file. The lock
// is taken on a descriptor of our own, and the temporary file's name is
// checked to still be that file before anything goes.
void removeIfAbandoned(int folderFd, const char* name, const std::string& writer) {
    const bool isWriter = writer == name;
    if (!isWriter) {
        struct stat own {};
        if (::fstatat(folderFd, name, &own, AT_SYMLINK_NOFOLLOW) != 0 || !isOwnFile(own)) {
            return;
        }
    }
    const int fd = openToLock(folderFd, writer.c_str());
    if (fd < 0) {
        // Its writer is gone: a live writer keeps its temporary file until
        // everything else it made is gone.
        if (!isWriter && errno == ENOENT) {
            ::unlinkat(folderFd, name, 0);
        }
        return;
    }
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) == 0 && isOwnFile(opened) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folderFd, writer.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(opened, named)) {
        ::unlinkat(folderFd, name, 0);
    }
    ::close(fd); // and with it the lock
}
#endif

} // namespace

fs::path temporaryNameFor(const fs::path& target, std::uint32_t salt) {
    // Built from the native name, so no code-page conversion can garble or
    // refuse it.
    Native base = target.filename().native();
    std::size_t keep = std::min(base.size(), kLongestKeptName);
    while (keep > 0 && keep < base.size() && continuesACharacter(base[keep])) {
        --keep;
    }
    base.resize(keep);
    static constexpr char kHex[] = "0123456789abcdef";
    Native name(1, '.');
    name += base;
    name += '.';
    for (std::size_t i = 0; i < kSaltDigits; ++i) {
        name += static_cast<fs::path::value_type>(kHex[(salt >> (4 * i)) & 0xF]);
    }
    for (char c : kSuffix) {
        name += static_cast<fs::path::value_type>(c);
    }
    return target.parent_path() / fs::path(name);
}

fs::path workingCopyNameFor(const fs::path& temporary) {
    return fs::path(withAdded(temporary.native(), kWorkingCopySuffix));
}

fs::path backupCopyNameFor(const fs::path& temporary) {
    return fs::path(withAdded(temporary.native(), kBackupCopySuffix));
}

bool isTemporaryName(const fs::path& path) {
    return writerNameLength(path.native()) != 0;
}

std::vector<fs::path> namesOfWriter(const fs::path& temporary) {
    std::vector<fs::path> names;
    for (const std::string_view added : kWriterSuffixes) {
        names.emplace_back(withAdded(temporary.native(), added));
    }
    names.push_back(temporary);
    return names;
}

#ifdef _WIN32

bool holdAsLiveWriter(int) {
    return true; // the file is open without sharing: nobody else can remove it
}

void removeLeftoverTemporaryFiles(const fs::path& folder, int) noexcept {
    try {
        std::error_code ec;
        const fs::path where = folder.empty() ? fs::path(L".") : folder;
        for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
            const Native name = it->path().filename().native();
            const std::size_t writer = writerNameLength(name);
            if (writer == 0) {
                continue;
            }
            // A live writer holds its temporary file open without sharing,
            // so it cannot be removed; what else belongs to it goes only
            // once it is gone or removed.
            const fs::path own = it->path().parent_path() / fs::path(name.substr(0, writer));
            if (writer == name.size() || ::DeleteFileW(own.c_str()) ||
                ::GetLastError() == ERROR_FILE_NOT_FOUND) {
                ::DeleteFileW(it->path().c_str());
            }
        }
    } catch (...) {
    }
}

#else

bool holdAsLiveWriter(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void removeLeftoverTemporaryFiles(const fs::path& folder, int folderFd) noexcept {
    // A descriptor of its own: closedir() closes the one it reads from.
    const int listFd = folderFd >= 0 ? ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                     : ::open(folder.empty() ? "." : folder.c_str(),
                                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) {
        return;
    }
    DIR* listing = ::fdopendir(listFd);
    if (listing == nullptr) {
        ::close(listFd);
        return;
    }
    const int at = folderFd >= 0 ? folderFd : listFd;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (const std::size_t writer = writerNameLength(name)) {
            removeIfAbandoned(at, entry->d_name, name.substr(0, writer));
        }
    }
    ::closedir(listing);
}

#endif

} // namespace trigfile
