#include "safefile/bounded_read.h"

#include "safefile/bounded_read_parts.h"
#include "safefile/regular_file.h"

#include <cerrno>
#include <fstream>

namespace safefile {

FileBytes readBoundedFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (const auto notAFile = notARegularFile(status.type())) {
        return reading::cannotOpen(path, *notAFile);
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return reading::cannotOpen(path, reading::systemText(errno));
    }
    const std::uintmax_t reported = std::filesystem::file_size(path, ec);
    std::vector<std::uint8_t> bytes = reading::bufferFor(ec ? 0 : reported, maxBytes);
    while (in) {
        const std::size_t had = bytes.size();
        bytes.resize(had + reading::kChunk);
        in.read(reinterpret_cast<char*>(bytes.data() + had), reading::kChunk);
        bytes.resize(had + static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > maxBytes) {
            return reading::tooLarge(path, maxBytes);
        }
    }
    if (in.bad()) {
        return base::Problem::refused("Could not read " + base::displayName(path) + ".");
    }
    return bytes;
}

} // namespace safefile
