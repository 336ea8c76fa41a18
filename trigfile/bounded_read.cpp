#include "trigfile/bounded_read.h"

#include "base/display_name.h"
#include "base/number_text.h"
#include "trigfile/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace trigfile {
namespace {

base::Problem cannotOpen(const std::filesystem::path& path, const std::string& why) {
    return base::Problem::refused("Could not open " + base::displayName(path) + ": " + why + ".");
}

std::string systemText(int error) {
    return error != 0 ? std::generic_category().message(error) : "unknown reason";
}

constexpr std::size_t kChunk = 1 << 16;

// The size the system reports saves growing the buffer step by step (and
// holding it twice meanwhile); it is a hint, not a promise.
std::vector<std::uint8_t> bufferFor(std::uint64_t reported, std::uint64_t maxBytes) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(std::min(reported, maxBytes) + kChunk));
    return bytes;
}

base::Problem tooLarge(const std::filesystem::path& path, std::uint64_t maxBytes) {
    return base::Problem::refused(base::displayName(path) + " is larger than " +
                                  base::sizeText(maxBytes) + ", more than Tallyforge reads.");
}

#ifndef _WIN32

// Reads fd to its end, or to one byte past maxBytes.
FileBytes readAll(int fd, const std::filesystem::path& path, std::uint64_t maxBytes,
                  std::uint64_t reported) {
    std::vector<std::uint8_t> bytes = bufferFor(reported, maxBytes);
    for (;;) {
        const std::size_t had = bytes.size();
        bytes.resize(had + kChunk);
        const ssize_t n = ::read(fd, bytes.data() + had, kChunk);
        if (n < 0 && errno == EINTR) {
            bytes.resize(had);
            continue;
        }
        if (n < 0) {
            return base::Problem::refused("Could not read " + base::displayName(path) + ": " +
                                          systemText(errno) + ".");
        }
        bytes.resize(had + static_cast<std::size_t>(n));
        if (bytes.size() > maxBytes) {
            return tooLarge(path, maxBytes);
        }
        if (n == 0) {
            return bytes;
        }
    }
}

#endif

} // namespace

FileBytes readBoundedFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
#ifdef _WIN32
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (const auto notAFile = notARegularFile(status.type())) {
        return cannotOpen(path, *notAFile);
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return cannotOpen(path, systemText(errno));
    }
    const std::uintmax_t reported = std::filesystem::file_size(path, ec);
    std::vector<std::uint8_t> bytes = bufferFor(ec ? 0 : reported, maxBytes);
    while (in) {
        const std::size_t had = bytes.size();
        bytes.resize(had + kChunk);
        in.read(reinterpret_cast<char*>(bytes.data() + had), kChunk);
        bytes.resize(had + static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > maxBytes) {
            return tooLarge(path, maxBytes);
        }
    }
    if (in.bad()) {
        return base::Problem::refused("Could not read " + base::displayName(path) + ".");
    }
    return bytes;
#else
    // Opened without waiting, so that a named pipe is looked at rather than
    // waited on; what it is decides whether it is read at all.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return cannotOpen(path, systemText(errno));
    }
    struct stat st {};
    std::optional<std::string> notAFile;
    if (::fstat(fd, &st) != 0) {
        notAFile = systemText(errno);
    } else {
        notAFile = notARegularFile(st.st_mode);
    }
    if (notAFile) {
        ::close(fd);
        return cannotOpen(path, *notAFile);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FileBytes read = readAll(fd, path, maxBytes, static_cast<std::uint64_t>(st.st_size));
    ::close(fd);
    return read;
#endif
}

} // namespace trigfile
