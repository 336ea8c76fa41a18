#include "safefile/temporary_files.h"

#include <cerrno>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace safefile {
namespace {

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
} // namespace

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

} // namespace safefile
