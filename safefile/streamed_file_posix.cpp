#include "safefile/streamed_file.h"

#include "safefile/bounded_read_parts.h" // cannotOpen, systemText
#include "safefile/regular_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safefile {

// A file read a part at a time, through POSIX's pread.

struct StreamedFile::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

base::Outcome<StreamedFile> StreamedFile::open(const std::filesystem::path& path) {
    // Opened without waiting, so that a named pipe is looked at rather than
    // waited on; what it is decides whether it is read at all.
    auto handle = std::make_unique<Handle>();
    handle->fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (handle->fd < 0) {
        return reading::cannotOpen(path, reading::systemText(errno));
    }
    struct stat st {};
    std::optional<std::string> notAFile;
    if (::fstat(handle->fd, &st) != 0) {
        notAFile = reading::systemText(errno);
    } else {
        notAFile = notARegularFile(st.st_mode);
    }
    if (notAFile) {
        return reading::cannotOpen(path, *notAFile);
    }
    ::fcntl(handle->fd, F_SETFL, ::fcntl(handle->fd, F_GETFL) & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(handle->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return StreamedFile(path, std::move(handle), static_cast<std::uint64_t>(st.st_size));
}

base::Outcome<std::size_t> StreamedFile::readAt(std::uint64_t offset, std::span<std::uint8_t> to) {
    std::size_t got = 0;
    while (got < to.size()) {
        const ssize_t n = ::pread(handle_->fd, to.data() + got, to.size() - got,
                                  static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return base::Problem::refused("Could not read " + base::displayName(path_) + ": " +
                                          reading::systemText(errno) + ".");
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

StreamedFile::StreamedFile(std::filesystem::path path, std::unique_ptr<Handle> handle,
                           std::uint64_t size)
    : path_(std::move(path)), handle_(std::move(handle)), reportedSize_(size) {}
StreamedFile::StreamedFile(StreamedFile&&) noexcept = default;
StreamedFile& StreamedFile::operator=(StreamedFile&&) noexcept = default;
StreamedFile::~StreamedFile() = default;

} // namespace safefile
