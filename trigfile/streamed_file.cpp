#include "trigfile/streamed_file.h"

#include "base/display_name.h"
#include "safefile/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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

std::string systemText(int error) {
    return error != 0 ? std::generic_category().message(error) : "unknown reason";
}

base::Problem cannotOpen(const std::filesystem::path& path, const std::string& why) {
    return base::Problem::refused("Could not open " + base::displayName(path) + ": " + why + ".");
}

} // namespace

#ifdef _WIN32

struct StreamedFile::Handle {
    std::ifstream in;
};

base::Outcome<StreamedFile> StreamedFile::open(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (const auto notAFile = safefile::notARegularFile(status.type())) {
        return cannotOpen(path, *notAFile);
    }
    errno = 0;
    auto handle = std::make_unique<Handle>();
    handle->in.open(path, std::ios::binary);
    if (!handle->in) {
        return cannotOpen(path, systemText(errno));
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return StreamedFile(path, std::move(handle), ec ? 0 : size);
}

base::Outcome<std::size_t> StreamedFile::readAt(std::uint64_t offset, std::span<std::uint8_t> to) {
    std::ifstream& in = handle_->in;
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(to.data()), static_cast<std::streamsize>(to.size()));
    if (in.bad()) {
        return base::Problem::refused("Could not read " + base::displayName(path_) + ".");
    }
    return static_cast<std::size_t>(in.gcount());
}

#else

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
        return cannotOpen(path, systemText(errno));
    }
    struct stat st {};
    std::optional<std::string> notAFile;
    if (::fstat(handle->fd, &st) != 0) {
        notAFile = systemText(errno);
    } else {
        notAFile = safefile::notARegularFile(st.st_mode);
    }
    if (notAFile) {
        return cannotOpen(path, *notAFile);
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
                                          systemText(errno) + ".");
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

#endif

StreamedFile::StreamedFile(std::filesystem::path path, std::unique_ptr<Handle> handle,
                           std::uint64_t size)
    : path_(std::move(path)), handle_(std::move(handle)), reportedSize_(size) {}
StreamedFile::StreamedFile(StreamedFile&&) noexcept = default;
StreamedFile& StreamedFile::operator=(StreamedFile&&) noexcept = default;
StreamedFile::~StreamedFile() = default;

base::Outcome<std::size_t> ByteWindow::want(std::size_t n) {
    if (file_ == nullptr) {
        return std::min<std::uint64_t>(n, memory_.size() - position_);
    }
    n = std::min(n, buffer_.size());
    while (held_ < n) {
        // What is left of the buffer moves to its front, and the rest is
        // filled in one read.
        std::memmove(buffer_.data(), buffer_.data() + start_, held_);
        start_ = 0;
        const std::span<std::uint8_t> room(buffer_.data() + start_ + held_,
                                           buffer_.size() - start_ - held_);
        auto got = file_->readAt(fileOffset_, room);
        if (!got.ok()) {
            readFailed_ = true;
            return std::move(got.problem());
        }
        if (*got == 0) {
            return held_;
        }
        held_ += *got;
        fileOffset_ += *got;
    }
    return n;
}

const std::uint8_t* ByteWindow::data() const {
    return file_ == nullptr ? memory_.data() + position_ : buffer_.data() + start_;
}

void ByteWindow::skip(std::size_t n) {
    position_ += n;
    if (file_ != nullptr) {
        start_ += n;
        held_ -= n;
    }
}

} // namespace trigfile
