#include "trigfile/regular_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace trigfile {

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

#ifndef _WIN32
std::optional<std::string> notARegularFile(unsigned int mode) {
    const fs::file_type type = S_ISREG(mode)    ? fs::file_type::regular
                               : S_ISDIR(mode)  ? fs::file_type::directory
                               : S_ISFIFO(mode) ? fs::file_type::fifo
                               : S_ISCHR(mode)  ? fs::file_type::character
                               : S_ISBLK(mode)  ? fs::file_type::block
                               : S_ISSOCK(mode) ? fs::file_type::socket
                                                : fs::file_type::unknown;
    return notARegularFile(type);
}
#endif

} // namespace trigfile
