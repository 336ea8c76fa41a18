#include "safefile/file_identity.h"

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace safefile {

namespace {

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileIdentity identityFrom(const struct stat& st) {
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.file = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modified = nanoseconds(st.st_mtim);
    id.changed = nanoseconds(st.st_ctim);
    return id;
}

} // namespace

std::optional<FileIdentity> identityOfOpenFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return identityFrom(st);
}

std::optional<FileIdentity> identityOf(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return identityFrom(st);
}

} // namespace safefile
