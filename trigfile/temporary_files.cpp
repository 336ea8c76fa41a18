#include "temporary_files.h"

#include <algorithm>
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

#ifndef _WIN32
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes one leftover if nobody holds it. The lock is taken on a
// descriptor of our own, and the name is checked to still be that file
// before it goes.
void removeIfAbandoned(int folderFd, const char* name) {
    int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // A replaced file's mode may not let its owner read it.
        fd = ::openat(folderFd, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0) {
        return;
    }
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folderFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(opened, named)) {
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

bool isTemporaryName(const fs::path& path) {
    const Native& name = path.native();
    // "." + name + "." + digits + suffix; the name may be empty.
    const std::size_t tail = 1 + kSaltDigits + kSuffix.size();
    if (name.size() < 1 + tail || name.front() != '.') {
        return false;
    }
    const std::size_t dot = name.size() - tail;
    if (name[dot] != '.') {
        return false;
    }
    for (std::size_t i = dot + 1; i < dot + 1 + kSaltDigits; ++i) {
        if (!isHexDigit(name[i])) {
            return false;
        }
    }
    return std::equal(
        kSuffix.begin(), kSuffix.end(), name.end() - kSuffix.size(),
        [](char a, fs::path::value_type b) { return static_cast<fs::path::value_type>(a) == b; });
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
            if (isTemporaryName(it->path().filename())) {
                // Fails with a sharing violation while a writer has it open.
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
        if (isTemporaryName(fs::path(entry->d_name))) {
            removeIfAbandoned(at, entry->d_name);
        }
    }
    ::closedir(listing);
}

#endif

} // namespace trigfile
