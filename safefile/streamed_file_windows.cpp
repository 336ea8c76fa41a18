#include "safefile/streamed_file.h"

#include "safefile/bounded_read_parts.h" // cannotOpen, systemText
#include "safefile/regular_file.h"

#include <cerrno>
#include <fstream>
#include <system_error>

namespace safefile {

// A file read a part at a time, through the C++ library's streams.

struct StreamedFile::Handle {
    std::ifstream in;
};

base::Outcome<StreamedFile> StreamedFile::open(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (const auto notAFile = notARegularFile(status.type())) {
        return reading::cannotOpen(path, *notAFile);
    }
    errno = 0;
    auto handle = std::make_unique<Handle>();
    handle->in.open(path, std::ios::binary);
    if (!handle->in) {
        return reading::cannotOpen(path, reading::systemText(errno));
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

StreamedFile::StreamedFile(std::filesystem::path path, std::unique_ptr<Handle> handle,
                           std::uint64_t size)
    : path_(std::move(path)), handle_(std::move(handle)), reportedSize_(size) {}
StreamedFile::StreamedFile(StreamedFile&&) noexcept = default;
StreamedFile& StreamedFile::operator=(StreamedFile&&) noexcept = default;
StreamedFile::~StreamedFile() = default;

} // namespace safefile
