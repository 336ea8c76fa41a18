#include "safefile/regular_file.h"

namespace fs = std::filesystem;

namespace safefile {

std::optional<std::string> notARegularFile(fs::file_type type) {
    switch (type) {
    case fs::file_type::regular:
    case fs::file_type::none:
    case fs::file_type::not_found:
        return std::nullopt;
    case fs::file_type::directory:
        return "it is a folder";
    case fs::file_type::fifo:
        return "it is a named pipe, not a file";
    case fs::file_type::character:
    case fs::file_type::block:
        return "it is a device, not a file";
    case fs::file_type::socket:
        return "it is a socket, not a file";
    default:
        break;
    }
    return "it is not a file";
}

} // namespace safefile
