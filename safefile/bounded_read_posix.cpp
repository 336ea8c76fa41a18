#include "safefile/bounded_read.h"

#include "safefile/bounded_read_parts.h"
#include "safefile/regular_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safefile {

namespace {

// Reads fd to its end, or to one byte past maxBytes.
FileBytes readAll(int fd, const std::filesystem::path& path, std::uint64_t maxBytes,
                  std::uint64_t reported) {
    std::vector<std::uint8_t> bytes = reading::bufferFor(reported, maxBytes);
    for (;;) {
        const std::size_t had = bytes.size();
        bytes.resize(had + reading::kChunk);
        const ssize_t n = ::read(fd, bytes.data() + had, reading::kChunk);
        if (n < 0 && errno == EINTR) {
            bytes.resize(had);
            continue;
        }
        if (n < 0) {
            return base::Problem::refused("Could not read " + base::displayName(path) + ": " +
                                          reading::systemText(errno) + ".");
        }
        bytes.resize(had + static_cast<std::size_t>(n));
        if (bytes.size() > maxBytes) {
            return reading::tooLarge(path, maxBytes);
        }
        if (n == 0) {
            return bytes;
        }
    }
}

} // namespace

FileBytes readBoundedFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
    // Opened without waiting, so that a named pipe is looked at rather than
    // waited on; what it is decides whether it is read at all.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return reading::cannotOpen(path, reading::systemText(errno));
    }
    struct stat st {};
    std::optional<std::string> notAFile;
    if (::fstat(fd, &st) != 0) {
        notAFile = reading::systemText(errno);
    } else {
        notAFile = notARegularFile(st.st_mode);
    }
    if (notAFile) {
        ::close(fd);
        return reading::cannotOpen(path, *notAFile);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FileBytes read = readAll(fd, path, maxBytes, static_cast<std::uint64_t>(st.st_size));
    ::close(fd);
    return read;
}

} // namespace safefile
