#include "safefile/regular_file.h"

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace safefile {

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

} // namespace safefile
