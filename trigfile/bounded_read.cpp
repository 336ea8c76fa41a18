#include "bounded_read.h"

#include "atomic_file.h" // displayName
#include "number_text.h"

#include <cerrno>
#include <fstream>
#include <system_error>

namespace trigfile {

FileBytes readBoundedFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return Refusal{"Could not open " + displayName(path) + ": it is a folder."};
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        return Refusal{"Could not open " + displayName(path) + ": " +
                       (error != 0 ? std::generic_category().message(error) : "unknown reason") +
                       "."};
    }
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kChunk = 1 << 16;
    while (in) {
        const std::size_t had = bytes.size();
        bytes.resize(had + kChunk);
        in.read(reinterpret_cast<char*>(bytes.data() + had), kChunk);
        bytes.resize(had + static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > maxBytes) {
            return Refusal{displayName(path) + " is larger than " + sizeText(maxBytes) +
                           ", more than Tallyforge reads."};
        }
    }
    if (in.bad()) {
        return Refusal{"Could not read " + displayName(path) + "."};
    }
    return bytes;
}

std::string sizeText(std::uint64_t bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) {
        return withThousands(bytes / (1024 * 1024)) + " MiB";
    }
    return withThousands(bytes) + (bytes == 1 ? " byte" : " bytes");
}

} // namespace trigfile
